#include "transfer/partial_files.h"

#include "transfer/local_files.h"
#include "engine/local_name.h"

#include <sys/stat.h>

#include <cerrno>

namespace {

// The partial file's identity, or nothing when there is no regular file (a link is none).
std::optional<struct stat> RegularFile(const QString& path)
{
    const QByteArray native = LocalPathBytes(path);
    struct stat info;
    if (native.isEmpty() || ::lstat(native.constData(), &info) != 0 || !S_ISREG(info.st_mode))
        return std::nullopt;
    return info;
}

bool Taken(const QString& path)
{
    const QByteArray native = LocalPathBytes(path);
    struct stat info;
    return native.isEmpty() || ::lstat(native.constData(), &info) == 0 || errno != ENOENT;
}

// "NAME.part", or where something has that name already, "NAME.1.part", "NAME.2.part" ...
QString FreePartialPath(const QString& target)
{
    QString candidate = PartialPath(target);
    for (int n = 1; Taken(candidate) && n < 1000; ++n)
        candidate = PartialPath(target + u'.' + QString::number(n));
    return candidate;
}

}  // namespace

PartialFile::PartialFile(const QString& target) : target(target)
{
    record = PartialRecords::Find(target);
    if (record) {
        const std::optional<struct stat> info = RegularFile(record->partial);
        if (!info || quint64(info->st_dev) != record->device || quint64(info->st_ino) != record->inode) {
            PartialRecords::Forget(target);
            record.reset();
        }
    }
    path = record ? record->partial : FreePartialPath(target);
}

bool PartialFile::Resumable(const QString& server, const QString& remotePath, qint64 remoteSize,
                            const QDateTime& remoteTime) const
{
    if (!record || !record->SameRemoteFile(server, remotePath, remoteSize, remoteTime))
        return false;
    const std::optional<struct stat> info = RegularFile(path);
    return info && info->st_size > 0 && (remoteSize < 0 || info->st_size < remoteSize);
}

void PartialFile::Settle(const QString& server, const QString& remotePath, qint64 remoteSize,
                         const QDateTime& remoteTime)
{
    const std::optional<struct stat> info = RegularFile(path);
    if (!info || info->st_size == 0) {
        if (record)
            PartialRecords::Forget(target);
        record.reset();
        return;
    }
    PartialRecord kept;
    kept.target = target;
    kept.partial = path;
    kept.server = server;
    kept.remotePath = remotePath;
    kept.remoteSize = remoteSize;
    kept.remoteTime = remoteTime;
    kept.device = quint64(info->st_dev);
    kept.inode = quint64(info->st_ino);
    PartialRecords::Store(kept);
    record = kept;
}
