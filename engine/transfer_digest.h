#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <functional>
#include <memory>
#include <optional>

// Checking a transfer byte for byte: the client hashes the file's bytes as they stream and asks
// the server for its digest of the same file after the final reply. Servers offer this by the
// HASH command (draft-bryan-ftpext-hash: FEAT "HASH SHA-1;SHA-256*;MD5", OPTS HASH to choose)
// or by one of the older XSHA256, XSHA1, XMD5 and XCRC commands.

enum class DigestAlgorithm { Sha256, Sha1, Md5, Crc32 };

// The algorithm's name as HASH and the log spell it: "SHA-256", "SHA-1", "MD5", "CRC32".
QString DigestName(DigestAlgorithm algorithm);

// One way of asking a server for a file's digest.
struct DigestQuery {
    DigestAlgorithm algorithm = DigestAlgorithm::Sha256;
    QString verb;         // "HASH", "XSHA256", "XSHA1", "XMD5" or "XCRC"
    bool select = false;  // HASH whose selected algorithm is another one: OPTS HASH goes first
    bool operator==(const DigestQuery&) const = default;
};

// The ways the FEAT lines offer, best first: HASH with the strongest of SHA-256, SHA-1 and MD5
// it lists, then XSHA256, XSHA1, XMD5, XCRC. Empty when there is none.
QList<DigestQuery> DigestQueries(const QStringList& features);

// The hex digest of a HASH reply, "213 SHA-256 0-4096 <hex> <name>", in lower case. Empty unless
// the reply is a 213 for the algorithm, over a range from the file's start, with a digest of
// the algorithm's length.
QByteArray ParseHashReply(const QString& reply, DigestAlgorithm algorithm);
// The hex digest of a reply to XSHA256, XSHA1, XMD5 or XCRC: 250 or 213 (servers differ) and
// the first word that is a digest of the algorithm's length, in lower case (a CRC of fewer
// than eight digits is padded with zeros). Empty when there is none.
QByteArray ParseXDigestReply(const QString& reply, DigestAlgorithm algorithm);

// A digest computed piece by piece while the bytes stream.
class StreamDigest {
public:
    explicit StreamDigest(DigestAlgorithm algorithm);
    ~StreamDigest();
    StreamDigest(const StreamDigest&) = delete;
    StreamDigest& operator=(const StreamDigest&) = delete;

    DigestAlgorithm Algorithm() const { return algorithm; }
    // False once the digest cannot be trusted to cover the whole file (the algorithm could not
    // start, or the start of a resumed file could not be read): it is then not compared.
    bool IsUsable() const;
    void Update(const char* data, qsizetype size);
    // The first length bytes of the file, read with pread (the file's position stays). The
    // path form opens the file read-only, following no link.
    void UpdateFromFile(int fd, qint64 length);
    void UpdateFromFile(const QByteArray& path, qint64 length);
    // The digest in lower-case hex; empty when not usable. Ends the digest.
    QByteArray HexDigest();

private:
    struct Private;
    DigestAlgorithm algorithm;
    std::unique_ptr<Private> d;
};

// The exchange after a transfer, per connection: which query the server answers, whether
// OPTS HASH was sent, and which queries turned out not to be understood.
class DigestCheck {
public:
    // Sends the command and reads its reply; false when no reply could be read.
    using Ask = std::function<bool(const QString& command, int& code, QString& text)>;
    enum class Result { Matched, Differs, Unchecked };

    // After every FEAT.
    void Reset(const QStringList& features);
    // The algorithm a transfer's bytes are to be hashed with, sending OPTS HASH first where the
    // server's choice is another (once per connection); nothing when the server offers no way
    // (left), and then nothing is sent.
    std::optional<DigestAlgorithm> Prepare(const Ask& ask);
    // Asks for the server's digest of path and compares it with the local one. A query the
    // server does not understand (500, 502, 504) is not asked again on this connection.
    Result Check(const QString& path, StreamDigest& local, const Ask& ask);

private:
    QList<DigestQuery> queries;
    bool selected = false;  // OPTS HASH was accepted for the first query
};
