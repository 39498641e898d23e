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
    if (d->verifyTransfers && !d->connector.TextMode()) {
        const std::optional<DigestAlgorithm> algorithm = d->digestCheck.Prepare(DigestAsker());
        if (algorithm)
            d->digest = std::make_unique<StreamDigest>(*algorithm);
    }
    return DigestScope{*this};
}

std::function<bool(const QString&, int&, QString&)> FtpSession::DigestAsker()
{
    return [this](const QString& command, int& code, QString& text) {
        if (!d->control.Send(command) || !d->control.ReadReply())
            return false;
        code = d->control.ReplyCode();
        text = d->control.ReplyText();
        return true;
    };
}

FtpSession::DigestScope::~DigestScope() { session.d->digest.reset(); }

bool FtpSession::DigestDiffers(const QString& remote)
{
    if (!d->digest || d->control.Cancel().IsRaised())
        return false;
    const int finalCode = d->control.ReplyCode();
    const QString finalText = d->control.ReplyText();
    const DigestCheck::Result result = d->digestCheck.Check(remote, *d->digest, DigestAsker());
    if (result == DigestCheck::Result::Differs)
        return true;
    if (result == DigestCheck::Result::Matched)
        d->lastVerification = DigestName(d->digest->Algorithm());
    d->control.SetReplyCode(finalCode);
    d->control.SetReplyText(finalText);
    return false;
}

bool FtpSession::Outcome(bool ok)
{
    if (!ok && d->control.Cancel().IsRaised())
        d->control.EndCancelled();
    return ok;
}

bool FtpSession::GetFileList(const QString& /*path*/, QString& out)
{
    d->lastListingCut = false;
    if (d->control.CancelPending())
        return Outcome(false);
    // A machine listing where the server offers one (names, sizes and times without guessing);
    // otherwise long listings of every entry, hidden ones included. Some servers take no options
    // and refuse "-aL" with 5xx; plain LIST then gives the same long format.
    auto refused = [this](DataConnector::Opening opening) {
        return opening == DataConnector::Opening::Refused && d->control.ReplyCode() >= 500 && d->control.ReplyCode() <= 599;
    };
    std::unique_ptr<DataStream> data;
    DataConnector::Opening opening = DataConnector::Opening::Refused;
    d->lastListingMachine = HasFeature(QStringLiteral("MLST"));
    if (d->lastListingMachine) {
        opening = d->connector.Open(QStringLiteral("MLSD"), data, d->Context());
        d->lastListingMachine = !refused(opening);
    }
    if (!d->lastListingMachine) {
        opening = d->connector.Open(QStringLiteral("LIST -aL"), data, d->Context());
        if (refused(opening))
            opening = d->connector.Open(QStringLiteral("LIST"), data, d->Context());
    }
    if (opening == DataConnector::Opening::SetupFailed)
        return Outcome(false);
    out.clear();
    if (opening != DataConnector::Opening::Open)
        return Outcome(false);

    // Gathered whole and decoded once: a character split between two reads stays whole.
    QByteArray raw;
    const DataEnd end = data->ReceiveAll(raw, d->listingLimit);
    if (end == DataEnd::Cancelled) {
        d->connector.Abort(data.get());
        return Outcome(false);
    }
    if (end == DataEnd::Cut)
        return Outcome(KeepCutListing(*data, raw, out));
    // A listing has no size to vouch for it: over TLS only close_notify says it is whole.
    const bool whole = end == DataEnd::Clean && data->EndedInOrder();
    if (!whole)
        raw.clear();
    out = d->control.Codec().Decode(raw);
    const bool ok = d->connector.Finish(*data, whole);
    if (end == DataEnd::Clean && !whole && (d->control.ReplyCode() == 226 || d->control.ReplyCode() == 250))
        d->control.SetReplyCode(LocalStatus::DataCutShort);
    return Outcome(ok);
}

bool FtpSession::KeepCutListing(DataStream& data, QByteArray& raw, QString& out)
{
    // A listing past the limit would only fill the memory: the server is stopped, and the lines
    // that came whole are kept (a line cut off could be read with a wrong name or size). A line
    // feed never stands inside a character of the character sets a listing comes in.
    d->connector.Abort(&data);
    raw.truncate(raw.lastIndexOf('\n') + 1);
    out = d->control.Codec().Decode(raw);
    d->lastListingCut = true;
    return !d->control.Cancel().IsRaised();
}

bool FtpSession::RetrieveInto(const QString& remote, DownloadSink& sink, qint64 resumeFrom)
{
    d->connector.ForgetAnswer();
    d->lastReceived = 0;
    if (d->control.CancelPending())
        return Outcome(false);
    DataConnector::Restart restart;
    if (resumeFrom > 0 && CanResume())
        restart.offset = resumeFrom;
    const DigestScope digest = StartDigest();
    std::unique_ptr<DataStream> data;
    if (d->connector.Open(QStringLiteral("RETR ") + remote, data, d->Context(), &restart) != DataConnector::Opening::Open)
        return Outcome(false);
    const qint64 start = restart.accepted ? restart.offset : 0;
    const int fileFd = sink.Open(start, d->digest.get());
    if (fileFd < 0) {
        d->connector.Finish(*data, false);  // still read the final reply, so the next one stays in step
        d->control.SetReplyCode(LocalStatus::DataOpenFailed);
        return Outcome(false);
    }

    d->progressBase = start;
    d->moved = 0;
    const DataEnd end = data->ReceiveToFile(fileFd, d->connector.TextMode());
    d->progressBase = 0;
    d->lastReceived = start + d->moved;
    if (end == DataEnd::Cancelled) {
        sink.Stopped(DownloadStop::Cancelled);
        d->connector.Abort(data.get());
        return Outcome(false);
    }
    // Whether the data is the server's whole file: its size where the server gave one, and over
    // TLS an end announced with close_notify (anyone on the path can end the TCP connection).
    DownloadVerdict verdict =
        end == DataEnd::Clean ? JudgeDownload(!d->connector.TextMode(), data->EndedInOrder(), d->lastReceived, d->transferSize)
                              : DownloadVerdict::Whole;
    const bool whole = end == DataEnd::Clean && verdict == DownloadVerdict::Whole;
    const bool localOk = sink.Close(whole) && end != DataEnd::LocalFailed;

    bool ok = d->connector.Finish(*data, end == DataEnd::Clean && localOk);
    // A cancel that came with the last bytes still leaves the target as it was.
    if (ok && d->control.Cancel().IsRaised())
        ok = false;
    // The size expected may be a listing's from before the file grew (a log): where the data
    // did not come to it, the server's size now decides, asked once after the final reply.
    if (ok && verdict != DownloadVerdict::Whole && !d->connector.TextMode() && ServerSizeIs(remote, d->lastReceived)) {
        verdict = DownloadVerdict::Whole;
        if (!sink.Confirm()) {
            d->control.SetReplyCode(LocalStatus::DataOpenFailed);
            return Outcome(false);
        }
    }
    if (ok && verdict != DownloadVerdict::Whole) {
        sink.Stopped(DownloadStop::NotWhole);
        d->control.SetReplyCode(verdict == DownloadVerdict::SizeMismatch ? LocalStatus::SizeMismatch
                                                                : LocalStatus::DataCutShort);
        return Outcome(false);
    }
    if (ok && DigestDiffers(remote)) {
        sink.Stopped(DownloadStop::Differs);
        d->control.SetReplyCode(LocalStatus::DownloadDiffers);
        return Outcome(false);
    }
    if (ok) {
        const QString why = sink.Complete();
        if (!why.isEmpty()) {
            d->control.SetReplyCode(LocalStatus::TargetNotReplaced);
            d->control.SetReplyText(why);
            return Outcome(false);
        }
        return Outcome(true);
    }
    sink.Stopped(localOk ? DownloadStop::Failed : DownloadStop::LocalFailed);
    if (!localOk)
        d->control.SetReplyCode(LocalStatus::DataOpenFailed);
    return Outcome(false);
}

bool FtpSession::ServerSizeIs(const QString& remote, qint64 size)
{
    const int finalCode = d->control.ReplyCode();
    const QString finalText = d->control.ReplyText();
    const qint64 now = RemoteFileSize(remote);
    d->control.SetReplyCode(finalCode);  // the transfer's own reply stays the one to show
    d->control.SetReplyText(finalText);
    return now >= 0 && now == size;
}

bool FtpSession::StoreFrom(int fileFd, qint64 size, const QString& remote, qint64 resumeAt)
{
    d->connector.ForgetAnswer();
    if (d->control.CancelPending())
        return Outcome(false);
    // A local file that could not be opened fails before anything is asked of the server, so it
    // never leaves an empty file there.
    if (fileFd < 0) {
        d->control.SetReplyCode(LocalStatus::DataOpenFailed);
        return false;
    }
    // A resumed upload sends the rest from the server's size on: REST and STOR, or APPE (which
    // appends at the server's end, the same offset) where REST is refused.
    const DigestScope digest = StartDigest();
    DataConnector::Restart restart;
    if (resumeAt > 0 && resumeAt < size && CanResume()) {
        restart.offset = resumeAt;
        restart.commandIfRefused = QStringLiteral("APPE ") + remote;
        if (d->digest)
            d->digest->UpdateFromFile(fileFd, resumeAt);  // the server's copy starts with it
        if (::lseek(fileFd, resumeAt, SEEK_SET) != resumeAt) {
            d->control.SetReplyCode(LocalStatus::DataOpenFailed);
            return false;
        }
    }

    std::unique_ptr<DataStream> data;
    if (d->connector.Open(QStringLiteral("STOR ") + remote, data, d->Context(), &restart) != DataConnector::Opening::Open)
        return Outcome(false);
    d->progressBase = restart.offset;
    const DataEnd end = data->SendFromFile(fileFd, d->connector.TextMode());
    d->progressBase = 0;
    if (end == DataEnd::Cancelled) {
        d->connector.Abort(data.get());  // resets the data connection: the server sees a broken upload
        return Outcome(false);
    }
    if (end != DataEnd::Clean)
        data->Abort();  // a reset, not an end of file, so the server does not keep half a file
    bool ok = d->connector.Finish(*data, end == DataEnd::Clean);
    if (end == DataEnd::LocalFailed)
        d->control.SetReplyCode(LocalStatus::DataOpenFailed);
    if (ok && restart.offset > 0 && !d->control.Cancel().IsRaised()) {
        const int finalCode = d->control.ReplyCode();
        const QString finalText = d->control.ReplyText();
        const qint64 stored = RemoteFileSize(remote);
        if (stored >= 0 && stored != size) {
            d->control.SetReplyCode(LocalStatus::SizeMismatch);
            ok = false;
        } else {
            d->control.SetReplyCode(finalCode);  // the transfer's own reply stays the one to show
            d->control.SetReplyText(finalText);
        }
    }
    if (ok && DigestDiffers(remote)) {
        d->control.SetReplyCode(LocalStatus::UploadDiffers);
        ok = false;
    }
    return Outcome(ok);
}

bool FtpSession::CanResume() const
{
    if (d->connector.TextMode())
        return false;
    for (const QString& feature : d->features) {
        if (feature.simplified().compare(QLatin1String("REST STREAM"), Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

qint64 FtpSession::LastReceivedSize() const { return d->lastReceived; }
bool FtpSession::LastTransferAnswered() const { return d->connector.Answered(); }
