#include "fuzz/entry_points.h"

#include "engine/ftp_reply.h"
#include "engine/ftp_session.h"
#include "engine/transfer_digest.h"
#include "engine/wire_codec.h"

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(condition)                                                         \
    do {                                                                              \
        if (!(condition)) {                                                           \
            std::fprintf(stderr, "%s:%d: broken promise: %s\n", __FILE__, __LINE__, #condition); \
            std::abort();                                                             \
        }                                                                             \
    } while (0)

void FuzzReplyReader(const uint8_t* data, size_t size)
{
    if (size == 0)
        return;
    const size_t piece = 1 + data[0] % 64;
    const QByteArray input(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));

    static WireCodec codec("UTF-8");
    ReplyReader reader;
    QByteArray taken;  // every reply handed out, in order
    QByteArray reply;
    bool tooLong = false;
    for (qsizetype at = 0; at < input.size() && !tooLong; at += qsizetype(piece)) {
        const QByteArray chunk = input.mid(at, qsizetype(piece));
        reader.Append(chunk.constData(), chunk.size());
        for (;;) {
            const ReplyReader::Result result = reader.Take(reply);
            if (result == ReplyReader::Result::TooLong)
                tooLong = true;
            if (result != ReplyReader::Result::Complete)
                break;
            FUZZ_CHECK(reply.endsWith('\n'));
            FUZZ_CHECK(reply.size() <= ReplyReader::MaxReply);
            const int code = ParseReplyCode(reply);
            FUZZ_CHECK(code >= -99 && code <= 999);
            // Whatever a server sends decodes to a text that encodes back to the same bytes.
            const std::optional<QByteArray> back = codec.Encode(codec.Decode(reply));
            FUZZ_CHECK(back.has_value() && *back == reply);
            taken += reply;
        }
    }
    // No byte is lost, doubled or moved: the replies and what is still buffered make up a
    // prefix of the input.
    FUZZ_CHECK(input.startsWith(taken));
    FUZZ_CHECK(input.startsWith(taken + reader.CompletedLines()));
}

void FuzzPassiveReply(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString host;
    int port = -1;
    ParsePassiveReply(text, host, port);
    FUZZ_CHECK(host.count(QLatin1Char('.')) >= 3);
    FUZZ_CHECK(port >= -1 * 256 - 1 && port <= 65536 * 256 + 65536);

    const QString path = ParseQuotedPath(text);
    FUZZ_CHECK(path.size() <= text.size());
}

void FuzzDigestReply(const uint8_t* data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (DigestAlgorithm algorithm : {DigestAlgorithm::Sha256, DigestAlgorithm::Sha1, DigestAlgorithm::Md5,
                                      DigestAlgorithm::Crc32}) {
        const qsizetype length = StreamDigest(algorithm).HexDigest().size();
        for (const QByteArray& digest : {ParseHashReply(text, algorithm), ParseXDigestReply(text, algorithm)}) {
            // Nothing, or a digest as the local side writes it: the algorithm's length, lower case.
            FUZZ_CHECK(digest.isEmpty() || digest.size() == length);
            for (char c : digest)
                FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'));
        }
        if (!ParseHashReply(text, algorithm).isEmpty())
            FUZZ_CHECK(text.startsWith(QLatin1String("213 ")));
    }
    const QList<DigestQuery> queries = DigestQueries(text.split(QLatin1Char('\n')));
    // At most one HASH (the first) and one of each X command.
    FUZZ_CHECK(queries.size() <= 5);
    for (qsizetype i = 1; i < queries.size(); ++i)
        FUZZ_CHECK(queries[i].verb != QLatin1String("HASH") && !queries[i].select);
}
