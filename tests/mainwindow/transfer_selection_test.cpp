// Uploads and downloads through the window against real servers: the batch question, folders
// skipped, the overwrite question, each file's log line, automatic mode, and the per-file steps.
#include "mainwindow/wait_dialog.h"
#include "settings/settings_store.h"
#include "tests/mainwindow/files_fixture.h"

#include <QApplication>
#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

bool AnyWaitBoxLeft()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<WaitDialog*>(widget))
            return true;
    return false;
}

QByteArray Binary()
{
    QByteArray bytes;
    for (int i = 0; i < 300000; ++i)
        bytes.append(char((i * 7 + i / 256) & 0xff));
    return bytes;
}

}  // namespace

using TransferSelectionTest = RemoteFilesTest;

TEST_P(TransferSelectionTest, UploadAsksOnceSkipsTheParentAndLogsEachFile)
{
    window->SelectBinaryMode();
    ASSERT_TRUE(QDir(Scratch()).mkdir(QStringLiteral("sub")));
    WriteFile(Scratch(QStringLiteral("a.txt")), "line\n");
    WriteFile(Scratch(QStringLiteral("b.bin")), Binary());
    WriteFile(Scratch(QStringLiteral("empty")), QByteArray());
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral(".."), QStringLiteral("a.txt"), QStringLiteral("b.bin"),
                                          QStringLiteral("empty")}));

    prompter.QueueAnswer(false);
    window->UploadSelection();
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("a.txt"))));

    LogWatch log(*window);
    prompter.QueueAnswer(true);
    window->UploadSelection();
    const QString question = QStringLiteral("4 個のファイルをアップロードしますか？");
    EXPECT_EQ(prompter.questions, (QStringList{question, question}));
    ASSERT_EQ(log.lines.size(), 4) << log.lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(log.lines.mid(0, 3), (QStringList{QStringLiteral("a.txt のアップロードが正常に終了しました"),
                                               QStringLiteral("b.bin のアップロードが正常に終了しました"),
                                               QStringLiteral("empty のアップロードが正常に終了しました")}));
    // The batch ends with the session's latest message: the closing reply of the new listing.
    EXPECT_TRUE(log.lines.last().startsWith(QStringLiteral("226"))) << log.lines.last().toStdString();
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("a.txt"))), QByteArray("line\n"));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("b.bin"))), Binary());
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("empty"))).isFile());
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("b.bin")));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TransferSize(), 0);
    EXPECT_FALSE(AnyWaitBoxLeft());
}

TEST_P(TransferSelectionTest, UploadOverwriteQuestionComparesNamesExactlyAndNoFailsOnlyThatFile)
{
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    window->SelectBinaryMode();
    PutRemoteFile(QStringLiteral("a.txt"), "old");
    PutRemoteFile(QStringLiteral("readme.txt"), "old");
    PutRemoteFolder(folder + QStringLiteral("/docs"));
    Relist();
    for (const char* name : {"a.txt", "b.txt", "Readme.txt", "docs"})
        WriteFile(Scratch(QString::fromLatin1(name)), "new");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("a.txt"), QStringLiteral("b.txt"),
                                          QStringLiteral("Readme.txt"), QStringLiteral("docs")}));

    LogWatch log(*window);
    prompter.QueueAnswer(true);   // the batch
    prompter.QueueAnswer(false);  // overwrite a.txt? No
    window->UploadSelection();
    // Only a.txt is asked about: Readme.txt differs in case, docs is a folder over there.
    EXPECT_EQ(prompter.questions, (QStringList{QStringLiteral("4 個のファイルをアップロードしますか？"),
                                               QStringLiteral("そのファイルはすでに存在します。\n上書きしますか？")}));
    EXPECT_EQ(log.lines.value(0), AsLogShows(QStringLiteral("a.txt のアップロードに失敗しました\r\n")));
    EXPECT_EQ(log.lines.value(1), QStringLiteral("b.txt のアップロードが正常に終了しました"));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("a.txt"))), QByteArray("old"));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("b.txt"))), QByteArray("new"));
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_P(TransferSelectionTest, ABatchWithFailuresEndsOnTheirCountAndTheFirstReason)
{
    window->SelectBinaryMode();
    PutRemoteFile(QStringLiteral("a.bin"), Binary());
    Relist();
    MainWindowTestAccess::AddRemoteEntry(*window, QStringLiteral("ghost.bin"));  // listed, but gone from the server
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("ghost.bin"), QStringLiteral("a.bin")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("a.bin"))), Binary());
    EXPECT_FALSE(QFileInfo::exists(Scratch(QStringLiteral("ghost.bin"))));
    EXPECT_TRUE(window->LogText().startsWith(QStringLiteral("2 個中 1 個が失敗しました。最初の失敗: 550")))
        << window->LogText().toStdString();
}

TEST_P(TransferSelectionTest, DownloadAsksBeforeReplacingAnythingLocalAndEndsWithTheLastResult)
{
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    window->SelectBinaryMode();
    PutRemoteFile(QStringLiteral("a.txt"), "remote a");
    PutRemoteFile(QStringLiteral("b.bin"), Binary());
    PutRemoteFile(QStringLiteral("c.txt"), "remote c");
    PutRemoteFolder(folder + QStringLiteral("/sub"));
    Relist();
    WriteFile(Scratch(QStringLiteral("a.txt")), "local a");
    // A link that leads nowhere cannot be opened, yet the download would replace it.
    ASSERT_TRUE(QFile::link(Scratch(QStringLiteral("nowhere")), Scratch(QStringLiteral("c.txt"))));
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral(".."), QStringLiteral("a.txt"), QStringLiteral("b.bin"),
                                           QStringLiteral("c.txt")}));

    LogWatch log(*window);
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(false);
    prompter.QueueAnswer(false);
    window->DownloadSelection();
    const QString overwrite = QStringLiteral("そのファイルはすでに存在します。\n上書きしますか？");
    EXPECT_EQ(prompter.questions,
              (QStringList{QStringLiteral("4 個のファイルをダウンロードしますか？"), overwrite, overwrite}));
    // The last line is the result of the last file that reached its transfer.
    EXPECT_EQ(log.lines, (QStringList{QStringLiteral("ダウンロードに失敗しました"),
                                      QStringLiteral("b.bin のダウンロードが正常に終了しました"),
                                      QStringLiteral("ダウンロードに失敗しました"),
                                      QStringLiteral("ダウンロードが完了しました")}));
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("a.txt"))), QByteArray("local a"));
    EXPECT_TRUE(QFileInfo(Scratch(QStringLiteral("c.txt"))).isSymLink());
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("b.bin"))), Binary());
    EXPECT_TRUE(PaneTexts(LocalList()).contains(QStringLiteral("b.bin")));
    // The total came from the listing.
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TransferSize(), Binary().size());
    EXPECT_FALSE(AnyWaitBoxLeft());
}

TEST_P(TransferSelectionTest, AutomaticModeChoosesTheTypeForEachFileAndKeepsIt)
{
    SettingsStore::WriteString(SettingName::AutoTransferModeList, QStringLiteral("txt htm"));
    window->SelectBinaryMode();
    window->SelectAutoMode();
    Relist();
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));

    WriteFile(Scratch(QStringLiteral("a.txt")), "one\ntwo\n");
    WriteFile(Scratch(QStringLiteral("b.gif")), "one\ntwo\n");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("a.txt")}));
    prompter.QueueAnswer(true);
    window->UploadSelection();
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE A"));
    // vsftpd keeps the bytes of a text upload as they came (CR LF); pyftpdlib turns them back.
    const QByteArray textOnServer = GetParam() == QStringLiteral("vsftpd") ? "one\r\ntwo\r\n" : "one\ntwo\n";
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("a.txt"))), textOnServer);

    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("b.gif")}));
    prompter.QueueAnswer(true);
    window->UploadSelection();
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("b.gif"))), QByteArray("one\ntwo\n"));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));

    // A download decides by the local path; the text comes back with local line ends.
    QFile::remove(Scratch(QStringLiteral("a.txt")));
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("a.txt")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("a.txt"))), QByteArray("one\ntwo\n"));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE A"));
}

TEST_P(TransferSelectionTest, PerFileStepsFailSafely)
{
    TransferSession& session = MainWindowTestAccess::Session(*window);
    PutRemoteFile(QStringLiteral("one"), "1");
    Relist();

    // A name that would leave the local folder is never written.
    for (const QString& name : {QStringLiteral(".."), QStringLiteral("../one"), QStringLiteral("x/one"),
                                QStringLiteral(".")}) {
        SCOPED_TRACE(name.toStdString());
        session.SetReplyText(QString());
        EXPECT_FALSE(session.DownloadFile(Scratch(QStringLiteral("in")), RemoteFolder(), name,
                                          window->RemoteEntries()));
        EXPECT_EQ(session.GetReplyText(), QStringLiteral("ダウンロードに失敗しました"));
    }
    EXPECT_FALSE(QFileInfo::exists(Scratch(QStringLiteral("one"))));

    // The total is 0 for a name the listing does not hold, and 64-bit for a large size.
    RemoteEntryList entries;
    ListingEntry large;
    large.name = QStringLiteral("one");
    large.size = Q_INT64_C(5000000000);
    entries << large;
    EXPECT_TRUE(session.DownloadFile(Scratch(), RemoteFolder(), QStringLiteral("one"), entries));
    EXPECT_EQ(session.TransferSize(), Q_INT64_C(5000000000));
    EXPECT_TRUE(session.DownloadFile(Scratch(), RemoteFolder(), QStringLiteral("one"), RemoteEntryList()));
    EXPECT_EQ(session.TransferSize(), 0);
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("ダウンロードが完了しました"));

    // A local file that vanished fails without a transfer.
    EXPECT_FALSE(session.UploadFile(Scratch(), RemoteFolder(), QStringLiteral("vanished"), entries));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("アップロードに失敗しました"));
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("vanished"))));

    // The local pane's parent entry is passed over like a folder.
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("..")}));
    LogWatch log(*window);
    prompter.QueueAnswer(true);
    window->UploadSelection();
    EXPECT_EQ(prompter.questions, QStringList{QStringLiteral("1 個のファイルをアップロードしますか？")});
    EXPECT_EQ(log.lines.size(), 1);
    EXPECT_FALSE(log.lines.value(0).contains(QStringLiteral("..")));
    EXPECT_FALSE(AnyWaitBoxLeft());
}

INSTANTIATE_TEST_SUITE_P(Servers, TransferSelectionTest, ::testing::ValuesIn(AllServers()));
