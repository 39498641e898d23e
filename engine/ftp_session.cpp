#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/ftp_reply.h"
#include "engine/wire_codec.h"

#include <utility>

namespace {

const QString ClosedReplyText = QStringLiteral("GetResponce nRead=0 Error");
const QString NoConnectionText = QString(QChar(1));

}  // namespace

FtpSession::FtpSession() : d(std::make_unique<Private>()) {}

FtpSession::~FtpSession() = default;

// ---------------------------------------------------------------------------------------------
// The control connection, through the channel

bool FtpSession::CreateControlSocket()
{
    d->control.Create();
    return true;
}

void FtpSession::ReleaseControlSocket() { d->control.Release(); }
bool FtpSession::IsConnected() const { return d->control.IsConnected(); }
void FtpSession::Cancel() { d->control.Cancel().Raise(); }
bool FtpSession::IsCancelled() const { return d->control.Cancel().IsRaised(); }
void FtpSession::ResetCancel() { d->control.Cancel().Reset(); }
bool FtpSession::SettlePending() const { return d->control.SettlePending(); }
void FtpSession::SettleCancelled() { d->control.Settle(); }

bool FtpSession::SendCommand(const QString& command)
{
    // A TYPE sent by the caller leaves the type in force unknown.
    if (!d->control.CancelPending() && command.startsWith(QLatin1String("TYPE"), Qt::CaseInsensitive))
        d->connector.ForgetTypeInForce();
    return d->control.Send(command);
}

QString FtpSession::GetResponce()
{
    d->control.Settle();
    if (!d->control.Established())
        return NoConnectionText;
    return d->control.ReadReply() ? d->control.ReplyText() : ClosedReplyText;
}

QString FtpSession::GetReplyText() const { return d->control.ReplyText(); }
void FtpSession::SetReplyText(const QString& text) { d->control.SetReplyText(text); }
int FtpSession::GetReplyCode() const { return d->control.ReplyCode(); }
void FtpSession::SetReplyCode(int code) { d->control.SetReplyCode(code); }

void FtpSession::ChangeDirAfterSettling(const QString& folder)
{
    if (!d->control.QueueAfterSettling(QStringLiteral("CWD ") + folder))
        ChangeDir(folder);
}

bool FtpSession::DeleteFileAfterSettling(const QString& name)
{
    if (d->control.QueueAfterSettling(QStringLiteral("DELE ") + name))
        return true;
    return DeleteRemoteFile(name) || d->control.ReplyCode() == 550;
}

// ---------------------------------------------------------------------------------------------
// Connecting

bool FtpSession::ConnectToServer(const QString& host, quint16 port)
{
    d->features.clear();
    d->digestCheck.Reset({});
    // Until FEAT says otherwise, an automatic choice speaks the locale's character set.
    d->control.SetCodec(std::make_unique<WireCodec>(d->charsetChoice));
    d->connector.Reset();
    d->control.Create();
    d->tlsState = TlsState::Off;
    bool connected = d->control.Connect(host, port);
    ControlChannel::ReadEnd greeting = ControlChannel::ReadEnd::Broken;
    if (connected)
        greeting = d->control.ReadOne(d->control.IdleLimit(), false);
    // A greeting that never came must not pass for the 220 of an earlier session.
    const bool greeted = greeting == ControlChannel::ReadEnd::Reply && d->control.ReplyCode() == 220;
    bool secured = true;
    if (greeted && !d->control.CancelPending())
        secured = StartTls(host, port);
    if (d->control.CancelPending()) {
        // An attempt that was cancelled leaves nothing behind, not even a half-open connection.
        d->control.Release();
        d->control.SetConnected(false);
        d->control.EndCancelled();
        return false;
    }
    if (!secured) {
        d->control.Release();
        connected = false;
    } else if (!greeted) {
        connected = false;
    }
    d->control.SetConnected(connected);
    return connected;
}

// ---------------------------------------------------------------------------------------------
// One-command operations

bool FtpSession::UserLogin(const QString& user, const QString& password)
{
    auto answered = [this](const QString& command) {
        return d->control.Send(command) &&
               d->control.ReadOne(d->control.IdleLimit(), false) == ControlChannel::ReadEnd::Reply;
    };
    bool ok = answered(QStringLiteral("USER ") + user);
    if (ok && d->control.ReplyCode() == 331)
        ok = answered(QStringLiteral("PASS ") + password);
    if (d->control.CancelPending()) {
        // A cancelled login ends the attempt: the session is left disconnected.
        d->control.Release();
        d->control.SetConnected(false);
        d->control.EndCancelled();
        return false;
    }
    return ok && d->control.ReplyCode() == 230;  // 230 right after USER: the server asks for no password
}

bool FtpSession::DisconnectFromServer()
{
    if (!d->control.HasSocket())
        return false;
    if (!d->control.Connected())
        return true;
    if (d->control.CancelPending()) {
        // Leaving without QUIT: the server sees the connection end all the same.
        d->control.Release();
        d->control.SetConnected(false);
        d->control.EndCancelled();
        return true;
    }
    if (!d->control.Command(QStringLiteral("QUIT"), 221))
        return false;
    d->control.Release();
    return true;
}

QString FtpSession::GetRemoteDir()
{
    if (!d->control.Command(QStringLiteral("PWD"), 257))
        return {};
    // "/home/u/" is the folder "/home/u": the window compares the paths it keeps as text.
    QString path = ParseQuotedPath(d->control.ReplyText());
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

bool FtpSession::ChangeDir(const QString& directory)
{
    return !directory.isEmpty() && d->control.Command(QStringLiteral("CWD ") + directory, 250);
}

bool FtpSession::MakeDir(const QString& name)
{
    const QString folder = name.isEmpty() ? QStringLiteral("New Folder") : name;
    GetRemoteDir();
    return d->control.Command(QStringLiteral("MKD ") + folder, 257);
}

bool FtpSession::CreateFolder(const QString& path)
{
    return !path.isEmpty() && d->control.Command(QStringLiteral("MKD ") + path, 257);
}

bool FtpSession::RemoveDir(const QString& name)
{
    return !name.isEmpty() && d->control.Command(QStringLiteral("RMD ") + name, 250);
}

bool FtpSession::DeleteRemoteFile(const QString& name)
{
    return !name.isEmpty() && d->control.Command(QStringLiteral("DELE ") + name, 250);
}

bool FtpSession::RenameFile(const QString& oldName, const QString& newName)
{
    if (oldName.isEmpty() || newName.isEmpty())
        return false;
    return d->control.Command(QStringLiteral("RNFR ") + oldName, 350)
           && d->control.Command(QStringLiteral("RNTO ") + newName, 250);
}

bool FtpSession::ChangeFileAttrib(const QString& name, const QString& mode)
{
    if (name.isEmpty() || mode.isEmpty())
        return false;
    // Whatever the answer, the caller shows it; only an unsent command or a lost reply fails.
    return d->control.Send(QStringLiteral("SITE CHMOD ") + mode + QLatin1Char(' ') + name) && d->control.ReadReply();
}

bool FtpSession::SetTypeAscii()
{
    d->connector.SetType(QStringLiteral("TYPE A"));
    return true;
}

bool FtpSession::SetTypeBinary()
{
    d->connector.SetType(QStringLiteral("TYPE I"));
    return true;
}

QString FtpSession::TypeCommand() const { return d->connector.Type(); }

bool FtpSession::QueryFeatures()
{
    d->features.clear();
    d->digestCheck.Reset({});
    if (!d->control.Command(QStringLiteral("FEAT"), 211))
        return false;
    d->features = ParseFeatures(d->control.ReplyText());
    d->digestCheck.Reset(d->features);
    // RFC 2640: a server that lists UTF8 takes UTF-8 names; some (IIS, FileZilla Server) only
    // after OPTS UTF8 ON. An automatic choice follows it whatever the answer.
    const bool automatic = d->charsetChoice.isEmpty();
    if (HasFeature(QStringLiteral("UTF8")) && (automatic || d->control.Codec().Charset() == "UTF-8")) {
        d->control.Command(QStringLiteral("OPTS UTF8 ON"), 200);
        if (automatic)
            d->control.SetCodec(std::make_unique<WireCodec>(QByteArrayLiteral("UTF-8")));
    }
    // MLST's facts: those marked "*" are sent already; the rest of those the listing uses are
    // asked for (pyftpdlib, for one, leaves out the Unix mode unless asked).
    for (const QString& feature : std::as_const(d->features)) {
        if (feature.section(QLatin1Char(' '), 0, 0).compare(QLatin1String("MLST"), Qt::CaseInsensitive) != 0)
            continue;
        static const QStringList Wanted = {QStringLiteral("type"), QStringLiteral("size"), QStringLiteral("modify"),
                                           QStringLiteral("UNIX.mode"), QStringLiteral("perm")};
        QStringList facts;
        bool missing = false;
        for (const QString& offered : feature.section(QLatin1Char(' '), 1).split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            const bool on = offered.endsWith(QLatin1Char('*'));
            const QString name = on ? offered.chopped(1) : offered;
            if (!Wanted.contains(name, Qt::CaseInsensitive))
                continue;
            facts << name;
            missing = missing || !on;
        }
        if (missing)
            d->control.Command(QStringLiteral("OPTS MLST ") + facts.join(QLatin1Char(';')) + QLatin1Char(';'), 200);
    }
    return true;
}

bool FtpSession::HasFeature(const QString& name) const
{
    for (const QString& feature : d->features) {
        if (feature.section(QLatin1Char(' '), 0, 0).compare(name, Qt::CaseInsensitive) == 0)
            return true;
    }
    return false;
}

QStringList FtpSession::Features() const { return d->features; }

QDateTime FtpSession::RemoteModificationTime(const QString& name)
{
    if (name.isEmpty() || !HasFeature(QStringLiteral("MDTM")) || !d->control.Command(QStringLiteral("MDTM ") + name, 213))
        return {};
    // "213 20240115102200" (some servers add fractions of a second).
    return ParseMachineTime(QStringView(d->control.ReplyText()).mid(4).trimmed().split(QLatin1Char(' ')).value(0));
}

bool FtpSession::SetRemoteModificationTime(const QString& name, const QDateTime& time)
{
    if (name.isEmpty() || !time.isValid() || !HasFeature(QStringLiteral("MFMT")))
        return false;
    // Answered "213 Modify=20240115102200; a.txt" or "213 UTIME OK" and the like.
    const QString value = time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss"));
    return d->control.Send(QStringLiteral("MFMT ") + value + QLatin1Char(' ') + name) && d->control.ReadReply() &&
           d->control.ReplyCode() >= 200 && d->control.ReplyCode() <= 299;
}

qint64 FtpSession::RemoteFileSize(const QString& name)
{
    if (name.isEmpty() || !HasFeature(QStringLiteral("SIZE")) || !d->control.Command(QStringLiteral("SIZE ") + name, 213))
        return -1;
    return ParseSizeReply(d->control.ReplyText());
}

FtpSession::RemoteName FtpSession::AskRemoteName(const QString& path)
{
    // A reply is read only for a command that went out: a name the wire cannot carry sends
    // nothing, and the latest code would then be an older command's.
    const auto ask = [this](const QString& command) { return d->control.Send(command) && d->control.ReadReply(); };
    if (HasFeature(QStringLiteral("MLST")) && ask(QStringLiteral("MLST ") + path)) {
        if (d->control.ReplyCode() == 250)
            return {RemoteName::Exists, RemoteFileSize(path)};
        if (d->control.ReplyCode() == 550)
            return {RemoteName::Absent, -1};
    }
    if (HasFeature(QStringLiteral("SIZE")) && ask(QStringLiteral("SIZE ") + path)) {
        const qint64 size = d->control.ReplyCode() == 213 ? ParseSizeReply(d->control.ReplyText()) : -1;
        if (size >= 0)
            return {RemoteName::Exists, size};
        if (d->control.ReplyCode() == 550 && TypeCommand() == QLatin1String("TYPE I"))
            return {RemoteName::Absent, -1};
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Options

bool FtpSession::IsPassiveMode() const { return d->connector.IsPassive(); }
void FtpSession::SetPassiveMode(bool passive) { d->connector.SetPassive(passive); }
qint64 FtpSession::TransferSize() const { return d->transferSize; }
void FtpSession::SetTransferSize(qint64 size) { d->transferSize = size; }
void FtpSession::SetProgressCallback(ProgressCallback callback) { d->progress = std::move(callback); }
std::chrono::milliseconds FtpSession::IdleLimit() const { return d->control.IdleLimit(); }
void FtpSession::SetIdleLimit(std::chrono::milliseconds limit) { d->control.SetIdleLimit(limit); }
qint64 FtpSession::TransferOffset() const { return d->progressBase; }
void FtpSession::SetVerifyTransfers(bool verify) { d->verifyTransfers = verify; }
QString FtpSession::LastVerification() const { return d->lastVerification; }
bool FtpSession::LastListingIsMachine() const { return d->lastListingMachine; }
bool FtpSession::LastListingCut() const { return d->lastListingCut; }
void FtpSession::SetListingLimit(qsizetype bytes) { d->listingLimit = bytes; }
void FtpSession::SetCharset(const QByteArray& charset) { d->charsetChoice = charset; }
QByteArray FtpSession::WireCharset() const { return d->control.Codec().Charset(); }
QString FtpSession::PasvHost() const { return d->connector.PasvHost(); }
int FtpSession::PasvPort() const { return d->connector.PasvPort(); }
