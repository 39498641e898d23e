#include "engine/data_stream.h"
#include "engine/ftp_session.h"
#include "engine/transfer_digest.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QCryptographicHash>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace {

QByteArray Hex(const QByteArray& bytes, QCryptographicHash::Algorithm algorithm)
{
    return QCryptographicHash::hash(bytes, algorithm).toHex();
}

QByteArray Digest(DigestAlgorithm algorithm, const QList<QByteArray>& pieces)
{
    StreamDigest digest(algorithm);
    for (const QByteArray& piece : pieces)
        digest.Update(piece.constData(), piece.size());
    return digest.HexDigest();
}

TEST(DigestChoice, HashWithTheStrongestItListsThenTheOlderCommands)
{
    using Q = DigestQuery;
    // SHA-256 is the server's current choice: no OPTS HASH needed.
    EXPECT_EQ(DigestQueries({QStringLiteral("HASH SHA-1;SHA-256*;MD5")}),
              (QList<Q>{{DigestAlgorithm::Sha256, QStringLiteral("HASH"), false}}));
    // Another one is: OPTS HASH first. Names in any letter case.
    EXPECT_EQ(DigestQueries({QStringLiteral("hash sha-1;md5*;crc32")}),
              (QList<Q>{{DigestAlgorithm::Sha1, QStringLiteral("HASH"), true}}));
    // HASH that offers only CRC32 is passed over for the X commands, strongest first.
    EXPECT_EQ(DigestQueries({QStringLiteral("XCRC"), QStringLiteral("HASH CRC32*"), QStringLiteral("XMD5"),
                             QStringLiteral("XSHA1")}),
              (QList<Q>{{DigestAlgorithm::Sha1, QStringLiteral("XSHA1"), false},
                        {DigestAlgorithm::Md5, QStringLiteral("XMD5"), false},
                        {DigestAlgorithm::Crc32, QStringLiteral("XCRC"), false}}));
    EXPECT_EQ(DigestQueries({QStringLiteral("HASH MD5*"), QStringLiteral("XSHA256")}).size(), 2);
    EXPECT_TRUE(DigestQueries({QStringLiteral("EPRT"), QStringLiteral("REST STREAM"), QStringLiteral("SIZE"),
                               QStringLiteral("MLST type*;size*;")}).isEmpty());
}

TEST(DigestReplies, HashRepliesGiveTheDigestOfTheWholeFileOnly)
{
    const QByteArray sha1 = Hex("abc", QCryptographicHash::Sha1);
    const QString upper = QString::fromLatin1(sha1.toUpper());
    EXPECT_EQ(ParseHashReply(QStringLiteral("213 SHA-1 0-3 ") + upper + QStringLiteral(" a b.txt\r\n"),
                             DigestAlgorithm::Sha1), sha1);
    EXPECT_EQ(ParseHashReply(QStringLiteral("213 sha-1 0-3 ") + upper, DigestAlgorithm::Sha1), sha1);
    for (const QString& reply : {
             QStringLiteral("213 SHA-256 0-3 ") + upper + QStringLiteral(" f"),  // another algorithm
             QStringLiteral("213 SHA-1 5-3 ") + upper + QStringLiteral(" f"),    // not from the start
             QStringLiteral("213 SHA-1 0-3 ") + upper.left(39) + QStringLiteral(" f"),
             QStringLiteral("213 SHA-1 0-3 ") + upper.left(39) + QStringLiteral("g f"),
             QStringLiteral("550 SHA-1 0-3 ") + upper + QStringLiteral(" f"),
             QStringLiteral("213-SHA-1 0-3 ") + upper + QStringLiteral(" f"),
             QStringLiteral("213 SHA-1 ") + upper,
             QString()}) {
        EXPECT_TRUE(ParseHashReply(reply, DigestAlgorithm::Sha1).isEmpty()) << reply.toStdString();
    }
}

TEST(DigestReplies, OlderCommandsAreAnswered250Or213InEitherCase)
{
    const QByteArray md5 = Hex("abc", QCryptographicHash::Md5);
    const QString upper = QString::fromLatin1(md5.toUpper());
    EXPECT_EQ(ParseXDigestReply(QStringLiteral("250 ") + upper + QStringLiteral("\r\n"), DigestAlgorithm::Md5), md5);
    EXPECT_EQ(ParseXDigestReply(QStringLiteral("213 f.bin ") + QString::fromLatin1(md5), DigestAlgorithm::Md5), md5);
    EXPECT_TRUE(ParseXDigestReply(QStringLiteral("550 ") + upper, DigestAlgorithm::Md5).isEmpty());
    EXPECT_TRUE(ParseXDigestReply(QStringLiteral("250 ") + upper.left(31), DigestAlgorithm::Md5).isEmpty());
    EXPECT_TRUE(ParseXDigestReply(QStringLiteral("250 ") + upper, DigestAlgorithm::Sha1).isEmpty());
    // A CRC may come without its leading zeros.
    EXPECT_EQ(ParseXDigestReply(QStringLiteral("250 1A2B3"), DigestAlgorithm::Crc32), QByteArray("0001a2b3"));
    EXPECT_TRUE(ParseXDigestReply(QStringLiteral("250 1A2B3C4D5"), DigestAlgorithm::Crc32).isEmpty());
}

TEST(StreamDigest, PiecesGiveTheDigestOfTheWholeAndAPrefixIsReadFromTheFile)
{
    const QByteArray text = "The quick brown fox jumps over the lazy dog";
    const QList<QByteArray> pieces{text.left(5), QByteArray(), text.mid(5, 20), text.mid(25)};
    EXPECT_EQ(Digest(DigestAlgorithm::Sha256, pieces), Hex(text, QCryptographicHash::Sha256));
    EXPECT_EQ(Digest(DigestAlgorithm::Sha1, pieces), Hex(text, QCryptographicHash::Sha1));
    EXPECT_EQ(Digest(DigestAlgorithm::Md5, pieces), Hex(text, QCryptographicHash::Md5));
    EXPECT_EQ(Digest(DigestAlgorithm::Crc32, {"1234", "56789"}), QByteArray("cbf43926"));  // the check value
    EXPECT_EQ(Digest(DigestAlgorithm::Crc32, {}), QByteArray("00000000"));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    WriteAll(path, text);
    StreamDigest fromFile(DigestAlgorithm::Sha256);
    fromFile.UpdateFromFile(QFile::encodeName(path), 10);
    fromFile.Update(text.constData() + 10, text.size() - 10);
    EXPECT_EQ(fromFile.HexDigest(), Hex(text, QCryptographicHash::Sha256));
    // A file shorter than the part it should hold cannot be vouched for.
    StreamDigest shortFile(DigestAlgorithm::Sha256);
    shortFile.UpdateFromFile(QFile::encodeName(path), text.size() + 1);
    EXPECT_FALSE(shortFile.IsUsable());
    EXPECT_TRUE(shortFile.HexDigest().isEmpty());
}

// The loops a protected connection copies through (plain downloads splice unless a digest is
// wanted, and are covered by the peer's tests below).
TEST(StreamDigest, CopyLoopsHashEveryByteAsItPasses)
{
    const QByteArray contents = QByteArray(300000, 'x') + "tail";
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("f"));
    WriteAll(path, {});
    StreamDigest in(DigestAlgorithm::Sha256);
    qsizetype at = 0;
    const ReceiveSome receive = [&](char* buffer, qsizetype size) {
        const qsizetype n = qMin<qsizetype>(qMin<qsizetype>(size, 7000), contents.size() - at);
        memcpy(buffer, contents.constData() + at, size_t(n));
        at += n;
        return n;
    };
    int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY);
    ASSERT_EQ(CopyInToFile(DataContext{std::chrono::milliseconds(1000), nullptr, {}, &in}, receive, fd, false, 65536),
              DataEnd::Clean);
    ::close(fd);
    EXPECT_EQ(in.HexDigest(), Hex(contents, QCryptographicHash::Sha256));

    StreamDigest out(DigestAlgorithm::Md5);
    QByteArray sent;
    fd = ::open(QFile::encodeName(path).constData(), O_RDONLY);
    ASSERT_EQ(CopyFileOut(DataContext{std::chrono::milliseconds(1000), nullptr, {}, &out},
                          [&](const char* data, qsizetype size) { sent.append(data, size); return true; }, fd, false,
                          65536),
              DataEnd::Clean);
    ::close(fd);
    EXPECT_EQ(sent, contents);
    EXPECT_EQ(out.HexDigest(), Hex(contents, QCryptographicHash::Md5));
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
    ASSERT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(session.GetReplyCode(), 226);  // the transfer's reply stays the one shown
    ASSERT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
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
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("f.bin"), target));
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
    EXPECT_TRUE(session.StoreFile(source, QStringLiteral("up.bin")));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-1"));
    EXPECT_FALSE(session.StoreFile(source, QStringLiteral("up.bin")));
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
    ASSERT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target, true));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(ReadAll(target), Contents);
    ASSERT_TRUE(session.StoreFile(source, QStringLiteral("up.bin"), 20));
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
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
    session.SetTypeBinary();
    session.SetVerifyTransfers(false);
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
    session.SetVerifyTransfers(true);
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
    EXPECT_TRUE(session.LastVerification().isEmpty());
    EXPECT_EQ(session.GetReplyCode(), 226);
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
    EXPECT_EQ(ReadAll(target), Contents);
    EXPECT_EQ(peer.Commands().count("XMD5 f.bin"), 1);
}

}  // namespace
