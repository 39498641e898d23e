#include "fuzz/entry_points.h"
#include "fuzz/listing_line_check.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

namespace {

// Runs every saved input of one target; a broken promise aborts the program, which fails the
// test. Returns how many inputs ran.
int Replay(const char* folder, void (*entry)(const uint8_t*, size_t))
{
    const QDir dir(QStringLiteral(FUZZ_CORPUS_DIR "/") + QLatin1String(folder));
    int count = 0;
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly))
            continue;
        const QByteArray input = file.readAll();
        SCOPED_TRACE(name.toStdString());
        entry(reinterpret_cast<const uint8_t*>(input.constData()), size_t(input.size()));
        ++count;
    }
    return count;
}

TEST(FuzzCorpus, ReplyReader)
{
    EXPECT_GT(Replay("reply_reader", FuzzReplyReader), 0);
}

TEST(FuzzCorpus, PassiveReply)
{
    EXPECT_GT(Replay("passive_reply", FuzzPassiveReply), 0);
}

TEST(FuzzCorpus, DigestReply)
{
    EXPECT_GT(Replay("digest_reply", FuzzDigestReply), 0);
}

// The listing parsers keep their promises on every saved listing (Unix, MS-DOS and MLSD lines).
void ReplayListing(const uint8_t* data, size_t size)
{
    EXPECT_TRUE(ListingLinesHold(data, size));
}

TEST(FuzzCorpus, ListingLine)
{
    EXPECT_GT(Replay("listing_line", ReplayListing), 0);
}

}  // namespace
