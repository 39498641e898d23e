// The transfers of an FtpSession: listings, downloads and uploads, and the digest that checks
// them. Their data connections come from the data connector (engine/data_connector.cpp).

#include "engine/download_sink.h"
#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/data_stream.h"
#include "engine/transfer_digest.h"
#include "engine/download_sink.h"
#include "engine/download_verdict.h"
#include "engine/wire_codec.h"

#include <unistd.h>
#include <utility>


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

bool FtpSession::RetrieveInto(const QString& remote, DownloadSink& sink, qint64 resumeFrom)
{
    d->transferAnswered = false;
    d->lastReceived = 0;
    if (CancelPending())
        return Outcome(false);
    Restart restart;
    if (resumeFrom > 0 && CanResume())
        restart.offset = resumeFrom;
    const DigestScope digest = StartDigest();
    std::unique_ptr<DataStream> data;
    if (OpenTransfer(QStringLiteral("RETR ") + remote, data, &restart) != Opening::Open)
        return Outcome(false);
    const qint64 start = restart.accepted ? restart.offset : 0;
    const int fileFd = sink.Open(start, d->digest.get());
    if (fileFd < 0) {
        FinishTransfer(*data, false);  // still read the final reply, so the next one stays in step
        d->replyCode = LocalStatus::DataOpenFailed;
        return Outcome(false);
    }

    d->progressBase = start;
    d->moved = 0;
    const DataEnd end = data->ReceiveToFile(fileFd, d->TextMode());
    d->progressBase = 0;
    d->lastReceived = start + d->moved;
    if (end == DataEnd::Cancelled) {
        sink.Stopped(DownloadStop::Cancelled);
        AbortTransfer(data.get());
        return Outcome(false);
    }
    // Whether the data is the server's whole file: its size where the server gave one, and over
    // TLS an end announced with close_notify (anyone on the path can end the TCP connection).
    DownloadVerdict verdict =
        end == DataEnd::Clean ? JudgeDownload(!d->TextMode(), data->EndedInOrder(), d->lastReceived, d->transferSize)
                              : DownloadVerdict::Whole;
    const bool whole = end == DataEnd::Clean && verdict == DownloadVerdict::Whole;
    const bool localOk = sink.Close(whole) && end != DataEnd::LocalFailed;

    bool ok = FinishTransfer(*data, end == DataEnd::Clean && localOk);
    // A cancel that came with the last bytes still leaves the target as it was.
    if (ok && d->cancel.IsRaised())
        ok = false;
    // The size expected may be a listing's from before the file grew (a log): where the data
    // did not come to it, the server's size now decides, asked once after the final reply.
    if (ok && verdict != DownloadVerdict::Whole && !d->TextMode() && ServerSizeIs(remote, d->lastReceived)) {
        verdict = DownloadVerdict::Whole;
        if (!sink.Confirm()) {
            d->replyCode = LocalStatus::DataOpenFailed;
            return Outcome(false);
        }
    }
    if (ok && verdict != DownloadVerdict::Whole) {
        sink.Stopped(DownloadStop::NotWhole);
        d->replyCode = verdict == DownloadVerdict::SizeMismatch ? LocalStatus::SizeMismatch
                                                                : LocalStatus::DataCutShort;
        return Outcome(false);
    }
    if (ok && DigestDiffers(remote)) {
        sink.Stopped(DownloadStop::Differs);
        d->replyCode = LocalStatus::DownloadDiffers;
        return Outcome(false);
    }
    if (ok) {
        const QString why = sink.Complete();
        if (!why.isEmpty()) {
            d->replyCode = LocalStatus::TargetNotReplaced;
            d->replyText = why;
            return Outcome(false);
        }
        return Outcome(true);
    }
    sink.Stopped(localOk ? DownloadStop::Failed : DownloadStop::LocalFailed);
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

bool FtpSession::StoreFrom(int fileFd, qint64 size, const QString& remote, qint64 resumeAt)
{
    d->transferAnswered = false;
    if (CancelPending())
        return Outcome(false);
    // A local file that could not be opened fails before anything is asked of the server, so it
    // never leaves an empty file there.
    if (fileFd < 0) {
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }
    // A resumed upload sends the rest from the server's size on: REST and STOR, or APPE (which
    // appends at the server's end, the same offset) where REST is refused.
    const DigestScope digest = StartDigest();
    Restart restart;
    if (resumeAt > 0 && resumeAt < size && CanResume()) {
        restart.offset = resumeAt;
        restart.commandIfRefused = QStringLiteral("APPE ") + remote;
        if (d->digest)
            d->digest->UpdateFromFile(fileFd, resumeAt);  // the server's copy starts with it
        if (::lseek(fileFd, resumeAt, SEEK_SET) != resumeAt) {
            d->replyCode = LocalStatus::DataOpenFailed;
            return false;
        }
    }

    std::unique_ptr<DataStream> data;
    if (OpenTransfer(QStringLiteral("STOR ") + remote, data, &restart) != Opening::Open)
        return Outcome(false);
    d->progressBase = restart.offset;
    const DataEnd end = data->SendFromFile(fileFd, d->TextMode());
    d->progressBase = 0;
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
        if (stored >= 0 && stored != size) {
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

qint64 FtpSession::LastReceivedSize() const { return d->lastReceived; }
bool FtpSession::LastTransferAnswered() const { return d->transferAnswered; }
