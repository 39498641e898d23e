#include "engine/local_name.h"

#include "engine/wire_codec.h"

#include <sys/stat.h>

namespace {
WireCodec& Utf8()
{
    // A codec holds conversion state: one per thread.
    thread_local WireCodec codec(QByteArrayLiteral("UTF-8"));
    return codec;
}
}  // namespace

QByteArray LocalPathBytes(const QString& path)
{
    if (path.contains(QChar(0)))
        return {};
    std::optional<QByteArray> bytes = Utf8().Encode(path);
    // Escaped bytes that happen to spell UTF-8 together would read back as a different name,
    // which another server name may own.
    if (!bytes || Utf8().Decode(*bytes) != path)
        return {};
    return *bytes;
}

QString LocalPathText(QByteArrayView bytes) { return Utf8().Decode(bytes); }

LocalFileInfo::LocalFileInfo(const QString& path)
{
    const QByteArray native = LocalPathBytes(path);
    if (native.isEmpty())
        return;
    struct stat info {};
    link = ::lstat(native.constData(), &info) == 0 && S_ISLNK(info.st_mode);
    if (::stat(native.constData(), &info) != 0)
        return;
    found = true;
    file = S_ISREG(info.st_mode);
    folder = S_ISDIR(info.st_mode);
    bytes = qint64(info.st_size);
    modified = QDateTime::fromMSecsSinceEpoch(qint64(info.st_mtim.tv_sec) * 1000 + info.st_mtim.tv_nsec / 1000000,
                                              Qt::UTC);
}

bool MakeLocalFolder(const QString& path)
{
    const QByteArray native = LocalPathBytes(path);
    return !native.isEmpty() && ::mkdir(native.constData(), 0777) == 0;
}
