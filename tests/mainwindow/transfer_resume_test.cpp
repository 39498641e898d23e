// Resuming through the window against the real servers: a download cut short by 中止 and an
// upload the server holds only the beginning of, each going on after 前回の続きから再開しますか？.
#include "mainwindow/strings.h"
#include "tests/mainwindow/cancel_press.h"
#include "tests/mainwindow/files_fixture.h"

#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

// Random, so that data put at a wrong offset cannot compare equal.
QByteArray RandomData(qsizetype size)
{
    QByteArray data(size, Qt::Uninitialized);
    QRandomGenerator random(7);
    random.fillRange(reinterpret_cast<quint32*>(data.data()), size / 4);
    return data;
}

}  // namespace

using ResumeWindowTest = RemoteFilesTest;

TEST_P(ResumeWindowTest, CancelledDownloadGoesOnAfterYesAndStartsOverAfterNo)
{
    window->SelectBinaryMode();
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    // Large enough that no loopback download of it ends before the box has shown its first
    // bytes and 中止 has taken (48 MiB once did, with a sanitized build on an idle machine).
    const QByteArray data = RandomData(256 << 20);
    PutRemoteFile(QStringLiteral("big.bin"), data);
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("big.bin")}));
    const QString target = Scratch(QStringLiteral("big.bin"));
    const QString partial = target + QStringLiteral(".part");

    prompter.QueueAnswer(true);
    {
        PressCancelWhen cancel(ShowsBytesMoved);
        window->DownloadSelection();
        ASSERT_TRUE(cancel.pressed);
    }
    EXPECT_FALSE(QFile::exists(target));
    qint64 kept = QFileInfo(partial).size();
    ASSERT_GT(kept, 0);
    EXPECT_EQ(ReadFile(partial), data.left(kept));
    // The whole file may have arrived just as 中止 took on a fast machine (it is kept as partial
    // all the same); the resume then goes on from the middle.
    if (kept == data.size()) {
        kept /= 2;
        ASSERT_TRUE(QFile::resize(partial, kept));
    }

    // はい: no overwrite question, and the rest comes after the kept part.
    prompter.questions.clear();
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(prompter.questions.value(1), TransferText::ResumeQuestion);
    EXPECT_EQ(prompter.questions.size(), 2);
    EXPECT_TRUE(ReadFile(target) == data) << "resumed download differs";
    EXPECT_FALSE(QFile::exists(partial));

    // いいえ: the usual overwrite question, and the partial data is not used.
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);  // overwrite the file that arrived above
    {
        PressCancelWhen cancel(ShowsBytesMoved);
        window->DownloadSelection();
        ASSERT_TRUE(cancel.pressed);
    }
    ASSERT_TRUE(QFile::exists(partial));
    if (QFileInfo(partial).size() == data.size()) {
        ASSERT_TRUE(QFile::resize(partial, data.size() / 2));
    }
    prompter.questions.clear();
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(false);
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(prompter.questions.mid(1), (QStringList{TransferText::ResumeQuestion, TransferText::OverwriteQuestion}));
    EXPECT_TRUE(ReadFile(target) == data) << "download after いいえ differs";
    EXPECT_FALSE(QFile::exists(partial));

    // A partial file this program did not record is the user's: not offered, and left as it is.
    WriteFile(partial, "the user's own notes");
    prompter.questions.clear();
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(prompter.questions.mid(1), QStringList{TransferText::OverwriteQuestion});
    EXPECT_TRUE(ReadFile(target) == data) << "download beside the user's partial file differs";
    EXPECT_EQ(ReadFile(partial), QByteArray("the user's own notes"));
}

// A server folder holding "a" and "a.part": once "a.part" is downloaded, the download of "a"
// must not take it for its own partial data.
TEST_P(ResumeWindowTest, ADownloadedFileNamedLikeAPartialFileIsNeverResumedFrom)
{
    window->SelectBinaryMode();
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    const QByteArray whole = RandomData(1 << 20);
    PutRemoteFile(QStringLiteral("a"), whole);
    PutRemoteFile(QStringLiteral("a.part"), whole.left(1000));
    Relist();

    for (const QString& name : {QStringLiteral("a.part"), QStringLiteral("a")}) {
        ASSERT_TRUE(SelectTexts(RemoteList(), {name}));
        prompter.QueueAnswer(true);
        window->DownloadSelection();
    }
    EXPECT_EQ(prompter.questions.size(), 2);  // the two download questions, nothing of a resume
    EXPECT_TRUE(ReadFile(Scratch(QStringLiteral("a"))) == whole) << "\"a\" differs";
    EXPECT_TRUE(ReadFile(Scratch(QStringLiteral("a.part"))) == whole.left(1000)) << "\"a.part\" differs";
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("a.1.part"))));
}

TEST_P(ResumeWindowTest, UploadGoesOnAfterTheServersShorterCopy)
{
    window->SelectBinaryMode();
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);  // not asked after はい
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    const QByteArray data = RandomData(3 << 20);
    WriteFile(Scratch(QStringLiteral("up.bin")), data);
    // The server's copy differs from the local beginning, so only an upload that went on from
    // its end leaves it in front of the rest.
    const QByteArray kept(1 << 20, 'k');
    PutRemoteFile(QStringLiteral("up.bin"), kept);
    Relist();
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("up.bin")}));
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);
    window->UploadSelection();
    EXPECT_EQ(prompter.questions.mid(1), QStringList{TransferText::ResumeQuestion});
    EXPECT_TRUE(ReadFile(InFolder(QStringLiteral("up.bin"))) == kept + data.mid(kept.size()))
        << "the upload did not go on from the server's size";
}

TEST_P(ResumeWindowTest, CancelledResumedUploadKeepsTheServersFile)
{
    window->SelectBinaryMode();
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    {
        // 1 GiB, sparse: no loopback server takes it in before 中止 is pressed.
        QFile huge(Scratch(QStringLiteral("up.bin")));
        ASSERT_TRUE(huge.open(QIODevice::WriteOnly));
        ASSERT_TRUE(huge.resize(qint64(1) << 30));
    }
    PutRemoteFile(QStringLiteral("up.bin"), QByteArray(4096, 'k'));
    Relist();
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("up.bin")}));
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);
    {
        PressCancelWhen cancel(ShowsBytesMoved);
        window->UploadSelection();
        ASSERT_TRUE(cancel.pressed);
    }
    // The file was there before the upload: it stays, with what it had.
    EXPECT_TRUE(ReadFile(InFolder(QStringLiteral("up.bin"))).startsWith(QByteArray(4096, 'k')));
    EXPECT_EQ(window->LogText(), AsLogShows(QStringLiteral("中止しました\nサーバー上の up.bin は途中までしか書かれていません")));
}

INSTANTIATE_TEST_SUITE_P(Servers, ResumeWindowTest, ::testing::ValuesIn(AllServers()));
