// Whole folders against the real servers: a tree up and back down byte for byte, and a full
// remote folder deleted whole, with links that are never followed.
#include "transfer/local_tree.h"
#include "mainwindow/progress_texts.h"
#include "mainwindow/strings.h"
#include "tests/mainwindow/cancel_press.h"
#include "tests/mainwindow/files_fixture.h"

#include <QFileInfo>

#include <QRegularExpression>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

void Link(const QString& target, const QString& at)
{
    ASSERT_EQ(::symlink(QFile::encodeName(target).constData(), QFile::encodeName(at).constData()), 0)
        << at.toStdString();
}

// Japanese, spaced and empty names, an empty folder, a deep folder, text with both line ends
// and binary data, and links: one to a file, one looping back to its folder's parent.
QByteArray MakeTree(const QString& top)
{
    for (const char* folder : {"日本語 フォルダ", "empty folder", "a/b/c"})
        EXPECT_TRUE(QDir().mkpath(top + u'/' + QString::fromUtf8(folder)));
    QByteArray binary;
    for (int i = 0; i < 300000; ++i)
        binary.append(char((qint64(i) * 7919) >> 3));
    WriteFile(top + QStringLiteral("/日本語 フォルダ/ファイル 1.txt"), "行1\r\n行2\n");
    WriteFile(top + QStringLiteral("/spaced name.bin"), binary);
    WriteFile(top + QStringLiteral("/empty.txt"), {});
    WriteFile(top + QStringLiteral("/a/b/c/deep.txt"), "deep");
    Link(QStringLiteral(".."), top + QStringLiteral("/a/loop"));
    Link(QStringLiteral("../spaced name.bin"), top + QStringLiteral("/a/link.bin"));
    return binary;
}

bool Exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

}  // namespace

TEST(BatchTextTest, SizesAndTheBatchLineReadAsPeopleWriteThem)
{
    EXPECT_EQ(ByteSizeText(0), QStringLiteral("0 B"));
    EXPECT_EQ(ByteSizeText(999), QStringLiteral("999 B"));
    EXPECT_EQ(ByteSizeText(4096), QStringLiteral("4.1 KB"));
    EXPECT_EQ(ByteSizeText(999999), QStringLiteral("1.0 MB"));
    EXPECT_EQ(BatchProgressText(12, 120, 240'000'000, 1'200'000'000),
              QStringLiteral("12/120 ファイル, 240 MB/1.2 GB"));
}

using FolderTransferTest = RemoteFilesTest;

TEST_P(FolderTransferTest, ATreeGoesUpAndComesBackByteForByteWithoutItsLinks)
{
    window->SelectBinaryMode();
    const QString tree = Scratch(QStringLiteral("tree"));
    const QByteArray binary = MakeTree(tree);
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("<tree>")}));
    prompter.QueueAnswer(true);
    window->UploadSelection();
    ASSERT_EQ(prompter.questions.size(), 1);
    EXPECT_EQ(prompter.questions[0], QStringLiteral("6 個のフォルダと 4 個のファイル (300 KB) をアップロードしますか？"));
    EXPECT_FALSE(window->LogText().contains(QStringLiteral("失敗"))) << window->LogText().toStdString();
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("tree/spaced name.bin"))), binary);
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("tree/empty folder"))).isDir());
    EXPECT_FALSE(Exists(InFolder(QStringLiteral("tree/a/loop"))));
    EXPECT_FALSE(Exists(InFolder(QStringLiteral("tree/a/link.bin"))));
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("<tree>")));

    // On the server a loop and a link to a folder outside the tree: neither is walked.
    PutRemoteFolder(folder + QStringLiteral("/outside"));
    PutRemoteFile(QStringLiteral("outside/secret.txt"), "s");
    Link(QStringLiteral(".."), InFolder(QStringLiteral("tree/a/loop")));
    Link(QStringLiteral("../../outside"), InFolder(QStringLiteral("tree/a/out")));
    const QString back = Scratch(QStringLiteral("back"));
    ASSERT_TRUE(QDir().mkpath(back));
    MainWindowTestAccess::ShowLocal(*window, back);
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<tree>")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    ASSERT_EQ(prompter.questions.size(), 2);
    EXPECT_EQ(prompter.questions[1], QStringLiteral("6 個のフォルダと 4 個のファイル (300 KB) をダウンロードしますか？"));
    EXPECT_FALSE(window->LogText().contains(QStringLiteral("失敗"))) << window->LogText().toStdString();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder());

    const LocalTreeListing original = ListLocalTree(tree);
    const LocalTreeListing copy = ListLocalTree(back + QStringLiteral("/tree"));
    EXPECT_EQ(copy.folders.size(), original.folders.size());
    ASSERT_EQ(copy.files.size(), original.files.size());
    for (const LocalTreeFile& file : original.files)
        EXPECT_EQ(ReadFile(back + QStringLiteral("/tree/") + file.path), ReadFile(tree + u'/' + file.path))
            << file.path.toStdString();
    EXPECT_TRUE(QFileInfo(back + QStringLiteral("/tree/empty folder")).isDir());
    EXPECT_FALSE(Exists(back + QStringLiteral("/tree/a/loop")));
    EXPECT_FALSE(Exists(back + QStringLiteral("/tree/a/out")));
}

TEST_P(FolderTransferTest, AFullRemoteFolderGoesWholeAfterItsQuestionAndNothingOutside)
{
    // Each level given to the server's user, who is to delete inside it.
    for (const char* level : {"/doomed", "/doomed/sub", "/doomed/sub/empty"})
        PutRemoteFolder(folder + QLatin1String(level));
    PutRemoteFolder(folder + QStringLiteral("/keep"));
    PutRemoteFile(QStringLiteral("doomed/f 1.txt"), "1");
    PutRemoteFile(QStringLiteral("doomed/sub/日本.txt"), "2");
    PutRemoteFile(QStringLiteral("keep/precious.txt"), "p");
    Link(QStringLiteral(".."), InFolder(QStringLiteral("doomed/sub/loop")));
    Link(QStringLiteral("../keep"), InFolder(QStringLiteral("doomed/out")));
    Relist();

    // "いいえ" to the folder's own question keeps it whole, and is no failure.
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<doomed>")}));
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(false);
    window->DeleteRemoteEntries();
    const QString treeQuestion = QStringLiteral("フォルダ doomed とその中の 6 個の項目を削除しますか？");
    ASSERT_EQ(prompter.questions.size(), 2);
    EXPECT_EQ(prompter.questions[1], treeQuestion);
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("doomed/sub/日本.txt"))));
    EXPECT_EQ(window->LogText(), QStringLiteral("削除が完了しました"));

    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<doomed>")}));
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);
    window->DeleteRemoteEntries();
    ASSERT_EQ(prompter.questions.size(), 4);
    EXPECT_EQ(prompter.questions[3], treeQuestion);
    EXPECT_EQ(window->LogText(), QStringLiteral("削除が完了しました"));
    EXPECT_FALSE(Exists(InFolder(QStringLiteral("doomed"))));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("keep/precious.txt"))), "p");
    EXPECT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("<keep>")}));
}

TEST_P(FolderTransferTest, FilesOfATreeFollowTheOverwriteRuleInFoldersThatAreThereAlready)
{
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    window->SelectBinaryMode();
    PutRemoteFolder(folder + QStringLiteral("/t"));
    PutRemoteFile(QStringLiteral("t/x.txt"), "old");
    ASSERT_TRUE(QDir().mkpath(Scratch(QStringLiteral("t/sub"))));
    WriteFile(Scratch(QStringLiteral("t/x.txt")), "new");
    WriteFile(Scratch(QStringLiteral("t/sub/y.txt")), "new");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("<t>")}));
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(false);  // x.txt stays as it is
    window->UploadSelection();
    EXPECT_EQ(prompter.questions, (QStringList{QStringLiteral("2 個のフォルダと 2 個のファイル (6 B) をアップロードしますか？"),
                                               QStringLiteral("そのファイルはすでに存在します。\n上書きしますか？")}));
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("t/x.txt"))), "old");
    EXPECT_EQ(ReadFile(InFolder(QStringLiteral("t/sub/y.txt"))), "new");
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder());
}

TEST_P(FolderTransferTest, TheBoxCountsTheBatchAndCancelStopsBeforeTheNextFile)
{
    window->SelectBinaryMode();
    PutRemoteFolder(folder + QStringLiteral("/big"));
    // Large enough that each file stays on screen for a while; the last one, sparse 1 GiB, does
    // not arrive whole before 中止 is pressed on any machine.
    const QByteArray data(16 * 1024 * 1024, 'x');
    for (const char* name : {"1.bin", "2.bin", "3.bin"})
        PutRemoteFile(QStringLiteral("big/") + QLatin1String(name), data);
    {
        QFile last(InFolder(QStringLiteral("big/3.bin")));
        ASSERT_TRUE(last.open(QIODevice::WriteOnly));
        ASSERT_TRUE(last.resize(qint64(1) << 30));
    }
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<big>")}));
    prompter.QueueAnswer(true);
    QString pressedAt;
    PressCancelWhen press([&pressedAt](const QString& shown) {
        pressedAt = shown;
        return shown.contains(QStringLiteral("/3 ファイル, "));
    });
    window->DownloadSelection();
    ASSERT_TRUE(press.pressed);
    // The bytes done count what the running file has moved too, so any unit may stand there.
    EXPECT_TRUE(pressedAt.contains(QRegularExpression(QStringLiteral("[0-9.]+ (B|KB|MB|GB)/1\\.1 GB$"))))
        << pressedAt.toStdString();
    EXPECT_EQ(prompter.questions.value(0), QStringLiteral("1 個のフォルダと 3 個のファイル (1.1 GB) をダウンロードしますか？"));
    // The file the press came in is cut short (only its partial file stays, for a resume), and no
    // later file starts.
    int arrived = 0;
    for (const char* name : {"1.bin", "2.bin", "3.bin"})
        arrived += Exists(Scratch(QStringLiteral("big/") + QLatin1String(name))) ? 1 : 0;
    EXPECT_LT(arrived, 3);
    EXPECT_TRUE(window->LogText().contains(QStringLiteral("中止しました"))) << window->LogText().toStdString();
    // The server's folder is still the one the window shows.
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder());
}

// A file named "*end*" hides nothing after it (made in this order, it stands before another
// entry whether a server lists by name or by age), and a link that takes a downloaded folder's
// name, at the top or below, is never followed: that folder fails, nothing lands where it leads.
TEST_P(FolderTransferTest, AnEndLikeNameHidesNothingAndNoLinkInTheWayIsFollowed)
{
    window->SelectBinaryMode();
    const QStringList files{"t/a.txt", "t/*end*", "t/sub/zz.txt", "*end*", "zz.txt", "u/c.txt", "u/sub/d.txt"};
    for (const QString& name : files) {
        const QString at = folder + u'/' + name.section(u'/', 0, -2);
        if (name.contains(u'/') && !QFileInfo::exists(at))
            PutRemoteFolder(at);
        PutRemoteFile(name, name.toUtf8());
    }
    const QString elsewhere = Scratch(QStringLiteral("elsewhere"));
    ASSERT_TRUE(QDir().mkpath(elsewhere) && QDir().mkpath(Scratch(QStringLiteral("u"))));
    Link(elsewhere, Scratch(QStringLiteral("u/sub")));
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    Relist();
    EXPECT_GE(FindEntry(window->RemoteEntries(), QStringLiteral("zz.txt")), 0);
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<t>"), QStringLiteral("<u>")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    for (const QString& name : {files[0], files[1], files[2], files[5]})
        EXPECT_EQ(ReadFile(Scratch(name)), name.toUtf8()) << name.toStdString();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
    EXPECT_TRUE(window->LogText().endsWith(TransferText::ReasonFolderIsLink.arg(Scratch(QStringLiteral("u/sub")))))
        << window->LogText().toStdString();

    Link(elsewhere, Scratch(QStringLiteral("t2")));
    PutRemoteFolder(folder + QStringLiteral("/t2"));
    PutRemoteFile(QStringLiteral("t2/x"), "x");
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<t2>")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_TRUE(QDir(elsewhere).isEmpty());
}

INSTANTIATE_TEST_SUITE_P(Servers, FolderTransferTest, ::testing::ValuesIn(AllServers()));
