#include "engine/transfer_files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

DownloadVerdict JudgeDownload(bool binary, bool endedInOrder, qint64 received, qint64 expected)
{
    if (binary && expected > 0 && received != expected)
        return DownloadVerdict::SizeMismatch;
    if (!endedInOrder && received != qMax<qint64>(expected, 0))
        return DownloadVerdict::CutShort;
    return DownloadVerdict::Whole;
}

QString PutInPlace(const QByteArray& partial, const QByteArray& target, bool replacing)
{
    if (::rename(partial.constData(), target.constData()) != 0)
        return QString::fromLocal8Bit(std::strerror(errno));
    if (replacing) {
        const qsizetype slash = target.lastIndexOf('/');
        const QByteArray folder = slash < 0 ? QByteArrayLiteral(".") : slash == 0 ? QByteArrayLiteral("/")
                                                                                  : target.left(slash);
        // The data is in place either way; a folder that takes no sync (some shares) only loses
        // the guarantee.
        const int fd = ::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd >= 0) {
            ::fsync(fd);
            ::close(fd);
        }
    }
    return {};
}

bool SyncFile(const QByteArray& path)
{
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd < 0)
        return false;
    const bool synced = ::fsync(fd) == 0;
    return ::close(fd) == 0 && synced;
}

int OpenForUpload(const QByteArray& path)
{
    if (path.isEmpty()) {
        errno = ENOENT;
        return -1;
    }
    const int fd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    if (fd < 0)
        return -1;
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        errno = EINVAL;
        return -1;
    }
    // Reads of a regular file never wait anyway; the flag only kept open() from waiting.
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}
