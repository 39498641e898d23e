// Transfers of files checked against the server's digest: what a download that differs leaves,
// and which commands go out.
#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const QByteArray& bytes, QCryptographicHash::Algorithm algorithm)
{
    return QCryptographicHash::hash(bytes, algorithm).toHex();
}

// --- the exchange, through the scripted peer ---

const QByteArray Contents = "bytes that are checked on both sides";

QByteArray Features(const QByteArray& lines)
{
    return "211-Features:\r\n REST STREAM\r\n SIZE\r\n" + lines + "211 End\r\n";
}

// A binary session that has read FEAT (the peer's first answer).
void Start(FtpSession& session, ScriptedFtpPeer& peer)
{
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    ASSERT_TRUE(session.QueryFeatures());
}

QList<QByteArray> After(const ScriptedFtpPeer& peer, const QByteArray& command)
{
    const QList<QByteArray> commands = peer.Commands();
    const qsizetype at = commands.indexOf(command);
    return at < 0 ? QList<QByteArray>{} : commands.mid(at + 1);
}

TEST(TransferDigest, HashIsSelectedOnceAndADownloadThatMatchesSaysSo)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    const QByteArray sha256 = Hex(Contents, QCryptographicHash::Sha256);
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(Features(" HASH SHA-1*;SHA-256;MD5\r\n XMD5\r\n"))
        .Answer("200 SHA-256")
        .Answer("200 binary").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(Contents).CloseData().Send("226 done\r\n")
        .Answer("213 SHA-256 0-36 " + sha256.toUpper() + " f.bin")
        .AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(Contents).CloseData().Send("226 done\r\n")
        .Answer("213 SHA-256 0-36 " + sha256 + " f.bin");
    FtpSession session;
    Start(session, peer);
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(session.GetReplyCode(), 226);  // the transfer's reply stays the one shown
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(ReadAll(target), Contents);
    EXPECT_EQ(After(peer, "FEAT"), (QList<QByteArray>{"OPTS HASH SHA-256", "TYPE I", "PASV", "RETR f.bin",
                                                      "HASH f.bin", "PASV", "RETR f.bin", "HASH f.bin"}));
}

TEST(TransferDigest, LyingServerFailsTheDownloadAndLeavesTheTargetAsItWas)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    WriteAll(target, "old");
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(Features(" XMD5\r\n"))
        .Answer("200 binary").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(Contents).CloseData().Send("226 done\r\n")
        .Answer("250 " + Hex("other bytes", QCryptographicHash::Md5))
        .Answer("250 CWD ok");
    FtpSession session;
    Start(session, peer);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DownloadDiffers);
    EXPECT_TRUE(session.LastVerification().isEmpty());
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("f.bin")});  // no partial to resume
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));            // still in step
    EXPECT_EQ(After(peer, "RETR f.bin"), (QList<QByteArray>{"XMD5 f.bin", "CWD /"}));
}

TEST(TransferDigest, UploadWhoseServerCopyDiffersFails)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("up.bin"));
    WriteAll(source, Contents);
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(Features(" XSHA1\r\n XCRC\r\n"))
        .Answer("200 binary").AnswerPassive().AcceptData().Answer("150 go ahead")
        .ReceiveData().Send("226 stored\r\n")
        .Answer("213 " + Hex(Contents, QCryptographicHash::Sha1).toUpper())
        .AnswerPassive().AcceptData().Answer("150 go ahead")
        .ReceiveData().Send("226 stored\r\n")
        .Answer("250 " + Hex(Contents + "x", QCryptographicHash::Sha1));
    FtpSession session;
    Start(session, peer);
    EXPECT_TRUE(UploadFromFile(session, source, QStringLiteral("up.bin")));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-1"));
    EXPECT_FALSE(UploadFromFile(session, source, QStringLiteral("up.bin")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::UploadDiffers);
    EXPECT_EQ(After(peer, "FEAT").count("XSHA1 up.bin"), 2);
}

TEST(TransferDigest, ResumedTransfersAreCheckedOverTheWholeFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    WriteAll(target + QStringLiteral(".part"), Contents.left(10));
    const QString source = dir.filePath(QStringLiteral("up.bin"));
    WriteAll(source, Contents);
    const QByteArray sha256 = Hex(Contents, QCryptographicHash::Sha256);
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(Features(" HASH SHA-256*\r\n"))
        .Answer("200 binary").AnswerPassive().AcceptData().Answer("350 Restarting at 10").Answer("150 sending")
        .SendData(Contents.mid(10)).CloseData().Send("226 done\r\n")
        .Answer("213 SHA-256 0-36 " + sha256 + " f.bin")
        // The upload goes on from the server's 20 bytes.
        .AnswerPassive().AcceptData().Answer("350 Restarting at 20").Answer("150 go ahead")
        .ReceiveData().Send("226 stored\r\n").Answer("213 36")
        .Answer("213 SHA-256 0-36 " + sha256 + " up.bin");
    FtpSession session;
    Start(session, peer);
    session.SetTransferSize(Contents.size());
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(ReadAll(target), Contents);
    ASSERT_TRUE(UploadFromFile(session, source, QStringLiteral("up.bin"), 20));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(peer.DataReceived(), Contents.mid(20));
    EXPECT_EQ(After(peer, "REST 20"), (QList<QByteArray>{"STOR up.bin", "SIZE up.bin", "HASH up.bin"}));
}

TEST(TransferDigest, NothingIsAskedInTextModeWithTheOptionOffOrOfACommandNotUnderstood)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    ScriptedFtpPeer peer;
    // One download; the TYPE command goes only where the type changes.
    auto download = [&](const QByteArray& typeAnswer = {}) -> ScriptedFtpPeer& {
        if (!typeAnswer.isEmpty())
            peer.Answer(typeAnswer);
        return peer.AnswerPassive().AcceptData().Answer("150 sending")
            .SendData(Contents).CloseData().Send("226 done\r\n");
    };
    peer.Greet().Read().Send(Features(" XMD5\r\n"));
    download("200 ascii");
    download("200 binary");
    download().Answer("502 XMD5 not implemented");
    download();  // not asked again on this connection
    FtpSession session;
    Start(session, peer);
    session.SetTypeAscii();
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    session.SetTypeBinary();
    session.SetVerifyTransfers(false);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    session.SetVerifyTransfers(true);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_TRUE(session.LastVerification().isEmpty());
    EXPECT_EQ(session.GetReplyCode(), 226);
    EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), target));
    EXPECT_EQ(ReadAll(target), Contents);
    EXPECT_EQ(peer.Commands().count("XMD5 f.bin"), 1);
}

}  // namespace
