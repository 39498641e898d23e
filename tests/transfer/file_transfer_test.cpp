// Downloads into files and uploads from them over both kinds of data connection: what the
// local folder holds afterwards, and that the control connection stays in step.
#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/loopback_stranger.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

TEST(Retrieve, PassiveRefusalEndsAtOnceAndKeepsTheLocalFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("keep.txt"));
    WriteAll(target, "precious");
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("550 No such file").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("missing.txt"), target));
    EXPECT_EQ(session.GetReplyCode(), 550);
    EXPECT_EQ(ReadAll(target), QByteArray("precious"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("keep.txt")});
    // The control connection is still in step.
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, ForeignHostInPassiveReplyIsNotFollowed)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    ScriptedFtpPeer peer;
    // The reply names another host (127.0.0.2, where nothing listens, so that a fault never
    // sends traffic off this machine); the data connection must still reach this peer.
    peer.Greet()
        .Answer("200 ok")
        .AnswerPassive("227 Entering Passive Mode (127,0,0,2,{p1},{p2})")
        .AcceptData()
        .Answer("150 sending")
        .SendData("data")
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("data"));
    EXPECT_EQ(session.PasvHost(), QStringLiteral("127.0.0.2"));
}

TEST(Retrieve, ActiveModeAccepts125AndReplacesTheFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a.bin"));
    WriteAll(target, "old contents that are longer");
    const QByteArray payload("\r\n\x00\xff binary\r\n", 13);
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok")
        .Answer("200 PORT ok")
        .Answer("125 Data connection already open; transfer starting")
        .ConnectData()
        .SendData(payload)
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetTypeBinary();
    std::vector<qint64> progress;
    session.SetProgressCallback([&](qint64 bytes) { progress.push_back(bytes); });
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("a.bin"), target));
    EXPECT_EQ(ReadAll(target), payload);
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("a.bin")});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), payload.size());
    EXPECT_EQ(peer.Commands().last(), "RETR a.bin");
}

// Connects to the address of the latest PORT command from another loopback address and says
// something, as a third party racing the server would.
void IntrudeFrom127002(const ScriptedFtpPeer& peer)
{
    QByteArray port;
    for (const QByteArray& command : peer.Commands())
        if (command.startsWith("PORT "))
            port = command.mid(5);
    ConnectAsStranger(PortOfPortArgument(port), "evil");
}

TEST(Retrieve, ActiveModeTakesDataOnlyFromTheServer)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a.bin"));
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Read()
        .Do([&peer] { IntrudeFrom127002(peer); })
        .Send("150 sending\r\n").ConnectData().SendData("good").CloseData().Send("226 done\r\n");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("a.bin"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("good"));
}

TEST(Retrieve, ActiveRefusalEndsAnEarlyDataConnectionInOrder)
{
    // Some servers connect as soon as PORT is answered. When the transfer is then refused,
    // that connection must end in order: a reset trips up such servers' bookkeeping.
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Read().ConnectData().Send("200 PORT ok\r\n")
        .Answer("550 No such file").ReceiveData().Answer("250 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("missing"), dir.filePath(QStringLiteral("m"))));
    EXPECT_EQ(session.GetReplyCode(), 550);
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
    EXPECT_TRUE(peer.Errors().isEmpty()) << peer.Errors().join(';').toStdString();
}

TEST(Retrieve, BrokenTransferLeavesNoTrace)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.txt"));
    WriteAll(existing, "old");
    ScriptedFtpPeer peer;
    peer.Greet()
        // the server closes the data connection early and says so
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("partial").CloseData().Send("426 Connection closed; transfer aborted\r\n")
        // a reset data connection followed by a 226 is still a broken download
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("partial").ResetData().Send("226 done\r\n")
        // the server closes the control connection in the middle of the transfer
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("partial").CloseData().Close();
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), existing));
    EXPECT_EQ(session.GetReplyCode(), 426);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), existing));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), dir.filePath(QStringLiteral("new.txt"))));
    EXPECT_EQ(ReadAll(existing), QByteArray("old"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("old.txt")});
}

TEST(Retrieve, SilentDataConnectionEndsTheWait)
{
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("some").ReceiveData()  // waits until the client gives up on the data
        .Send("426 aborted\r\n").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    EXPECT_TRUE(Entries(dir).isEmpty());
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, ServerThatNeverConnectsEndsTheWait)
{
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 opening").WaitForClose();
    FtpSession session;
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(Entries(dir).isEmpty());
}

TEST(Retrieve, ServerThatGivesUpConnectingLeavesNoReplyBehind)
{
    // The server announced the transfer, could not reach the client and said so: that answer
    // belongs to the transfer, not to the next command.
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 opening")
        .Send("425 Can't open data connection\r\n").Answer("250 ok");
    FtpSession session;
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(Entries(dir).isEmpty());
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, FolderWithoutFileModesStillTakesTheFile)
{
    // A folder that refuses chmod, as FAT on a memory stick does, made with bindfs where the
    // machine has it.
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("store"));
    const QString folder = dir.filePath(QStringLiteral("fat"));
    ASSERT_TRUE(QDir().mkpath(store) && QDir().mkpath(folder));
    if (QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty()
        || QProcess::execute(QStringLiteral("bindfs"), {QStringLiteral("--chmod-deny"), store, folder}) != 0)
        GTEST_SKIP() << "bindfs cannot mount here";
    struct Unmount {
        QString folder;
        ~Unmount() { QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), folder}); }
    } unmount{folder};

    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("data").CloseData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("x"), folder + QStringLiteral("/x")));
    EXPECT_EQ(ReadAll(store + QStringLiteral("/x")), QByteArray("data"));
}

TEST(Retrieve, UnwritableTargetStillReadsTheFinalReply)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("data").CloseData().Send("226 done\r\n").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("x"), QStringLiteral("/nonexistent-folder/x")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, TextModeTurnsCrLfIntoLf)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("t.txt"));
    ScriptedFtpPeer peer;
    // The CR of one pair ends a read; a lone CR stays.
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("one\r").Pause().SendData("\ntwo\rthree\r\n\r").CloseData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("t.txt"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("one\ntwo\rthree\n\r"));
    EXPECT_EQ(peer.Commands().first(), "TYPE A");
}

TEST(Store, TextAndBinaryUploads)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("s.txt"));
    WriteAll(source, "a\nb\r\nc");
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").ReceiveData().Send("226 done\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").ReceiveData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(UploadFromFile(session, source, QStringLiteral("s.txt")));
    EXPECT_EQ(peer.Commands().mid(0, 3), (QList<QByteArray>{"TYPE A", "PASV", "STOR s.txt"}));
    session.SetTypeBinary();
    EXPECT_TRUE(UploadFromFile(session, source, QStringLiteral("s.bin")));
    peer.WaitScriptDone();
    EXPECT_EQ(peer.DataReceived(), QByteArray("a\nb\r\nc"));
}

TEST(Store, TextUploadSendsCrLf)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("s.txt"));
    WriteAll(source, "a\nb\r\nc\n");
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").ReceiveData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(UploadFromFile(session, source, QStringLiteral("s.txt")));
    peer.WaitScriptDone();
    EXPECT_EQ(peer.DataReceived(), QByteArray("a\r\nb\r\r\nc\r\n"));
}

TEST(Store, EmptyFileAndMissingFile)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty"));
    WriteAll(empty, QByteArray());
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 go").ConnectData().ReceiveData()
        .Send("226 done\r\n").Answer("250 ok");
    FtpSession session;
    session.SetTypeBinary();
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(UploadFromFile(session, empty, QStringLiteral("empty")));
    EXPECT_TRUE(peer.DataReceived().isEmpty());
    // A local file that cannot be read is found out before the server is asked anything.
    EXPECT_FALSE(UploadFromFile(session, dir.filePath(QStringLiteral("missing")), QStringLiteral("m")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_FALSE(UploadFromFile(session, dir.path(), QStringLiteral("m")));
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
    EXPECT_FALSE(peer.Commands().contains("STOR m"));
}

// A cancelled download keeps what arrived beside the target for a resume, the target as it was;
// the same in text mode drops it (text cannot be resumed).
TEST(Retrieve, CancelKeepsBinaryDataBesideTheTargetAndDropsText)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("keep.bin"));
    WriteAll(target, "old");
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(QByteArray(1000, 'x')).Read().Send("426 aborted\r\n226 ABOR ok\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(QByteArray(1000, 'y')).Read().Send("426 aborted\r\n226 ABOR ok\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    session.SetProgressCallback([&](qint64) { session.Cancel(); });
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("big.bin"), target));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
    const QByteArray partial = ReadAll(target + QStringLiteral(".part"));
    EXPECT_FALSE(partial.isEmpty());
    EXPECT_EQ(partial, QByteArray(partial.size(), 'x'));

    session.ResetCancel();
    session.SettleCancelled();
    session.SetTypeAscii();
    const QString text = dir.filePath(QStringLiteral("t.txt"));
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("t.txt"), text));
    EXPECT_EQ(Entries(dir), (QStringList{QStringLiteral("keep.bin"), QStringLiteral("keep.bin.part")}));
}

}  // namespace
