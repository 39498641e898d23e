#include "transfer/transfer_session.h"

#include "engine/local_name.h"
#include "settings/settings_store.h"
#include "transfer/local_files.h"
#include "transfer/outcome.h"
#include "transfer/partial_files.h"
#include "transfer/remote_names.h"
#include "transfer/strings.h"
#include "transfer/transfer_mode.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>

namespace {

// A transfer is complete with 226, or with the 250 some servers send instead.
bool IsCompletedCode(int code)
{
    return code == 226 || code == 250;
}
// A person cannot read more than a few changes a second; more figures only slow a fast transfer.
constexpr qint64 MinProgressIntervalMs = 100;

// Reports a transfer's progress figures for as long as the object lives: preparing first, then
// the bytes moving, and updating after a completed transfer; nullptr when it has ended.
class TransferProgress {
public:
    TransferProgress(TransferSession& session, const QString& name)
        : session(session)
    {
        figures.name = name;
        session.ShowFileProgress(&figures);
        sinceStart.start();
        session.SetProgressCallback([this](qint64 bytesSoFar) {
            const qint64 total = this->session.TransferSize();
            const qint64 now = sinceStart.elapsed();
            if (sinceShown.isValid() && now - shownAt < MinProgressIntervalMs && bytesSoFar != total)
                return;
            sinceShown.start();
            shownAt = now;
            figures.stage = FileProgress::Stage::Moving;
            figures.bytes = bytesSoFar;
            figures.total = total;
            figures.offset = this->session.TransferOffset();
            figures.elapsedMs = now;
            this->session.ShowFileProgress(&figures);
        });
    }

    ~TransferProgress()
    {
        session.SetProgressCallback({});
        session.ShowFileProgress(nullptr);
    }

    // After the final reply: a completed transfer shows the updating stage before the box goes.
    bool Finish(bool transferred)
    {
        if (IsCompletedCode(session.GetReplyCode())) {
            figures.stage = FileProgress::Stage::Updating;
            session.ShowFileProgress(&figures);
        }
        return transferred;
    }

    TransferProgress(const TransferProgress&) = delete;
    TransferProgress& operator=(const TransferProgress&) = delete;

private:
    TransferSession& session;
    FileProgress figures;
    QElapsedTimer sinceStart;
    QElapsedTimer sinceShown;
    qint64 shownAt = 0;
};

void ChooseType(FtpSession& session, const QString& name, const QString& textEndings)
{
    if (IsTextModeFile(name, textEndings))
        session.SetTypeAscii();
    else
        session.SetTypeBinary();
}

// Whether a download would replace something at the path. Anything there counts, also a file
// this user cannot read and a link that leads nowhere: both would be replaced all the same.
bool LocalFileExists(const QString& path)
{
    const LocalFileInfo info(path);
    return (info.exists() || info.isSymLink()) && !info.isDir();
}

// Gives the local file the modification time; the data is whole either way, so a file system
// that refuses (some shares) only loses the time.
void SetLocalModificationTime(const QString& path, const QDateTime& time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000L}};
    ::utimensat(AT_FDCWD, LocalPathBytes(path).constData(), times, 0);
}


}  // namespace

TransferSession::TransferOptions TransferSession::TransferOptions::Read()
{
    TransferOptions options;
    options.checkOverwrite = SettingsStore::ReadFlag(SettingName::CheckOverwrite);
    options.automaticType = SettingsStore::ReadFlag(SettingName::AutoTransferMode);
    if (options.automaticType)
        options.textEndings = SettingsStore::ReadString(SettingName::AutoTransferModeList);
    options.keepTimestamps = SettingsStore::ReadFlagOr(QLatin1String(SettingName::KeepTimestamps), true);
    options.verifyTransfers = SettingsStore::ReadFlagOr(QLatin1String(SettingName::VerifyTransfers), true);
    return options;
}

bool TransferSession::Ask(TransferQuestion question) const
{
    return questions && questions->Ask(question);
}

QString TransferSession::WithVerification(const QString& text) const
{
    const QString algorithm = LastVerification();
    return algorithm.isEmpty() ? text : text + u'\n' + TransferText::Verified.arg(algorithm);
}

bool TransferSession::ConnectToServer(const QString& host, quint16 port)
{
    serverName = QStringLiteral("%1:%2").arg(host.toLower()).arg(port);
    SetPassiveMode(SettingsStore::ReadFlag(SettingName::UsePASV));
    return FtpSession::ConnectToServer(host, port);
}

bool TransferSession::RetrieveInto(const QString& remote, DownloadSink& sink, qint64 resumeFrom)
{
    TransferProgress progress(*this, remote);
    return progress.Finish(FtpSession::RetrieveInto(remote, sink, resumeFrom));
}

bool TransferSession::StoreFrom(int fileFd, qint64 size, const QString& remote, qint64 resumeAt)
{
    TransferProgress progress(*this, remote);
    return progress.Finish(FtpSession::StoreFrom(fileFd, size, remote, resumeAt));
}

bool TransferSession::UploadFile(const QString& localFolder, const QString& remoteFolder,
                               const QString& name, const RemoteEntryList& entries, bool byPath)
{
    FileSteps file;
    file.upload = true;
    file.localFolder = localFolder;
    file.remoteFolder = remoteFolder;
    file.name = name;
    file.byPath = byPath;
    file.entries = &entries;
    return PrepareFile(file) && AskAboutFile(file) && MoveFile(file);
}

bool TransferSession::DownloadFile(const QString& localFolder, const QString& remoteFolder,
                                 const QString& name, const RemoteEntryList& entries)
{
    FileSteps file;
    file.upload = false;
    file.localFolder = localFolder;
    file.remoteFolder = remoteFolder;
    file.name = name;
    file.entries = &entries;
    return PrepareFile(file) && AskAboutFile(file) && MoveFile(file);
}

bool TransferSession::PrepareFile(FileSteps& file)
{
    transferFailure.clear();
    file.options = Options();
    return file.upload ? PrepareUpload(file) : PrepareDownload(file);
}

bool TransferSession::MoveFile(FileSteps& file)
{
    return file.upload ? MoveUpload(file) : MoveDownload(file);
}

bool TransferSession::PrepareUpload(FileSteps& file)
{
    static const RemoteEntryList NoEntries;
    const RemoteEntryList& entries = file.entries ? *file.entries : NoEntries;
    file.localPath = JoinPath(file.localFolder, file.name);
    file.target = file.byPath ? JoinPath(file.remoteFolder, file.name) : file.name;
    const int entry = FindEntry(entries, file.name);
    if (file.options.automaticType)
        ChooseType(*this, file.name, file.options.textEndings);
    const LocalFileInfo info(file.localPath);
    // Only a regular file is read, never through a link: what a link leads to can change between
    // the question and the open (UploadFromFile refuses links all the same).
    file.regularFile = info.isFile() && !info.isSymLink();

    // The server decides whether the name is taken: the pane's listing may be stale, may have
    // failed, or the server may fold letter case.
    const RemoteName remote =
        entry < 0 ? (file.targetFree ? RemoteName{RemoteName::Absent, -1} : AskRemoteName(file.target))
                  : RemoteName{RemoteName::Exists, IsLinkEntry(entries, file.name) ? -1 : entries[entry].size};
    file.remoteState = remote.state;
    file.remoteSize = remote.size;
    return true;
}

bool TransferSession::AskAboutFile(FileSteps& file)
{
    static const RemoteEntryList NoEntries;
    const RemoteEntryList& entries = file.entries ? *file.entries : NoEntries;
    if (!file.upload) {
        // What an earlier download left goes on, when it is ours and the server's file is still
        // the one its data began (else its beginning would be another file's, and a size check at
        // the end cannot tell).
        file.resume = false;
        if (CanResume() &&
            file.partial->Resumable(ServerName(), JoinPath(file.remoteFolder, file.name), file.remoteSize,
                                    file.recordedTime))
            file.resume = Ask(TransferQuestion::Resume);
        return file.resume || !file.options.checkOverwrite || !LocalFileExists(file.localPath) ||
               Ask(TransferQuestion::Overwrite);
    }
    // A shorter file of the name on the server may be what an earlier upload left. A link's size
    // is not its file's, and a rounded size ("33.5k") is no byte count to go on from.
    file.resumeAt = 0;
    if (file.remoteState == RemoteName::Exists && file.regularFile && CanResume()) {
        const qint64 localSize = LocalFileInfo(file.localPath).size();
        if (file.remoteSize > 0 && file.remoteSize < localSize && Ask(TransferQuestion::Resume))
            file.resumeAt = file.remoteSize;
    }
    // A name missing from a cut listing may be on the server all the same, even where the server
    // cannot be asked.
    const bool mayExist =
        file.remoteState == RemoteName::Exists || (file.remoteState == RemoteName::Unknown && entries.cut);
    return file.resumeAt != 0 || !file.options.checkOverwrite || !mayExist || Ask(TransferQuestion::Overwrite);
}

bool TransferSession::MoveUpload(FileSteps& file)
{
    const TransferOptions& options = file.options;
    const QString& target = file.target;
    const LocalFileInfo info(file.localPath);
    // Only a regular file has a length to send; a vanished file fails like any other.
    bool stored = false;
    if (file.regularFile) {
        SetTransferSize(info.size());
        SetVerifyTransfers(options.verifyTransfers);
        stored = UploadFromFile(*this, file.localPath, target, file.resumeAt);
        if (IsCancelled()) {
            // Only a file this upload made goes again: the server had none of the name right
            // before, and took the STOR. Also one whose last bytes arrived just as 中止 was pressed
            // (as a download's would not be kept); one that was replaced is now partial unless
            // it arrived whole. A STOR the server never took wrote nothing.
            bool deleted = false;
            if (file.remoteState == RemoteName::Absent && LastTransferAnswered()) {
                // 550: the cancel came before anything was stored. Where the server still owes
                // the replies of ABOR, DELE waits for them after the box has gone.
                ResetCancel();
                deleted = DeleteFileAfterSettling(target);
                Cancel();
            }
            if (deleted || !LastTransferAnswered())
                stored = false;
            else if (!stored)
                transferFailure = TransferText::UploadIncomplete.arg(file.name);
        } else if (!stored) {
            transferFailure = FailureReason(*this);
        } else if (options.keepTimestamps) {
            SetRemoteModificationTime(target, info.lastModified());
        }
    } else {
        transferFailure = TransferText::ReasonNotAFile.arg(file.localPath);
    }
    SetReplyText(stored ? WithVerification(TransferText::UploadCompleted) : TransferText::UploadFailed);
    return stored;
}

QString TransferSession::DownloadFailureReason(const QString& localPath, const QString& partialPath) const
{
    switch (GetReplyCode()) {
    case LocalStatus::SizeMismatch:
        return TransferText::ReasonDownloadSizeMismatch.arg(QString::number(LastReceivedSize()),
                                                         QString::number(TransferSize()));
    case LocalStatus::DataCutShort:
        return TransferText::ReasonDownloadCutShort.arg(QString::number(LastReceivedSize()));
    case LocalStatus::TargetNotReplaced:
        return TransferText::ReasonTargetNotReplaced.arg(localPath, GetReplyText(), partialPath);
    default:
        return FailureReason(*this);
    }
}

QDateTime TransferSession::RemoteTimeOf(FileSteps& file)
{
    if (!file.askedTime) {
        const RemoteEntryList* entries = file.entries;
        const int entry = entries ? FindEntry(*entries, file.name) : -1;
        const QDateTime listed = entry >= 0 && (*entries)[entry].exactTime ? (*entries)[entry].modified : QDateTime();
        file.askedTime = listed.isValid() ? listed : RemoteModificationTime(JoinPath(file.remoteFolder, file.name));
    }
    return *file.askedTime;
}

bool TransferSession::PrepareDownload(FileSteps& file)
{
    // A name a server lists could climb out of the local folder ("..", "a/../../x"), or hold
    // what no local name can (a NUL); such a name is never written, and nothing is asked of the
    // server for it.
    file.localPath = JoinPath(file.localFolder, file.name);
    if (!IsPlainName(file.name) || LocalPathBytes(file.localPath).isEmpty()) {
        transferFailure = TransferText::ReasonUnsafeName.arg(file.name);
        SetReplyText(TransferText::DownloadFailed);
        return false;
    }
    static const RemoteEntryList NoEntries;
    const RemoteEntryList& entries = file.entries ? *file.entries : NoEntries;
    const int entry = FindEntry(entries, file.name);
    const QString remotePath = JoinPath(file.remoteFolder, file.name);
    if (file.options.automaticType)
        ChooseType(*this, file.localPath, file.options.textEndings);
    // A link's listed size is not its file's. The size the data is checked against at the end:
    // the listing's, else SIZE's.
    file.remoteSize = entry >= 0 && !IsLinkEntry(entries, file.name) ? entries[entry].size : -1;
    if (file.remoteSize < 0)
        file.remoteSize = RemoteFileSize(remotePath);

    // Where a partial file can be kept for a later resume, the server's modification time is
    // what a record of it needs.
    file.partial = std::make_shared<PartialFile>(file.localPath);
    file.recordedTime = CanResume() ? RemoteTimeOf(file) : QDateTime();
    return true;
}

bool TransferSession::MoveDownload(FileSteps& file)
{
    const QString remotePath = JoinPath(file.remoteFolder, file.name);
    PartialFile& partial = *file.partial;
    SetTransferSize(qMax<qint64>(file.remoteSize, 0));
    SetVerifyTransfers(file.options.verifyTransfers);
    const bool retrieved = DownloadToFile(*this, remotePath, file.localPath, file.resume, partial.Path());
    partial.Settle(ServerName(), remotePath, file.remoteSize, file.recordedTime);
    if (!retrieved) {
        transferFailure = DownloadFailureReason(file.localPath, partial.Path());
    } else if (file.options.keepTimestamps) {
        const QDateTime time = RemoteTimeOf(file);
        if (time.isValid())
            SetLocalModificationTime(file.localPath, time);
    }
    SetReplyText(retrieved ? WithVerification(TransferText::DownloadCompleted) : TransferText::DownloadFailed);
    return retrieved;
}
