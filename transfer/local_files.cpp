#include "transfer/local_files.h"

#include "engine/download_sink.h"
#include "engine/ftp_session.h"
#include "engine/local_name.h"
#include "engine/transfer_digest.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// The partial file of a download to target: "NAME.part" beside it (see PartialPath).
QByteArray PartialName(const QByteArray& target)
{
    constexpr qsizetype MaxName = 255;
    static const QByteArray Suffix = QByteArrayLiteral(".part");
    const qsizetype slash = target.lastIndexOf('/');
    QByteArray name = target.mid(slash + 1);
    if (name.isEmpty())
        return {};
    if (name.size() + Suffix.size() > MaxName) {
        const QByteArray digest =
            '~' + QCryptographicHash::hash(name, QCryptographicHash::Sha256).toHex().left(16);
        qsizetype cut = MaxName - Suffix.size() - digest.size();
        while (cut > 0 && (quint8(name.at(cut)) & 0xC0) == 0x80)
            --cut;  // not inside a UTF-8 sequence
        name = name.left(cut) + digest;
    }
    return target.left(slash + 1) + name + Suffix;
}

// Opens a download's partial file for writing at start (what was kept before goes on from there;
// 0 starts over); -1 when it cannot be, or is not a plain file, or is shorter than start.
int OpenPartial(const QByteArray& partial, qint64 start)
{
    // No link is followed, and nothing waits for a reader at a pipe with that name.
    const int fd = ::open(partial.constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0666);
    if (fd < 0)
        return -1;
    struct stat info;
    const bool usable = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size >= start &&
                        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK) == 0 &&
                        ::ftruncate(fd, start) == 0 && ::lseek(fd, start, SEEK_SET) == start;
    if (!usable) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A download into the partial file beside the target, which takes the target's place only when
// the session found the data whole.
class PartialFileSink final : public DownloadSink {
public:
    PartialFileSink(const FtpSession& session, QByteArray partial, QByteArray target)
        : session(session), partial(std::move(partial)), target(std::move(target))
    {
    }
    ~PartialFileSink() override { CloseFile(); }
    PartialFileSink(const PartialFileSink&) = delete;
    PartialFileSink& operator=(const PartialFileSink&) = delete;

    int Open(qint64 from, StreamDigest* digest) override
    {
        start = from;
        fd = OpenPartial(partial, start);
        // The digest covers the whole file: what an earlier download kept is read once here.
        if (fd >= 0 && digest && start > 0)
            digest->UpdateFromFile(partial, start);
        return fd;
    }

    bool Close(bool whole) override
    {
        size = SizeNow();
        // A file that is replaced passes its permission bits on (never set-id bits to new
        // content); a new one keeps the mode the partial file was made with (the umask applied).
        // The mode is a courtesy: file systems without Unix modes (FAT on a memory stick, many
        // network shares) refuse it, and the data is whole all the same.
        struct stat old;
        replacing = ::lstat(target.constData(), &old) == 0;
        if (replacing && S_ISREG(old.st_mode))
            ::fchmod(fd, old.st_mode & 0777);
        // On the disk before it replaces a file: after a crash the old file is either intact or
        // the whole new one. A new name is not synced: a crash can leave it short, as any copy
        // made without a sync, but nothing the user had is lost, and a sync per file would cost
        // most of the time of a folder of small files.
        const bool synced = !(replacing && whole) || ::fsync(fd) == 0;
        return CloseFile() && synced;
    }

    // On the disk before it replaces a file, as a download whole from the start is. Kept where
    // the sync fails: the data is whole, a resume finds nothing more to fetch.
    bool Confirm() override { return !replacing || SyncFile(partial); }

    // Where the target cannot be replaced, the whole data stays for a resume (which finds
    // nothing more to fetch).
    QString Complete() override { return PutInPlace(partial, target, replacing); }

    void Stopped(DownloadStop why) override
    {
        switch (why) {
        case DownloadStop::Cancelled:
            size = SizeNow();
            CloseFile();
            KeepOrDrop(false);
            break;
        case DownloadStop::Failed:
            KeepOrDrop(false);
            break;
        case DownloadStop::LocalFailed:
            KeepOrDrop(true);
            break;
        case DownloadStop::NotWhole: {
            // Binary data from the file's start is kept even where it is longer than the size
            // expected: that size may be older than the file, and the partial file's record keeps
            // a longer one from a resume. A resumed one that came out longer began on another file.
            const qint64 expected = session.TransferSize();
            if (TextMode() || (start > 0 && expected > 0 && session.LastReceivedSize() > expected))
                Drop();
            break;
        }
        case DownloadStop::Differs:
            // Bytes that are not the server's file are not worth keeping for a resume either.
            Drop();
            break;
        }
    }

private:
    bool TextMode() const { return session.TypeCommand() == QLatin1String("TYPE A"); }
    qint64 SizeNow() const
    {
        struct stat written;
        return fd >= 0 && ::fstat(fd, &written) == 0 ? written.st_size : -1;
    }
    bool CloseFile()
    {
        const bool closed = fd < 0 || ::close(fd) == 0;
        fd = -1;
        return closed;
    }
    void Drop() { ::unlink(partial.constData()); }
    // What arrived is kept for a resume where one can follow: binary data after a failure of the
    // network or the server (a disk that failed may have kept less than it took).
    void KeepOrDrop(bool localFailed)
    {
        if (localFailed || TextMode() || size <= 0)
            Drop();
    }

    const FtpSession& session;
    const QByteArray partial;
    const QByteArray target;
    int fd = -1;
    qint64 start = 0;
    qint64 size = -1;
    bool replacing = false;
};

// A transfer that fails on the local side before the session is asked anything; a cancel raised
// already is what it reports then, as the session would.
bool FailLocally(FtpSession& session)
{
    if (session.IsCancelled()) {
        session.SetReplyCode(LocalStatus::Cancelled);
        session.SetReplyText(LocalStatus::CancelledText);
    } else {
        session.SetReplyCode(LocalStatus::DataOpenFailed);
    }
    return false;
}

}  // namespace

bool DownloadToFile(FtpSession& session, const QString& remote, const QString& local, bool resume,
                    const QString& partialChoice)
{
    const QByteArray target = LocalPathBytes(local);
    const QByteArray chosen = LocalPathBytes(partialChoice);
    const QByteArray partial = chosen.isEmpty() ? PartialName(target) : chosen;
    // A name no local file can have fails before anything is asked of the server.
    if (target.isEmpty() || partial.isEmpty())
        return FailLocally(session);
    // The download goes into the partial file beside the target, which replaces the target only
    // when the whole file arrived: a failed or cancelled download leaves the old file as it was.
    qint64 resumeFrom = 0;
    struct stat before;
    if (resume && session.CanResume() && ::lstat(partial.constData(), &before) == 0 && S_ISREG(before.st_mode))
        resumeFrom = before.st_size;
    PartialFileSink sink(session, partial, target);
    return session.RetrieveInto(remote, sink, resumeFrom);
}

bool UploadFromFile(FtpSession& session, const QString& local, const QString& remote, qint64 resumeAt)
{
    // The local file is opened before anything is asked of the server, so a file that cannot
    // be read never leaves an empty file on the server.
    int fd = OpenForUpload(LocalPathBytes(local));
    struct stat info;
    if (fd >= 0 && ::fstat(fd, &info) != 0) {
        ::close(fd);
        fd = -1;
    }
    const bool stored = session.StoreFrom(fd, fd >= 0 ? qint64(info.st_size) : 0, remote, resumeAt);
    if (fd >= 0)
        ::close(fd);
    return stored;
}

QString PartialPath(const QString& local)
{
    return LocalPathText(PartialName(LocalPathBytes(local)));
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
