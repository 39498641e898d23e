#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/ftp_reply.h"
#include "engine/sockets.h"
#include "engine/wire_codec.h"

#include <utility>

FtpSession::FtpSession() : d(std::make_unique<Private>())
{
    d->listenSocket.WatchCancel(d->cancel.Fd());
}

FtpSession::~FtpSession() = default;

// ---------------------------------------------------------------------------------------------
// Connecting

bool FtpSession::ConnectToServer(const QString& host, quint16 port)
{
    d->features.clear();
    d->digestCheck.Reset({});
    // Until FEAT says otherwise, an automatic choice speaks the locale's character set.
    d->codec = std::make_unique<WireCodec>(d->charsetChoice);
    d->passiveRefused = false;
    d->typeInForce.clear();
    CreateControlSocket();
    d->tlsState = TlsState::Off;
    d->protectData = false;
    d->connected = !CancelPending() && d->controlSocket->ConnectToHost(host, port, d->idleLimit);
    ReadEnd greeting = ReadEnd::Broken;
    if (d->connected)
        greeting = ReadOne(d->idleLimit, false);
    // A greeting that never came must not pass for the 220 of an earlier session.
    const bool greeted = greeting == ReadEnd::Reply && d->replyCode == 220;
    bool secured = true;
    if (greeted && !CancelPending())
        secured = StartTls(host, port);
    if (CancelPending()) {
        // An attempt that was cancelled leaves nothing behind, not even a half-open connection.
        ReleaseControlSocket();
        d->connected = false;
        EndCancelled();
        return false;
    }
    if (!secured) {
        ReleaseControlSocket();
        d->connected = false;
    } else if (!greeted) {
        d->connected = false;
    }
    return d->connected;
}

// ---------------------------------------------------------------------------------------------
// One-command operations

bool FtpSession::UserLogin(const QString& user, const QString& password)
{
    auto answered = [this](const QString& command) {
        return SendCommand(command) && ReadOne(d->idleLimit, false) == ReadEnd::Reply;
    };
    bool ok = answered(QStringLiteral("USER ") + user);
    if (ok && d->replyCode == 331)
        ok = answered(QStringLiteral("PASS ") + password);
    if (CancelPending()) {
        // A cancelled login ends the attempt: the session is left disconnected.
        ReleaseControlSocket();
        d->connected = false;
        EndCancelled();
        return false;
    }
    return ok && d->replyCode == 230;  // 230 right after USER: the server asks for no password
}

bool FtpSession::DisconnectFromServer()
{
    if (!d->controlSocket)
        return false;
    if (!d->connected)
        return true;
    if (CancelPending()) {
        // Leaving without QUIT: the server sees the connection end all the same.
        ReleaseControlSocket();
        d->connected = false;
        EndCancelled();
        return true;
    }
    if (!Command(QStringLiteral("QUIT"), 221))
        return false;
    ReleaseControlSocket();
    return true;
}

QString FtpSession::GetRemoteDir()
{
    if (!Command(QStringLiteral("PWD"), 257))
        return {};
    // "/home/u/" is the folder "/home/u": the window compares the paths it keeps as text.
    QString path = ParseQuotedPath(d->replyText);
    while (path.size() > 1 && path.endsWith(u'/'))
        path.chop(1);
    return path;
}

bool FtpSession::ChangeDir(const QString& directory)
{
    return !directory.isEmpty() && Command(QStringLiteral("CWD ") + directory, 250);
}

bool FtpSession::MakeDir(const QString& name)
{
    const QString folder = name.isEmpty() ? QStringLiteral("New Folder") : name;
    GetRemoteDir();
    return Command(QStringLiteral("MKD ") + folder, 257);
}

bool FtpSession::CreateFolder(const QString& path)
{
    return !path.isEmpty() && Command(QStringLiteral("MKD ") + path, 257);
}

bool FtpSession::RemoveDir(const QString& name)
{
    return !name.isEmpty() && Command(QStringLiteral("RMD ") + name, 250);
}

bool FtpSession::DeleteRemoteFile(const QString& name)
{
    return !name.isEmpty() && Command(QStringLiteral("DELE ") + name, 250);
}

bool FtpSession::RenameFile(const QString& oldName, const QString& newName)
{
    if (oldName.isEmpty() || newName.isEmpty())
        return false;
    return Command(QStringLiteral("RNFR ") + oldName, 350)
           && Command(QStringLiteral("RNTO ") + newName, 250);
}

bool FtpSession::ChangeFileAttrib(const QString& name, const QString& mode)
{
    if (name.isEmpty() || mode.isEmpty())
        return false;
    // Whatever the answer, the caller shows it; only an unsent command or a lost reply fails.
    return SendCommand(QStringLiteral("SITE CHMOD ") + mode + QLatin1Char(' ') + name) && ReadReply();
}

bool FtpSession::SetTypeAscii()
{
    d->typeCommand = QStringLiteral("TYPE A");
    return true;
}

bool FtpSession::SetTypeBinary()
{
    d->typeCommand = QStringLiteral("TYPE I");
    return true;
}

QString FtpSession::TypeCommand() const { return d->typeCommand; }

bool FtpSession::QueryFeatures()
{
    d->features.clear();
    d->digestCheck.Reset({});
    if (!Command(QStringLiteral("FEAT"), 211))
        return false;
    d->features = ParseFeatures(d->replyText);
    d->digestCheck.Reset(d->features);
    // RFC 2640: a server that lists UTF8 takes UTF-8 names; some (IIS, FileZilla Server) only
    // after OPTS UTF8 ON. An automatic choice follows it whatever the answer.
    const bool automatic = d->charsetChoice.isEmpty();
    if (HasFeature(QStringLiteral("UTF8")) && (automatic || d->codec->Charset() == "UTF-8")) {
        Command(QStringLiteral("OPTS UTF8 ON"), 200);
        if (automatic)
            d->codec = std::make_unique<WireCodec>(QByteArrayLiteral("UTF-8"));
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
            Command(QStringLiteral("OPTS MLST ") + facts.join(QLatin1Char(';')) + QLatin1Char(';'), 200);
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
    if (name.isEmpty() || !HasFeature(QStringLiteral("MDTM")) || !Command(QStringLiteral("MDTM ") + name, 213))
        return {};
    // "213 20240115102200" (some servers add fractions of a second).
    return ParseMachineTime(QStringView(d->replyText).mid(4).trimmed().split(QLatin1Char(' ')).value(0));
}

bool FtpSession::SetRemoteModificationTime(const QString& name, const QDateTime& time)
{
    if (name.isEmpty() || !time.isValid() || !HasFeature(QStringLiteral("MFMT")))
        return false;
    // Answered "213 Modify=20240115102200; a.txt" or "213 UTIME OK" and the like.
    const QString value = time.toUTC().toString(QStringLiteral("yyyyMMddHHmmss"));
    return SendCommand(QStringLiteral("MFMT ") + value + QLatin1Char(' ') + name) && ReadReply() &&
           d->replyCode >= 200 && d->replyCode <= 299;
}

qint64 FtpSession::RemoteFileSize(const QString& name)
{
    if (name.isEmpty() || !HasFeature(QStringLiteral("SIZE")) || !Command(QStringLiteral("SIZE ") + name, 213))
        return -1;
    return ParseSizeReply(d->replyText);
}

FtpSession::RemoteName FtpSession::AskRemoteName(const QString& path)
{
    // A reply is read only for a command that went out: a name the wire cannot carry sends
    // nothing, and the latest code would then be an older command's.
    const auto ask = [this](const QString& command) { return SendCommand(command) && ReadReply(); };
    if (HasFeature(QStringLiteral("MLST")) && ask(QStringLiteral("MLST ") + path)) {
        if (d->replyCode == 250)
            return {RemoteName::Exists, RemoteFileSize(path)};
        if (d->replyCode == 550)
            return {RemoteName::Absent, -1};
    }
    if (HasFeature(QStringLiteral("SIZE")) && ask(QStringLiteral("SIZE ") + path)) {
        const qint64 size = d->replyCode == 213 ? ParseSizeReply(d->replyText) : -1;
        if (size >= 0)
            return {RemoteName::Exists, size};
        if (d->replyCode == 550 && TypeCommand() == QLatin1String("TYPE I"))
            return {RemoteName::Absent, -1};
    }
    return {};
}

// ---------------------------------------------------------------------------------------------
// Options

bool FtpSession::IsPassiveMode() const { return d->passiveMode; }
void FtpSession::SetPassiveMode(bool passive) { d->passiveMode = passive; }
qint64 FtpSession::TransferSize() const { return d->transferSize; }
void FtpSession::SetTransferSize(qint64 size) { d->transferSize = size; }
void FtpSession::SetProgressCallback(ProgressCallback callback) { d->progress = std::move(callback); }
std::chrono::milliseconds FtpSession::IdleLimit() const { return d->idleLimit; }
void FtpSession::SetIdleLimit(std::chrono::milliseconds limit) { d->idleLimit = limit; }
qint64 FtpSession::TransferOffset() const { return d->progressBase; }
void FtpSession::SetVerifyTransfers(bool verify) { d->verifyTransfers = verify; }
QString FtpSession::LastVerification() const { return d->lastVerification; }
bool FtpSession::LastListingIsMachine() const { return d->lastListingMachine; }
bool FtpSession::LastListingCut() const { return d->lastListingCut; }
void FtpSession::SetListingLimit(qsizetype bytes) { d->listingLimit = bytes; }
void FtpSession::SetCharset(const QByteArray& charset) { d->charsetChoice = charset; }
QByteArray FtpSession::WireCharset() const { return d->codec->Charset(); }
