// The transfers of an FtpSession: listings, downloads and uploads, and the digest that checks
// them. Their data connections come from the data connector (engine/data_connector.cpp).

#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/data_stream.h"
#include "engine/local_name.h"
#include "engine/transfer_digest.h"
#include "engine/transfer_files.h"
#include "engine/wire_codec.h"

#include <QCryptographicHash>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace {

// The partial file of a download to target: "NAME.part" beside it. Where that would be longer
// than a file name may be, the name is cut (at a character boundary) and a digest of the whole
// name added, so that two long names alike at the start never share one. Empty without a name.
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
    if (partial.isEmpty())
        return -1;
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

}  // namespace

// ---------------------------------------------------------------------------------------------
// Transfers

FtpSession::DigestScope FtpSession::StartDigest()
{
    d->lastVerification.clear();
    // Text mode changes line ends on the way, so neither side's digest is the other's.
    if (d->verifyTransfers && !d->TextMode()) {
        const std::optional<DigestAlgorithm> algorithm = d->digestCheck.Prepare(DigestAsker());
        if (algorithm)
            d->digest = std::make_unique<StreamDigest>(*algorithm);
    }
    return DigestScope{*this};
}

std::function<bool(const QString&, int&, QString&)> FtpSession::DigestAsker()
{
    return [this](const QString& command, int& code, QString& text) {
        if (!SendCommand(command) || !ReadReply())
            return false;
        code = d->replyCode;
        text = d->replyText;
        return true;
    };
}

FtpSession::DigestScope::~DigestScope() { session.d->digest.reset(); }

bool FtpSession::DigestDiffers(const QString& remote)
{
    if (!d->digest || d->cancel.IsRaised())
        return false;
    const int finalCode = d->replyCode;
    const QString finalText = d->replyText;
    const DigestCheck::Result result = d->digestCheck.Check(remote, *d->digest, DigestAsker());
    if (result == DigestCheck::Result::Differs)
        return true;
    if (result == DigestCheck::Result::Matched)
        d->lastVerification = DigestName(d->digest->Algorithm());
    d->replyCode = finalCode;
    d->replyText = finalText;
    return false;
}

bool FtpSession::Outcome(bool ok)
{
    if (!ok && d->cancel.IsRaised())
        EndCancelled();
    return ok;
}

bool FtpSession::GetFileList(const QString& /*path*/, QString& out)
{
    d->lastListingCut = false;
    if (CancelPending())
        return Outcome(false);
    // A machine listing where the server offers one (names, sizes and times without guessing);
    // otherwise long listings of every entry, hidden ones included. Some servers take no options
    // and refuse "-aL" with 5xx; plain LIST then gives the same long format.
    auto refused = [this](Opening opening) {
        return opening == Opening::Refused && d->replyCode >= 500 && d->replyCode <= 599;
    };
    std::unique_ptr<DataStream> data;
    Opening opening = Opening::Refused;
    d->lastListingMachine = HasFeature(QStringLiteral("MLST"));
    if (d->lastListingMachine) {
        opening = OpenTransfer(QStringLiteral("MLSD"), data);
        d->lastListingMachine = !refused(opening);
    }
    if (!d->lastListingMachine) {
        opening = OpenTransfer(QStringLiteral("LIST -aL"), data);
        if (refused(opening))
            opening = OpenTransfer(QStringLiteral("LIST"), data);
    }
    if (opening == Opening::SetupFailed)
        return Outcome(false);
    out.clear();
    if (opening != Opening::Open)
        return Outcome(false);

    // Gathered whole and decoded once: a character split between two reads stays whole.
    QByteArray raw;
    const DataEnd end = data->ReceiveAll(raw, d->listingLimit);
    if (end == DataEnd::Cancelled) {
        AbortTransfer(data.get());
        return Outcome(false);
    }
    if (end == DataEnd::Cut)
        return Outcome(KeepCutListing(*data, raw, out));
    // A listing has no size to vouch for it: over TLS only close_notify says it is whole.
    const bool whole = end == DataEnd::Clean && data->EndedInOrder();
    if (!whole)
        raw.clear();
    out = d->codec->Decode(raw);
    const bool ok = FinishTransfer(*data, whole);
    if (end == DataEnd::Clean && !whole && (d->replyCode == 226 || d->replyCode == 250))
        d->replyCode = LocalStatus::DataCutShort;
    return Outcome(ok);
}

bool FtpSession::KeepCutListing(DataStream& data, QByteArray& raw, QString& out)
{
    // A listing past the limit would only fill the memory: the server is stopped, and the lines
    // that came whole are kept (a line cut off could be read with a wrong name or size). A line
    // feed never stands inside a character of the character sets a listing comes in.
    AbortTransfer(&data);
    raw.truncate(raw.lastIndexOf('\n') + 1);
    out = d->codec->Decode(raw);
    d->lastListingCut = true;
    return !d->cancel.IsRaised();
}

bool FtpSession::RetrieveFile(const QString& remote, const QString& local, bool resume)
{
    const QByteArray chosenPartial = std::exchange(d->partialFile, QByteArray());
    d->transferAnswered = false;
    d->lastReceived = 0;
    if (CancelPending())
        return Outcome(false);
    const QByteArray target = LocalPathBytes(local);
    const QByteArray partial = chosenPartial.isEmpty() ? PartialName(target) : chosenPartial;
    // A name no local file can have fails before anything is asked of the server.
    if (target.isEmpty() || partial.isEmpty()) {
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }

    // The download goes into the partial file beside the target, which replaces the target only
    // when the whole file arrived: a failed or cancelled download leaves the old file as it was.
    Restart restart;
    struct stat before;
    if (resume && CanResume() && ::lstat(partial.constData(), &before) == 0 &&
        S_ISREG(before.st_mode))
        restart.offset = before.st_size;
    const DigestScope digest = StartDigest();
    std::unique_ptr<DataStream> data;
    if (OpenTransfer(QStringLiteral("RETR ") + remote, data, &restart) != Opening::Open)
        return Outcome(false);
    const qint64 start = restart.accepted ? restart.offset : 0;
    const int fileFd = OpenPartial(partial, start);
    if (fileFd < 0) {
        FinishTransfer(*data, false);  // still read the final reply, so the next one stays in step
        d->replyCode = LocalStatus::DataOpenFailed;
        return Outcome(false);
    }
    // The digest covers the whole file: what an earlier download kept is read once here.
    if (d->digest && start > 0)
        d->digest->UpdateFromFile(partial, start);

    d->progressBase = start;
    d->moved = 0;
    const DataEnd end = data->ReceiveToFile(fileFd, d->TextMode());
    d->progressBase = 0;
    d->lastReceived = start + d->moved;
    struct stat written;
    const qint64 size = ::fstat(fileFd, &written) == 0 ? written.st_size : -1;
    // What arrived is kept for a resume where one can follow: binary data after a failure of
    // the network or the server (a disk that failed may have kept less than it took).
    auto keepOrDrop = [&](bool localFailed) {
        if (localFailed || d->TextMode() || size <= 0)
            ::unlink(partial.constData());
    };
    if (end == DataEnd::Cancelled) {
        ::close(fileFd);
        keepOrDrop(false);
        AbortTransfer(data.get());
        return Outcome(false);
    }
    // Whether the data is the server's whole file: its size where the server gave one, and over
    // TLS an end announced with close_notify (anyone on the path can end the TCP connection).
    DownloadVerdict verdict =
        end == DataEnd::Clean ? JudgeDownload(!d->TextMode(), data->EndedInOrder(), d->lastReceived, d->transferSize)
                              : DownloadVerdict::Whole;
    const bool whole = end == DataEnd::Clean && verdict == DownloadVerdict::Whole;
    // A file that is replaced passes its permission bits on (never set-id bits to new content);
    // a new one keeps the mode the partial file was made with (the umask applied). The mode is a
    // courtesy: file systems without Unix modes (FAT on a memory stick, many network shares)
    // refuse it, and the data is whole all the same.
    struct stat old;
    const bool replacing = ::lstat(target.constData(), &old) == 0;
    if (replacing && S_ISREG(old.st_mode))
        ::fchmod(fileFd, old.st_mode & 0777);
    bool localOk = end != DataEnd::LocalFailed;
    // On the disk before it replaces a file: after a crash the old file is either intact or the
    // whole new one. A new name is not synced: a crash can leave it short, as any copy made
    // without a sync, but nothing the user had is lost, and a sync per file would cost most of
    // the time of a folder of small files.
    if (replacing && whole && ::fsync(fileFd) != 0)
        localOk = false;
    localOk = (::close(fileFd) == 0) && localOk;

    bool ok = FinishTransfer(*data, end == DataEnd::Clean && localOk);
    // A cancel that came with the last bytes still leaves the target as it was.
    if (ok && d->cancel.IsRaised())
        ok = false;
    // The size expected may be a listing's from before the file grew (a log): where the data
    // did not come to it, the server's size now decides, asked once after the final reply.
    if (ok && verdict != DownloadVerdict::Whole && !d->TextMode() && ServerSizeIs(remote, d->lastReceived)) {
        verdict = DownloadVerdict::Whole;
        // On the disk before it replaces a file, as a download whole from the start is. Kept
        // where the sync fails: the data is whole, a resume finds nothing more to fetch.
        if (replacing && !SyncFile(partial)) {
            d->replyCode = LocalStatus::DataOpenFailed;
            return Outcome(false);
        }
    }
    if (ok && verdict != DownloadVerdict::Whole) {
        // Binary data from the file's start is kept even where it is longer than the size
        // expected: that size may be older than the file, and the partial file's record keeps a
        // longer one from a resume. A resumed one that came out longer began on another file.
        if (d->TextMode() || (start > 0 && d->transferSize > 0 && d->lastReceived > d->transferSize))
            ::unlink(partial.constData());
        d->replyCode = verdict == DownloadVerdict::SizeMismatch ? LocalStatus::SizeMismatch
                                                                : LocalStatus::DataCutShort;
        return Outcome(false);
    }
    // Bytes that are not the server's file are not worth keeping for a resume either.
    if (ok && DigestDiffers(remote)) {
        ::unlink(partial.constData());
        d->replyCode = LocalStatus::DownloadDiffers;
        return Outcome(false);
    }
    if (ok) {
        const QString why = PutInPlace(partial, target, replacing);
        if (!why.isEmpty()) {
            // The data is whole: it stays for a resume (which finds nothing more to fetch).
            d->replyCode = LocalStatus::TargetNotReplaced;
            d->replyText = why;
            return Outcome(false);
        }
        return Outcome(true);
    }
    keepOrDrop(!localOk);
    if (!localOk)
        d->replyCode = LocalStatus::DataOpenFailed;
    return Outcome(false);
}

bool FtpSession::ServerSizeIs(const QString& remote, qint64 size)
{
    const int finalCode = d->replyCode;
    const QString finalText = d->replyText;
    const qint64 now = RemoteFileSize(remote);
    d->replyCode = finalCode;  // the transfer's own reply stays the one to show
    d->replyText = finalText;
    return now >= 0 && now == size;
}

bool FtpSession::StoreFile(const QString& local, const QString& remote, qint64 resumeAt)
{
    d->transferAnswered = false;
    if (CancelPending())
        return Outcome(false);
    // The local file is opened before anything is asked of the server, so a file that cannot
    // be read never leaves an empty file on the server.
    const int fileFd = OpenForUpload(LocalPathBytes(local));
    struct stat info;
    if (fileFd < 0 || ::fstat(fileFd, &info) != 0) {
        if (fileFd >= 0)
            ::close(fileFd);
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }
    // A resumed upload sends the rest from the server's size on: REST and STOR, or APPE (which
    // appends at the server's end, the same offset) where REST is refused.
    const DigestScope digest = StartDigest();
    Restart restart;
    if (resumeAt > 0 && resumeAt < info.st_size && CanResume()) {
        restart.offset = resumeAt;
        restart.commandIfRefused = QStringLiteral("APPE ") + remote;
        if (d->digest)
            d->digest->UpdateFromFile(fileFd, resumeAt);  // the server's copy starts with it
        if (::lseek(fileFd, resumeAt, SEEK_SET) != resumeAt) {
            ::close(fileFd);
            d->replyCode = LocalStatus::DataOpenFailed;
            return false;
        }
    }

    std::unique_ptr<DataStream> data;
    if (OpenTransfer(QStringLiteral("STOR ") + remote, data, &restart) != Opening::Open) {
        ::close(fileFd);
        return Outcome(false);
    }
    d->progressBase = restart.offset;
    const DataEnd end = data->SendFromFile(fileFd, d->TextMode());
    d->progressBase = 0;
    ::close(fileFd);
    if (end == DataEnd::Cancelled) {
        AbortTransfer(data.get());  // resets the data connection: the server sees a broken upload
        return Outcome(false);
    }
    if (end != DataEnd::Clean)
        data->Abort();  // a reset, not an end of file, so the server does not keep half a file
    bool ok = FinishTransfer(*data, end == DataEnd::Clean);
    if (end == DataEnd::LocalFailed)
        d->replyCode = LocalStatus::DataOpenFailed;
    if (ok && restart.offset > 0 && !d->cancel.IsRaised()) {
        const int finalCode = d->replyCode;
        const QString finalText = d->replyText;
        const qint64 stored = RemoteFileSize(remote);
        if (stored >= 0 && stored != info.st_size) {
            d->replyCode = LocalStatus::SizeMismatch;
            ok = false;
        } else {
            d->replyCode = finalCode;  // the transfer's own reply stays the one to show
            d->replyText = finalText;
        }
    }
    if (ok && DigestDiffers(remote)) {
        d->replyCode = LocalStatus::UploadDiffers;
        ok = false;
    }
    return Outcome(ok);
}

bool FtpSession::CanResume() const
{
    if (d->TextMode())
        return false;
    for (const QString& feature : d->features) {
        if (feature.simplified().compare(QLatin1String("REST STREAM"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QString FtpSession::PartialPath(const QString& local)
{
    return LocalPathText(PartialName(LocalPathBytes(local)));
}

void FtpSession::SetPartialFile(const QString& partial) { d->partialFile = LocalPathBytes(partial); }
qint64 FtpSession::LastReceivedSize() const { return d->lastReceived; }
bool FtpSession::LastTransferAnswered() const { return d->transferAnswered; }
