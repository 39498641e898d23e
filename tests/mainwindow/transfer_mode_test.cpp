// The three mode buttons and the progress box's texts.
#include "transfer/transfer_session.h"
#include "mainwindow/progress_texts.h"
#include "settings/settings_store.h"
#include "tests/mainwindow/files_fixture.h"

#include <gtest/gtest.h>

#include <limits>

using TransferModeButtonsTest = FilesTest;

TEST_F(TransferModeButtonsTest, EachButtonShowsItselfPressedStoresTheModeAndSetsTheType)
{
    window->SelectBinaryMode();
    EXPECT_EQ(window->PressedModeButton(), TransferModeButton::Binary);
    EXPECT_FALSE(SettingsStore::ReadFlag(SettingName::AutoTransferMode));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));

    // Automatic mode leaves the type for the next transfer to choose.
    window->SelectAutoMode();
    EXPECT_EQ(window->PressedModeButton(), TransferModeButton::Auto);
    EXPECT_TRUE(SettingsStore::ReadFlag(SettingName::AutoTransferMode));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));

    window->SelectAsciiMode();
    EXPECT_EQ(window->PressedModeButton(), TransferModeButton::Ascii);
    EXPECT_FALSE(SettingsStore::ReadFlag(SettingName::AutoTransferMode));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE A"));
}

TEST(TransferProgressTextTest, ShowsTheLastFifteenCharactersAndSixtyFourBitCounts)
{
    EXPECT_EQ(TransferProgressText(QStringLiteral("/pub/docs/readme.txt"), 255, 600),
              QStringLiteral("...docs/readme.txt\n255/600"));
    EXPECT_EQ(TransferProgressText(QStringLiteral("a.txt"), 0, 0), QStringLiteral("...a.txt\n0/0"));
    EXPECT_EQ(TransferProgressText(QStringLiteral("abcdefghij0123456789"), 1, 2),
              QStringLiteral("...fghij0123456789\n1/2"));
    // Files of 2 GiB and more keep their true counts.
    EXPECT_EQ(TransferProgressText(QStringLiteral("big.iso"), Q_INT64_C(3221225472), Q_INT64_C(5000000000)),
              QStringLiteral("...big.iso\n3221225472/5000000000"));
    // A name that looks like a placeholder is shown as it is.
    EXPECT_EQ(TransferProgressText(QStringLiteral("%2%3.txt"), 7, 9), QStringLiteral("...%2%3.txt\n7/9"));
}

// A listing may claim the largest size there is: at a crawl, the time left is still a count of
// hours, never a wrapped negative one.
TEST(TransferProgressTextTest, TheTimeLeftOfAnyClaimedSizeStaysAPositiveCount)
{
    const QString text = TransferRateText(1, std::numeric_limits<qint64>::max(), 1'000'000);
    EXPECT_TRUE(text.startsWith(QStringLiteral("0.0 MB/s"))) << text.toStdString();
    EXPECT_FALSE(text.contains(u'-')) << text.toStdString();
}

// The box's text from the figures: a resumed file's speed counts only what moved in this run,
// and the batch line names the running file, never one past the last.
TEST(TransferProgressTextTest, BoxTextFromFigures)
{
    BatchProgress progress;
    progress.connections.append({FileProgress::Stage::Moving, QStringLiteral("a.bin"), 3'000'000, 4'000'000,
                                 2'000'000, 1000});
    EXPECT_EQ(ProgressBoxText(progress), QStringLiteral("...a.bin\n3000000/4000000\n1.0 MB/s 残り 0:01"));
    progress.isBatch = true;
    progress.files = 2;
    progress.filesDone = 2;
    progress.bytes = 8'000'000;
    progress.bytesDone = 8'000'000;
    progress.connections.first().stage = FileProgress::Stage::Updating;
    EXPECT_EQ(ProgressBoxText(progress), QStringLiteral("更新中です\nしばらくお待ちください\n2/2 ファイル, 8.0 MB/8.0 MB"));
}
