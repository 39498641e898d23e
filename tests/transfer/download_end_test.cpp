// How downloads to files end: only the whole file of the server's size takes the target's place;
// data cut short stays in the partial file for a resume; a target that cannot be replaced keeps
// the data; uploads read regular files only.
#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>


namespace {

const QByteArray RestFeatures = "211-Features:\r\n REST STREAM\r\n SIZE\r\n211 End\r\n";

void Start(FtpSession& session, ScriptedFtpPeer& peer)
{
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    ASSERT_TRUE(session.QueryFeatures());
}

mode_t Mode(const QString& path)
{
    struct stat info {};
    ::stat(QFile::encodeName(path).constData(), &info);
    return info.st_mode & 07777;
}

// A connection cut at the right moment ends like a whole file on the wire (end of data, then
// 226 from a server that thinks it sent everything): only the size tells.
TEST(DownloadEnd, DataShorterThanTheServersSizeNeverReplacesTheTargetAndIsResumedLater)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    WriteAll(target, "the good old file");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("hello ").CloseData().Send("226 done\r\n").Answer("213 11")
        .AnswerPassive().AcceptData().Answer("350 Restarting at 6").Answer("150 sending")
        .SendData("world").CloseData().Send("226 done\r\n");
    FtpSession session;
    Start(session, peer);
    session.SetTransferSize(11);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::SizeMismatch);
    EXPECT_EQ(session.LastReceivedSize(), 6);
    EXPECT_EQ(ReadAll(target), QByteArray("the good old file"));
    EXPECT_EQ(ReadAll(target + QStringLiteral(".part")), QByteArray("hello "));

    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(ReadAll(target), QByteArray("hello world"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("f.bin")});
}

// A file that grew since it was listed (a log): data longer than the listed size is the whole
// file when the server's size, asked once after the transfer, says so; otherwise it fails and
// its data stays. Where the sizes agree nothing more is asked.
TEST(DownloadEnd, AFileThatGrewSinceItWasListedIsWholeWhenTheServersSizeNowSaysSo)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("log"));
    WriteAll(target, "old");
    auto sending = [](ScriptedFtpPeer& peer, const QByteArray& data) -> ScriptedFtpPeer& {
        return peer.AnswerPassive().AcceptData().Answer("150 sending").SendData(data).CloseData().Send("226 done\r\n");
    };
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures).Answer("200 ok");
    sending(peer, "grown log").Answer("213 9");
    sending(peer, "grown log!").Answer("213 12");
    sending(peer, "abc");
    FtpSession session;
    Start(session, peer);
    session.SetTransferSize(3);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("log"), target));
    EXPECT_EQ(session.GetReplyCode(), 226);
    EXPECT_EQ(ReadAll(target), QByteArray("grown log"));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("log"), target + QStringLiteral("2")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::SizeMismatch);
    EXPECT_EQ(ReadAll(target + QStringLiteral("2.part")), QByteArray("grown log!"));
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("log"), target + QStringLiteral("3")));
    EXPECT_EQ(peer.Commands().count("SIZE log"), 2);
}

// The caller's partial file is used, and a "NAME.part" it did not choose is left as it is.
TEST(DownloadEnd, AChosenPartialFileLeavesTheUsualNameAlone)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a"));
    WriteAll(target + QStringLiteral(".part"), "the user's own file");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("cut").CloseData().Send("226 done\r\n").Answer("213 5")
        .AnswerPassive().AcceptData().Answer("150 sending").SendData("whole").CloseData().Send("226 done\r\n");
    FtpSession session;
    Start(session, peer);
    session.SetTransferSize(5);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("a"), target, false, dir.filePath(QStringLiteral("a.1.part"))));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("a.1.part"))), QByteArray("cut"));
    // Without a choice, the usual name.
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("a"), target + QStringLiteral("2")));
    EXPECT_EQ(ReadAll(target + QStringLiteral(".part")), QByteArray("the user's own file"));
    EXPECT_EQ(ReadAll(target + QStringLiteral("2")), QByteArray("whole"));
}

// A folder took the target's name while the data came: the data stays, and the reason is given.
// A file that is replaced passes on its permission bits, never set-id bits.
TEST(DownloadEnd, TargetThatCannotBeReplacedKeepsTheDataAndReplacedModesLoseSetId)
{
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("now a folder"));
    ASSERT_TRUE(QDir().mkdir(folder));
    const QString target = dir.filePath(QStringLiteral("tool"));
    WriteAll(target, "old");
    ASSERT_EQ(::chmod(QFile::encodeName(target).constData(), 06755), 0);
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("data").CloseData().Send("226 done\r\n")
        .AnswerPassive().AcceptData().Answer("150 sending").SendData("new tool").CloseData().Send("226 done\r\n");
    FtpSession session;
    Start(session, peer);
    session.SetTransferSize(4);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("f"), folder));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::TargetNotReplaced);
    EXPECT_FALSE(session.GetReplyText().isEmpty());
    EXPECT_EQ(ReadAll(folder + QStringLiteral(".part")), QByteArray("data"));

    session.SetTransferSize(8);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("tool"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("new tool"));
    EXPECT_EQ(Mode(target), mode_t(0755));
}

// Uploads send regular files only: a link is not followed at the last step, and a pipe (which
// would wait for a writer forever) is refused, both before the server is asked anything.
TEST(UploadSource, OnlyARegularFileIsSentNeverThroughALinkOrFromAPipe)
{
    QTemporaryDir dir;
    const QString real = dir.filePath(QStringLiteral("real"));
    WriteAll(real, "secret");
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_EQ(::symlink("real", QFile::encodeName(link).constData()), 0);
    const QString pipe = dir.filePath(QStringLiteral("pipe"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures);
    FtpSession session;
    Start(session, peer);
    for (const QString& source : {link, pipe}) {
        EXPECT_FALSE(UploadFromFile(session, source, QStringLiteral("up")));
        EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    }
    EXPECT_EQ(peer.Commands(), QList<QByteArray>{"FEAT"});
}

}  // namespace
