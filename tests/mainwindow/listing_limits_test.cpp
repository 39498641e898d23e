// Listings and folder walks past their caps, against the real servers: the pane shows the first
// entries and the log says so; a walk stops with its own message before anything is asked or
// transferred; an upload onto a cut listing still asks before replacing a name it cannot see.
#include "tests/mainwindow/files_fixture.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

using ListingLimitsTest = RemoteFilesTest;

TEST_P(ListingLimitsTest, APaneShowsTheFirstEntriesOfAListingPastEitherCap)
{
    for (const char* name : {"a.txt", "b.txt", "c.txt", "d.txt", "e.txt"})
        PutRemoteFile(QString::fromLatin1(name), "x");
    Relist();
    ASSERT_EQ(RemoteList().RowCount(), 6);

    LogWatch log(*window);
    MainWindowTestAccess::SetListingLimits(*window, 3, MaxWalkEntries);
    Relist();
    EXPECT_EQ(RemoteList().RowCount(), 4);
    EXPECT_EQ(window->RemoteEntries().size(), 3);
    ASSERT_FALSE(log.lines.isEmpty());
    EXPECT_EQ(log.lines.last(), QStringLiteral("一覧が大きすぎるため、先頭の 3 件だけを表示しています"));

    // The text cap: the session keeps the lines that came whole, and the count is what is shown.
    MainWindowTestAccess::SetListingLimits(*window, MaxListingEntries, MaxWalkEntries);
    MainWindowTestAccess::Session(*window).SetListingLimit(300);
    Relist();
    const int shown = RemoteList().RowCount() - 1;
    EXPECT_GE(shown, 1);
    EXPECT_LT(shown, 5);
    EXPECT_EQ(log.lines.last(), QStringLiteral("一覧が大きすぎるため、先頭の %1 件だけを表示しています").arg(shown));
    // The session is in step for what follows.
    MainWindowTestAccess::Session(*window).SetListingLimit(FtpSession::DefaultListingLimit);
    Relist();
    EXPECT_EQ(RemoteList().RowCount(), 6);
}

TEST_P(ListingLimitsTest, AWalkPastItsCapStopsBeforeAskingAndLeavesTheTree)
{
    PutRemoteFolder(folder + QStringLiteral("/tree/sub"));
    for (const char* name : {"tree/1", "tree/2", "tree/sub/3", "tree/sub/4"})
        PutRemoteFile(QString::fromLatin1(name), "x");
    Relist();
    MainWindowTestAccess::SetListingLimits(*window, MaxListingEntries, 3);

    LogWatch log(*window);
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<tree>")}));
    window->DownloadSelection();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_FALSE(QFileInfo::exists(Scratch(QStringLiteral("tree"))));
    ASSERT_FALSE(log.lines.isEmpty());
    EXPECT_EQ(log.lines.last(), QStringLiteral("フォルダの中身が多すぎるため中止しました (3 件以上)"));

    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<tree>")}));
    prompter.QueueAnswer(true);  // delete the selection
    window->DeleteRemoteEntries();
    EXPECT_EQ(prompter.questions.size(), 1);  // never the whole tree's question
    EXPECT_TRUE(log.lines.last().endsWith(QStringLiteral("フォルダの中身が多すぎるため中止しました (3 件以上)")))
        << log.lines.last().toStdString();
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("tree/sub/4"))));
}

TEST_P(ListingLimitsTest, AnUploadAsksBeforeReplacingANameACutListingDoesNotShow)
{
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    PutRemoteFile(QStringLiteral("a.txt"), "old a");
    PutRemoteFile(QStringLiteral("b.txt"), "old b");
    MainWindowTestAccess::SetListingLimits(*window, 1, MaxWalkEntries);
    Relist();
    ASSERT_EQ(RemoteList().RowCount(), 2);
    const QString hidden = PaneTexts(RemoteList()).contains(QStringLiteral("a.txt")) ? QStringLiteral("b.txt")
                                                                                     : QStringLiteral("a.txt");
    WriteFile(Scratch(hidden), "new");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {hidden}));
    prompter.QueueAnswer(true);   // upload the file
    prompter.QueueAnswer(false);  // but do not replace the server's
    window->UploadSelection();
    EXPECT_TRUE(prompter.questions.contains(QStringLiteral("そのファイルはすでに存在します。\n上書きしますか？")))
        << prompter.questions.join(u'|').toStdString();
    EXPECT_EQ(ReadFile(InFolder(hidden)), QByteArray("old ") + hidden.left(1).toLatin1());
}

TEST_P(ListingLimitsTest, AFolderUploadLeavesAServerFolderItCannotListWhole)
{
    PutRemoteFolder(folder + QStringLiteral("/up"));
    for (const char* name : {"up/a", "up/b", "up/c"})
        PutRemoteFile(QString::fromLatin1(name), "old");
    ASSERT_TRUE(QDir(Scratch()).mkpath(QStringLiteral("up")));
    WriteFile(Scratch(QStringLiteral("up/c")), "new");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    Relist();

    LogWatch log(*window);
    MainWindowTestAccess::Session(*window).SetListingLimit(100);
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("<up>")}));
    prompter.QueueAnswer(true);  // upload the folder
    window->UploadSelection();
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("up/c"))), QByteArray("old"));
    ASSERT_FALSE(log.lines.isEmpty());
    EXPECT_TRUE(log.lines.last().contains(RemoteFolder(QStringLiteral("up")) +
                                          QStringLiteral(": フォルダの中身が多すぎるため中止しました")))
        << log.lines.last().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Servers, ListingLimitsTest, ::testing::ValuesIn(AllServers()));

}  // namespace
