#include "transfer/transfer_progress.h"

#include <gtest/gtest.h>

#include <limits>

TEST(BatchPercent, BytesFirstThenFilesAndNeverOutsideTheRange)
{
    BatchProgress batch;
    batch.isBatch = true;
    batch.files = 4;
    batch.filesDone = 1;
    EXPECT_EQ(batch.Percent(), 25);  // no sizes listed: the files tell
    batch.bytes = 1000;
    batch.bytesDone = 420;
    EXPECT_EQ(batch.Percent(), 42);
    batch.bytesDone = 5000;  // a file that grew since it was listed
    EXPECT_EQ(batch.Percent(), 100);
    batch.bytes = std::numeric_limits<qint64>::max();
    batch.bytesDone = batch.bytes - 1;
    EXPECT_EQ(batch.Percent(), 99);

    BatchProgress single;
    EXPECT_EQ(single.Percent(), -1);
    single.connections.append(FileProgress{FileProgress::Stage::Moving, QStringLiteral("a"), 50, -1});
    EXPECT_EQ(single.Percent(), -1);  // size unknown
    single.connections.first().total = 200;
    EXPECT_EQ(single.Percent(), 25);
}
