#include "mainwindow/app_ftp_session.h"

#include "mainwindow/outcome.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/strings.h"
#include "mainwindow/transfer_mode.h"
#include "mainwindow/wait_dialog.h"
#include "platform/prompter.h"
#include "settings/settings_store.h"

#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>

#include <limits>

namespace {

constexpr int CompletedCode = 226;
constexpr int ShownNameLength = 15;

// Shows a transfer's byte count in a wait box for as long as the object lives. The box itself
// limits how often it repaints, so every chunk may report its count.
class ProgressBox {
public:
    ProgressBox(FtpSession& session, const QString& name)
        : session(session), name(name)
    {
        box.message = FilesText::TransferPreparing;
        box.OpenBox();
        session.SetProgressCallback([this](qint64 bytesSoFar) {
            box.SetMessage(TransferProgressText(this->name, bytesSoFar, this->session.TransferSize()));
        });
    }

    ~ProgressBox()
    {
        session.SetProgressCallback({});
        box.CloseBox();
    }

    // After the final reply: a completed transfer shows the updating text before the box goes.
    bool Finish(bool transferred)
    {
        if (session.GetReplyCode() == CompletedCode) {
            box.SetMessage(FilesText::TransferUpdating);
            box.CloseBox();
        }
        return transferred;
    }

    ProgressBox(const ProgressBox&) = delete;
    ProgressBox& operator=(const ProgressBox&) = delete;

private:
    FtpSession& session;
    QString name;
    WaitDialog box;
};

// The size column read the way atoi reads it (leading blanks skipped, digits up to the first
// other character, 0 without any), in 64 bits so that files of 2 GiB and more keep their size.
qint64 ReadSize(const QString& text)
{
    qsizetype i = 0;
    while (i < text.size() && text[i].isSpace())
        ++i;
    qint64 size = 0;
    for (; i < text.size() && text[i] >= u'0' && text[i] <= u'9'; ++i) {
        const int digit = text[i].unicode() - u'0';
        if (size > (std::numeric_limits<qint64>::max() - digit) / 10)
            return std::numeric_limits<qint64>::max();
        size = size * 10 + digit;
    }
    return size;
}

void ChooseType(FtpSession& session, const QString& name)
{
    if (IsTextModeFile(name))
        session.SetTypeAscii();
    else
        session.SetTypeBinary();
}

// Whether a download would replace something at the path. Anything there counts, also a file
// this user cannot read and a link that leads nowhere: both would be replaced all the same.
bool LocalFileExists(const QString& path)
{
    const QFileInfo info(path);
    return (info.exists() || info.isSymLink()) && !info.isDir();
}

// Gives the local file the modification time; the data is whole either way, so a file system
// that refuses (some shares) only loses the time.
void SetLocalModificationTime(const QString& path, const QDateTime& time)
{
    const qint64 ms = time.toMSecsSinceEpoch();
    const timespec times[2] = {{0, UTIME_OMIT}, {time_t(ms / 1000), long(ms % 1000) * 1000000L}};
    ::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0);
}

bool KeepsTimestamps()
{
    return SettingsStore::ReadFlagOr(QLatin1String(SettingName::KeepTimestamps), true);
}

}  // namespace

QString TransferProgressText(const QString& name, qint64 bytesSoFar, qint64 total)
{
    // One pass over the pattern, so a "%2" in a file name stays as it is.
    return FilesText::TransferProgress.arg(name.right(ShownNameLength), QString::number(bytesSoFar),
                                           QString::number(total));
}

bool AppFtpSession::ConnectToServer(const QString& host, quint16 port)
{
    SetPassiveMode(SettingsStore::ReadFlag(SettingName::UsePASV));
    return FtpSession::ConnectToServer(host, port);
}

bool AppFtpSession::RetrieveFile(const QString& remote, const QString& local)
{
    ProgressBox progress(*this, remote);
    return progress.Finish(FtpSession::RetrieveFile(remote, local));
}

bool AppFtpSession::StoreFile(const QString& local, const QString& remote)
{
    ProgressBox progress(*this, remote);
    return progress.Finish(FtpSession::StoreFile(local, remote));
}

bool AppFtpSession::UploadFile(const QString& localFolder, const QString&, const QString& name,
                               const RemoteEntryList& entries)
{
    transferFailure.clear();
    const QString localPath = JoinPath(localFolder, name);
    if (SettingsStore::ReadFlag(SettingName::CheckOverwrite) && FindEntry(entries, name) >= 0 &&
        !Prompter::Current().AskYesNo(FilesText::OverwriteQuestion))
        return false;
    if (SettingsStore::ReadFlag(SettingName::AutoTransferMode))
        ChooseType(*this, name);

    // Only a regular file has a length to send; a vanished file fails like any other.
    const QFileInfo info(localPath);
    bool stored = false;
    if (info.isFile()) {
        SetTransferSize(info.size());
        stored = StoreFile(localPath, name);
        if (!stored)
            transferFailure = FailureReason(*this);
        else if (KeepsTimestamps())
            SetRemoteModificationTime(name, info.lastModified());
    } else {
        transferFailure = FilesText::ReasonNotAFile.arg(localPath);
    }
    SetReplyText(stored ? FilesText::UploadCompleted : FilesText::UploadFailed);
    return stored;
}

bool AppFtpSession::DownloadFile(const QString& localFolder, const QString& remoteFolder,
                                 const QString& name, const RemoteEntryList& entries)
{
    // A name a server lists could climb out of the local folder ("..", "a/../../x"); such a
    // name is never written.
    transferFailure.clear();
    if (!IsPlainName(name)) {
        transferFailure = FilesText::ReasonUnsafeName.arg(name);
        SetReplyText(FilesText::DownloadFailed);
        return false;
    }
    const QString localPath = JoinPath(localFolder, name);
    if (SettingsStore::ReadFlag(SettingName::CheckOverwrite) && LocalFileExists(localPath) &&
        !Prompter::Current().AskYesNo(FilesText::OverwriteQuestion))
        return false;

    const int entry = FindEntry(entries, name);
    const QString remotePath = JoinPath(remoteFolder, name);
    SetTransferSize(entry >= 0 ? ReadSize(entries[entry].size) : 0);
    if (SettingsStore::ReadFlag(SettingName::AutoTransferMode))
        ChooseType(*this, localPath);

    const bool retrieved = RetrieveFile(remotePath, localPath);
    if (!retrieved) {
        transferFailure = FailureReason(*this);
    } else if (KeepsTimestamps()) {
        // MLSD's time is exact; a long listing's is rounded and in the server's zone, so MDTM
        // is asked instead.
        const QDateTime listed = entry >= 0 && entries[entry].listed.exactTime ? entries[entry].listed.modified
                                                                                : QDateTime();
        const QDateTime time = listed.isValid() ? listed : RemoteModificationTime(remotePath);
        if (time.isValid())
            SetLocalModificationTime(localPath, time);
    }
    SetReplyText(retrieved ? FilesText::DownloadCompleted : FilesText::DownloadFailed);
    return retrieved;
}
