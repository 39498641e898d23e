#include "engine/transfer_digest.h"

#include <openssl/evp.h>

#include <fcntl.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <vector>

namespace {

struct Known {
    DigestAlgorithm algorithm;
    const char* name;     // HASH's name
    const char* xVerb;    // the older command
    qsizetype hexLength;  // digits of the digest
};

// Strongest first: the order in which a server's offers are taken.
constexpr std::array<Known, 4> Algorithms{{
    {DigestAlgorithm::Sha256, "SHA-256", "XSHA256", 64},
    {DigestAlgorithm::Sha1, "SHA-1", "XSHA1", 40},
    {DigestAlgorithm::Md5, "MD5", "XMD5", 32},
    {DigestAlgorithm::Crc32, "CRC32", "XCRC", 8},
}};

const Known& Info(DigestAlgorithm algorithm)
{
    for (const Known& known : Algorithms)
        if (known.algorithm == algorithm)
            return known;
    return Algorithms[0];
}

bool IsHex(QStringView text)
{
    for (QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F')))
            return false;
    return !text.isEmpty();
}

// The first line of a reply without its line end.
QStringView FirstLine(const QString& reply)
{
    QStringView line(reply);
    const qsizetype end = line.indexOf(u'\n');
    if (end >= 0)
        line = line.first(end);
    if (line.endsWith(u'\r'))
        line.chop(1);
    return line;
}

// The reply's code when its first line starts with three digits and a blank; else 0.
int LeadingCode(QStringView line)
{
    if (line.size() < 4 || line.at(3) != u' ')
        return 0;
    int code = 0;
    for (int i = 0; i < 3; ++i) {
        if (line.at(i) < u'0' || line.at(i) > u'9')
            return 0;
        code = code * 10 + (line.at(i).unicode() - u'0');
    }
    return code;
}

QList<QStringView> Words(QStringView line)
{
    QList<QStringView> words;
    for (QStringView word : line.tokenize(u' ', Qt::SkipEmptyParts))
        words << word;
    return words;
}

std::array<quint32, 256> MakeCrcTable()
{
    std::array<quint32, 256> table{};
    for (quint32 i = 0; i < 256; ++i) {
        quint32 c = i;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[i] = c;
    }
    return table;
}

}  // namespace

QString DigestName(DigestAlgorithm algorithm)
{
    return QLatin1String(Info(algorithm).name);
}

QList<DigestQuery> DigestQueries(const QStringList& features)
{
    QList<DigestQuery> queries;
    for (const QString& feature : features) {
        if (!queries.isEmpty())
            break;  // one HASH line counts
        if (feature.section(u' ', 0, 0).compare(QLatin1String("HASH"), Qt::CaseInsensitive) != 0)
            continue;
        const QStringList offered = feature.section(u' ', 1).split(u';', Qt::SkipEmptyParts);
        for (const Known& known : Algorithms) {
            if (known.algorithm == DigestAlgorithm::Crc32)
                continue;  // HASH's CRC32 is no check worth choosing over an X command's SHA
            for (const QString& entry : offered) {
                const QString name = entry.trimmed();
                const bool current = name.endsWith(u'*');
                if ((current ? name.chopped(1) : name).compare(QLatin1String(known.name), Qt::CaseInsensitive) == 0) {
                    queries << DigestQuery{known.algorithm, QStringLiteral("HASH"), !current};
                    break;
                }
            }
            if (!queries.isEmpty())
                break;
        }
    }
    for (const Known& known : Algorithms) {
        for (const QString& feature : features) {
            if (feature.section(u' ', 0, 0).compare(QLatin1String(known.xVerb), Qt::CaseInsensitive) == 0) {
                queries << DigestQuery{known.algorithm, QLatin1String(known.xVerb), false};
                break;
            }
        }
    }
    return queries;
}

QByteArray ParseHashReply(const QString& reply, DigestAlgorithm algorithm)
{
    const QStringView line = FirstLine(reply);
    if (LeadingCode(line) != 213)
        return {};
    // The name may hold blanks: only the words before it are read.
    const QList<QStringView> words = Words(line.mid(4));
    if (words.size() < 3 || words[0].compare(QLatin1String(Info(algorithm).name), Qt::CaseInsensitive) != 0)
        return {};
    const qsizetype dash = words[1].indexOf(u'-');
    bool startOk = false;
    const qint64 start = dash > 0 ? words[1].first(dash).toLongLong(&startOk) : -1;
    if (!startOk || start != 0)
        return {};
    if (words[2].size() != Info(algorithm).hexLength || !IsHex(words[2]))
        return {};
    return words[2].toLatin1().toLower();
}

QByteArray ParseXDigestReply(const QString& reply, DigestAlgorithm algorithm)
{
    const QStringView line = FirstLine(reply);
    const int code = LeadingCode(line);
    if (code != 250 && code != 213)
        return {};
    const qsizetype length = Info(algorithm).hexLength;
    const bool crc = algorithm == DigestAlgorithm::Crc32;
    for (QStringView word : Words(line.mid(4))) {
        if (!IsHex(word) || word.size() > length || (!crc && word.size() != length))
            continue;
        return QByteArray(length - word.size(), '0') + word.toLatin1().toLower();
    }
    return {};
}

struct StreamDigest::Private {
    EVP_MD_CTX* context = nullptr;
    quint32 crc = 0xFFFFFFFFu;
    bool usable = true;
    bool finished = false;
};

StreamDigest::StreamDigest(DigestAlgorithm algorithm) : algorithm(algorithm), d(std::make_unique<Private>())
{
    const EVP_MD* md = nullptr;
    switch (algorithm) {
    case DigestAlgorithm::Sha256:
        md = EVP_sha256();
        break;
    case DigestAlgorithm::Sha1:
        md = EVP_sha1();
        break;
    case DigestAlgorithm::Md5:
        md = EVP_md5();
        break;
    case DigestAlgorithm::Crc32:
        return;
    }
    // A provider may refuse an algorithm (MD5 under FIPS): the transfer then goes unchecked.
    d->context = EVP_MD_CTX_new();
    d->usable = d->context && md && EVP_DigestInit_ex(d->context, md, nullptr) == 1;
}

StreamDigest::~StreamDigest()
{
    EVP_MD_CTX_free(d->context);
}

bool StreamDigest::IsUsable() const { return d->usable && !d->finished; }

void StreamDigest::Update(const char* data, qsizetype size)
{
    if (!IsUsable() || size <= 0)
        return;
    if (algorithm == DigestAlgorithm::Crc32) {
        static const std::array<quint32, 256> Table = MakeCrcTable();
        quint32 crc = d->crc;
        for (qsizetype i = 0; i < size; ++i)
            crc = Table[(crc ^ quint8(data[i])) & 0xFF] ^ (crc >> 8);
        d->crc = crc;
        return;
    }
    d->usable = EVP_DigestUpdate(d->context, data, size_t(size)) == 1;
}

void StreamDigest::UpdateFromFile(int fd, qint64 length)
{
    std::vector<char> buffer(256 * 1024);
    for (qint64 at = 0; at < length && IsUsable();) {
        const ssize_t n = ::pread(fd, buffer.data(), size_t(qMin<qint64>(length - at, qint64(buffer.size()))), at);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            d->usable = false;  // shorter than it was a moment ago, or unreadable
            return;
        }
        Update(buffer.data(), n);
        at += n;
    }
}

void StreamDigest::UpdateFromFile(const QByteArray& path, qint64 length)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0) {
        d->usable = false;
        return;
    }
    UpdateFromFile(fd, length);
    ::close(fd);
}

QByteArray StreamDigest::HexDigest()
{
    if (!IsUsable())
        return {};
    d->finished = true;
    if (algorithm == DigestAlgorithm::Crc32) {
        const quint32 crc = d->crc ^ 0xFFFFFFFFu;
        return QByteArray::number(crc, 16).rightJustified(8, '0');
    }
    unsigned char value[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(d->context, value, &size) != 1)
        return {};
    return QByteArray(reinterpret_cast<const char*>(value), int(size)).toHex();
}

void DigestCheck::Reset(const QStringList& features)
{
    queries = DigestQueries(features);
    selected = false;
}

std::optional<DigestAlgorithm> DigestCheck::Prepare(const Ask& ask)
{
    while (!queries.isEmpty()) {
        const DigestQuery& query = queries.first();
        if (!query.select || selected)
            return query.algorithm;
        int code = 0;
        QString text;
        if (!ask(QStringLiteral("OPTS HASH ") + DigestName(query.algorithm), code, text))
            return std::nullopt;
        if (code >= 200 && code <= 299) {
            selected = true;
            return query.algorithm;
        }
        queries.removeFirst();  // the server would answer with another algorithm
    }
    return std::nullopt;
}

DigestCheck::Result DigestCheck::Check(const QString& path, StreamDigest& local, const Ask& ask)
{
    if (queries.isEmpty() || queries.first().algorithm != local.Algorithm() ||
        (queries.first().select && !selected))
        return Result::Unchecked;
    const QByteArray mine = local.HexDigest();
    if (mine.isEmpty())
        return Result::Unchecked;
    const DigestQuery query = queries.first();
    int code = 0;
    QString text;
    if (!ask(query.verb + u' ' + path, code, text))
        return Result::Unchecked;
    if (code == 500 || code == 502 || code == 504) {
        // Listed but not understood: the next transfer asks the next way, and nothing else is
        // spent on this one.
        queries.removeFirst();
        selected = false;
        return Result::Unchecked;
    }
    const QByteArray theirs = query.verb == QLatin1String("HASH") ? ParseHashReply(text, query.algorithm)
                                                                  : ParseXDigestReply(text, query.algorithm);
    if (theirs.isEmpty())
        return Result::Unchecked;
    return theirs == mine ? Result::Matched : Result::Differs;
}
