#include "transfer/local_tree.h"

#include "engine/local_name.h"
#include "transfer/byte_sums.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

using FolderId = std::pair<dev_t, ino_t>;

// Opens a folder entry below the parent descriptor without following a link.
int OpenFolderAt(int parentFd, const char* name)
{
    return ::openat(parentFd, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// Calls visit(parentFd, name, info) for each entry of the open folder; the folder descriptor is
// taken over and closed. False when the folder could not be read.
template <typename Visit>
bool ForEachEntry(int folderFd, Visit&& visit)
{
    DIR* dir = ::fdopendir(folderFd);
    if (!dir) {
        ::close(folderFd);
        return false;
    }
    bool ok = true;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0)
            continue;
        struct stat info {};
        if (::fstatat(::dirfd(dir), entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0) {
            ok = false;
            continue;
        }
        if (!visit(::dirfd(dir), entry->d_name, info))
            ok = false;
        errno = 0;
    }
    if (errno != 0)
        ok = false;
    ::closedir(dir);
    return ok;
}

void ListIn(int folderFd, const QString& prefix, dev_t device, std::set<FolderId>& path,
            LocalTreeListing& listing)
{
    const bool read = ForEachEntry(folderFd, [&](int parentFd, const char* name, const struct stat& info) {
        const QString relative = prefix + LocalPathText(name);
        if (S_ISREG(info.st_mode)) {
            listing.files.append({relative, qint64(info.st_size)});
            listing.bytes = AddBytes(listing.bytes, qint64(info.st_size));
            return true;
        }
        if (!S_ISDIR(info.st_mode)) {
            ++listing.others;
            return true;
        }
        const FolderId id{info.st_dev, info.st_ino};
        if (info.st_dev != device || path.count(id))
            return false;
        const int childFd = OpenFolderAt(parentFd, name);
        if (childFd < 0)
            return false;
        listing.folders.append(relative);
        path.insert(id);
        ListIn(childFd, relative + u'/', device, path, listing);
        path.erase(id);
        return true;
    });
    if (!read)
        listing.complete = false;
}

QString Why(const QString& path, int error)
{
    return QStringLiteral("%1: %2").arg(path, QString::fromLocal8Bit(std::strerror(error)));
}

// Empties the open folder (taken over); shown is its path for messages.
bool EmptyFolder(int folderFd, const QString& shown, dev_t device, std::set<FolderId>& path,
                 QString& failure)
{
    const auto fail = [&failure](const QString& where, int error) {
        if (failure.isEmpty())
            failure = Why(where, error);
        return false;
    };
    const bool read = ForEachEntry(folderFd, [&](int parentFd, const char* name, const struct stat& info) {
        const QString where = shown + u'/' + LocalPathText(name);
        if (S_ISDIR(info.st_mode)) {
            const FolderId id{info.st_dev, info.st_ino};
            if (info.st_dev != device)
                return fail(where, EXDEV);
            if (path.count(id))
                return fail(where, ELOOP);
            const int childFd = OpenFolderAt(parentFd, name);
            if (childFd < 0)
                return fail(where, errno);
            path.insert(id);
            const bool emptied = EmptyFolder(childFd, where, device, path, failure);
            path.erase(id);
            if (!emptied)
                return false;
            if (::unlinkat(parentFd, name, AT_REMOVEDIR) != 0)
                return fail(where, errno);
            return true;
        }
        // A link goes as a link: what it points to is not touched.
        if (::unlinkat(parentFd, name, 0) != 0)
            return fail(where, errno);
        return true;
    });
    if (!read && failure.isEmpty())
        failure = Why(shown, errno ? errno : EIO);
    return read;
}

// Opens the walk's own folder, which must be a folder and not a link to one elsewhere; -1 (errno
// set) when it cannot be.
int OpenTop(const QByteArray& native, struct stat& info)
{
    const int fd = ::open(native.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && ::fstat(fd, &info) != 0) {
        const int error = errno;
        ::close(fd);
        errno = error;
        return -1;
    }
    return fd;
}

}  // namespace

bool RemoveLocalTree(const QString& folder, QString& failure)
{
    failure.clear();
    const QByteArray native = LocalPathBytes(folder);
    struct stat info {};
    const int fd = OpenTop(native, info);
    if (fd < 0) {
        failure = Why(folder, errno);
        return false;
    }
    std::set<FolderId> path{{info.st_dev, info.st_ino}};
    if (!EmptyFolder(fd, folder, info.st_dev, path, failure))
        return false;
    if (::rmdir(native.constData()) != 0) {
        failure = Why(folder, errno);
        return false;
    }
    return true;
}

LocalTreeListing ListLocalTree(const QString& folder)
{
    LocalTreeListing listing;
    struct stat info {};
    const int fd = OpenTop(LocalPathBytes(folder), info);
    if (fd < 0) {
        listing.complete = false;
        return listing;
    }
    std::set<FolderId> path{{info.st_dev, info.st_ino}};
    ListIn(fd, QString(), info.st_dev, path, listing);
    return listing;
}
