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

}  // namespace
