#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

const QByteArray RestFeatures = "211-Features:\r\n REST STREAM\r\n SIZE\r\n211 End\r\n";

// The last n commands the peer read.
QList<QByteArray> Last(const ScriptedFtpPeer& peer, qsizetype n)
{
    const QList<QByteArray> commands = peer.Commands();
    return commands.mid(qMax<qsizetype>(commands.size() - n, 0));
}

// A binary session that has read FEAT (the peer's first answer) from the peer.
void Start(FtpSession& session, ScriptedFtpPeer& peer, bool passive = true)
{
    session.SetPassiveMode(passive);
    session.SetTypeBinary();
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    ASSERT_TRUE(session.QueryFeatures());
}

TEST(ResumeDownload, BrokenDownloadKeepsItsPartAndTheNextOneGoesOnFromThere)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    WriteAll(target, "old");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("hello ").CloseData().Send("426 Connection closed; transfer aborted\r\n")
        .AnswerPassive().AcceptData().Answer("350 Restarting at 6").Answer("150 sending")
        .SendData("world").CloseData().Send("226 done\r\n");
    FtpSession session;
    Start(session, peer);
    ASSERT_TRUE(session.CanResume());
    EXPECT_EQ(PartialPath(target), target + QStringLiteral(".part"));

    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
    EXPECT_EQ(ReadAll(target + QStringLiteral(".part")), QByteArray("hello "));

    std::vector<qint64> progress;
    std::vector<qint64> offsets;
    session.SetProgressCallback([&](qint64 bytes) {
        progress.push_back(bytes);
        offsets.push_back(session.TransferOffset());
    });
    session.SetTransferSize(11);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(ReadAll(target), QByteArray("hello world"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("f.bin")});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 11);  // counted from the start of the file
    EXPECT_EQ(offsets.back(), 6);      // of which 6 were there before
    EXPECT_EQ(session.TransferOffset(), 0);
    EXPECT_EQ(Last(peer, 3), (QList<QByteArray>{"PASV", "REST 6", "RETR f.bin"}));
}

TEST(ResumeDownload, RefusedRestStartsOverFromTheBeginning)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    WriteAll(target + QStringLiteral(".part"), "stale data, longer than the file");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").Answer("200 PORT ok").Answer("502 REST not implemented").Answer("150 sending")
        .ConnectData().SendData("whole").CloseData().Send("226 done\r\n");
    FtpSession session;
    Start(session, peer, false);
    session.SetTransferSize(5);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(ReadAll(target), QByteArray("whole"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("f.bin")});
    EXPECT_EQ(Last(peer, 2), (QList<QByteArray>{"REST 32", "RETR f.bin"}));
    EXPECT_TRUE(Last(peer, 3).first().startsWith("PORT "));
}

TEST(ResumeDownload, ResumedFileOfAnotherSizeFailsAndIsNotKept)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    WriteAll(target, "old");
    WriteAll(target + QStringLiteral(".part"), "hello ");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("350 Restarting at 6").Answer("150 sending")
        .SendData("world, changed since").CloseData().Send("226 done\r\n").Answer("213 30").Answer("250 ok");
    FtpSession session;
    Start(session, peer);
    session.SetTransferSize(11);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::SizeMismatch);
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("f.bin")});
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(ResumeDownload, NoResumeWithoutRestStreamOrInTextMode)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.txt"));
    WriteAll(target + QStringLiteral(".part"), "stale");
    ScriptedFtpPeer peer;
    // Without REST STREAM the partial data starts over; a text download that breaks keeps none.
    peer.Greet().Read().Send("211-Features:\r\n SIZE\r\n211 End\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("new").CloseData().Send("226 done\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("a\r\nb").CloseData().Send("426 aborted\r\n");
    FtpSession session;
    Start(session, peer);
    EXPECT_FALSE(session.CanResume());
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.txt"), target, true));
    EXPECT_EQ(ReadAll(target), QByteArray("new"));
    session.SetTypeAscii();
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("f.txt"), target, true));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("f.txt")});
    EXPECT_FALSE(peer.Commands().join(' ').contains("REST"));
}

TEST(ResumeDownload, PartialNamesOfLongNamesStayFileNamesOfTheirOwn)
{
    const QString longName = QString(100, QChar(0x3042));  // 300 bytes in UTF-8
    const QString partial = PartialPath(QStringLiteral("/d/") + longName);
    const QString other = PartialPath(QStringLiteral("/d/") + longName + QLatin1Char('x'));
    EXPECT_TRUE(partial.startsWith(QStringLiteral("/d/") + QString(77, QChar(0x3042)) + QLatin1Char('~')));
    EXPECT_TRUE(partial.endsWith(QStringLiteral(".part")));
    EXPECT_LE(QFile::encodeName(partial).size() - 3, 255);
    EXPECT_NE(partial, other);
    EXPECT_EQ(PartialPath(QStringLiteral("x.part")), QStringLiteral("x.part.part"));
}

TEST(ResumeUpload, RestThenStoreSendsTheRestAndChecksTheSize)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("up.bin"));
    WriteAll(source, "hello world");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("350 Restarting at 6").Answer("150 go")
        .ReceiveData().Send("226 done\r\n").Answer("213 11");
    FtpSession session;
    Start(session, peer);
    EXPECT_TRUE(UploadFromFile(session, source, QStringLiteral("up.bin"), 6));
    EXPECT_EQ(session.GetReplyCode(), 226);
    peer.WaitScriptDone();
    EXPECT_EQ(peer.DataReceived(), QByteArray("world"));
    EXPECT_EQ(Last(peer, 4), (QList<QByteArray>{"PASV", "REST 6", "STOR up.bin", "SIZE up.bin"}));
}

TEST(ResumeUpload, RefusedRestAppendsAndAWrongSizeIsAFailure)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("up.bin"));
    WriteAll(source, "hello world");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(RestFeatures)
        .Answer("200 ok").Answer("200 PORT ok").Answer("502 no REST").Answer("150 go")
        .ConnectData().ReceiveData().Send("226 done\r\n").Answer("213 10");
    FtpSession session;
    Start(session, peer, false);
    EXPECT_FALSE(UploadFromFile(session, source, QStringLiteral("up.bin"), 6));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::SizeMismatch);
    peer.WaitScriptDone();
    EXPECT_EQ(peer.DataReceived(), QByteArray("world"));
    EXPECT_EQ(Last(peer, 3), (QList<QByteArray>{"REST 6", "APPE up.bin", "SIZE up.bin"}));
}

}  // namespace
