#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/cancel_signal.h"
#include "engine/data_stream.h"
#include "engine/transfer_files.h"
#include "engine/ftp_reply.h"
#include "engine/local_name.h"
#include "engine/sockets.h"
#include "engine/tls_data_stream.h"
#include "engine/transfer_digest.h"
#include "engine/wire_codec.h"

#include <QCryptographicHash>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <utility>
#include <cerrno>
#include <vector>

namespace {

const QString ClosedReplyText = QStringLiteral("GetResponce nRead=0 Error");
const QString NoConnectionText = QString(QChar(1));

constexpr qsizetype ControlReadSize = 16 * 1024;
// After ABOR: once a positive reply came, the one that may still follow it is waited for only
// this long before a NOOP settles the count.
constexpr std::chrono::milliseconds AbortGrace{250};

std::chrono::milliseconds Until(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
}

}  // namespace

FtpSession::FtpSession() : d(std::make_unique<Private>())
{
    d->listenSocket.WatchCancel(d->cancel.Fd());
}

FtpSession::~FtpSession() = default;

// ---------------------------------------------------------------------------------------------
// Control connection

bool FtpSession::CreateControlSocket()
{
    d->controlTls.reset();
    d->controlSocket = std::make_unique<ControlSocket>();
    d->controlSocket->WatchCancel(d->ignoringCancel ? -1 : d->cancel.Fd());
    d->reader.Clear();
    d->ClearOwed();
    return true;
}

void FtpSession::ReleaseControlSocket()
{
    d->controlTls.reset();
    d->controlSocket.reset();
    d->reader.Clear();
    d->ClearOwed();
}

bool FtpSession::IsConnected() const
{
    return d->Established() && d->controlSocket->IsOpen();
}

void FtpSession::Cancel() { d->cancel.Raise(); }
bool FtpSession::IsCancelled() const { return d->cancel.IsRaised(); }
void FtpSession::ResetCancel() { d->cancel.Reset(); }

bool FtpSession::CancelPending() const
{
    return d->cancel.IsRaised() && !d->ignoringCancel;
}

void FtpSession::EndCancelled()
{
    d->replyCode = LocalStatus::Cancelled;
    d->replyText = LocalStatus::CancelledText;
}

void FtpSession::DropControlConnection()
{
    d->controlTls.reset();
    if (d->controlSocket)
        d->controlSocket->Close();
    d->reader.Clear();
    d->ClearOwed();
}

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

bool FtpSession::SendCommand(const QString& command)
{
    if (CancelPending())
        return false;
    SettleCancelled();
    // A TYPE sent by the caller leaves the type in force unknown.
    if (command.startsWith(QLatin1String("TYPE"), Qt::CaseInsensitive))
        d->typeInForce.clear();
    return SendLine(command);
}

bool FtpSession::SendLine(const QString& command)
{
    if (!d->Established() || !d->controlSocket->IsOpen() || command.isEmpty())
        return false;
    QString line = command;
    if (line.endsWith(QLatin1String("\r\n")))
        line.chop(2);
    // One command per line: a CR, LF or NUL inside would let a name smuggle in another command.
    for (QChar c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return false;
    }
    std::optional<QByteArray> bytes = d->codec->Encode(line);
    if (!bytes)
        return false;
    // The control connection speaks Telnet (RFC 959 after RFC 854): a data byte 0xFF is sent
    // as IAC IAC, or the server would take it for the start of a Telnet command.
    bytes->replace(QByteArrayView("\xff", 1), QByteArrayView("\xff\xff", 2));
    bytes->append("\r\n", 2);
    // A line is short and never waits long; a cancel must not cut it in half, which would
    // leave the server a garbled command.
    const auto whole = d->IgnoreCancel();
    if (!d->ControlSend(bytes->constData(), bytes->size())) {
        d->controlSocket->Close();  // broken: later sends and reads end at once
        return false;
    }
    return true;
}

FtpSession::ReadEnd FtpSession::ReadOne(std::chrono::milliseconds limit, bool keepOnSilence)
{
    if (!d->Established())
        return ReadEnd::Broken;
    // Kept open, the read is bounded as a whole; otherwise each wait may last the idle limit.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QByteArray raw;
    char buffer[ControlReadSize];
    for (;;) {
        const ReplyReader::Result result = d->reader.Take(raw);
        if (result == ReplyReader::Result::Complete)
            break;
        if (result == ReplyReader::Result::TooLong || !d->controlSocket->IsOpen()) {
            DropControlConnection();
            return ReadEnd::Broken;
        }
        const std::chrono::milliseconds wait = keepOnSilence ? Until(deadline) : limit;
        if (wait.count() <= 0)
            return ReadEnd::Silent;
        const qsizetype n = d->ControlReceive(buffer, sizeof buffer, wait);
        if (n > 0) {
            d->reader.Append(buffer, n);
            continue;
        }
        if (n < 0 && CancelPending())
            return ReadEnd::Cancelled;  // what arrived so far stays in the reader
        if (n < 0 && keepOnSilence && Until(deadline).count() <= 0)
            return ReadEnd::Silent;
        if (n == 0 || keepOnSilence) {
            DropControlConnection();
            return ReadEnd::Broken;
        }
        // An error or a silent server: the reply is the lines that arrived complete.
        raw = d->reader.CompletedLines();
        DropControlConnection();
        break;
    }
    d->replyCode = ParseReplyCode(raw);
    d->replyText = d->codec->Decode(WithCrLfLineEnds(raw));
    // 421: the server is closing the connection; its text says why.
    if (d->replyCode == 421)
        DropControlConnection();
    return ReadEnd::Reply;
}

bool FtpSession::ReadReply()
{
    const ReadEnd end = ReadOne(d->idleLimit, false);
    if (end == ReadEnd::Cancelled) {
        // The awaited reply is still to come; it is taken before the next command, so that the
        // next command reads its own.
        if (d->owed == Private::Owed::Nothing)
            d->owed = Private::Owed::Reply;
        EndCancelled();
    }
    return end == ReadEnd::Reply;
}

void FtpSession::AbortTransfer(DataStream* data)
{
    // The data connection goes first: a server still sending then fails at once (426) instead
    // of sending the rest of the file before it reads ABOR.
    if (data)
        data->Abort();
    d->listenSocket.Close();
    // ABOR and the replies wait for SettleCancelled: a server that never answers must not hold
    // the cancel up.
    d->owed = Private::Owed::Abort;
}

bool FtpSession::SettlePending() const
{
    return d->owed != Private::Owed::Nothing && IsConnected();
}

void FtpSession::SettleCancelled()
{
    const Private::Owed owed = d->owed;
    const QStringList after = d->afterSettling;
    d->ClearOwed();
    if (owed == Private::Owed::Nothing || !IsConnected())
        return;
    // The operation's outcome stays what its caller was told.
    const int code = d->replyCode;
    const QString text = d->replyText;
    const auto settle = d->IgnoreCancel();
    if (owed == Private::Owed::Reply) {
        if (ReadOne(AbortBound, true) != ReadEnd::Reply)
            DropControlConnection();
    } else {
        ReadAbortReplies();
    }
    for (const QString& command : after) {
        if (!IsConnected())
            break;
        if (SendLine(command) && ReadOne(AbortBound, true) != ReadEnd::Reply)
            DropControlConnection();
    }
    if (IsConnected()) {
        d->replyCode = code;
        d->replyText = text;
    }
}

void FtpSession::ChangeDirAfterSettling(const QString& folder)
{
    if (d->owed == Private::Owed::Nothing)
        ChangeDir(folder);
    else
        d->afterSettling << QStringLiteral("CWD ") + folder;
}

bool FtpSession::DeleteFileAfterSettling(const QString& name)
{
    if (d->owed == Private::Owed::Nothing)
        return DeleteRemoteFile(name) || d->replyCode == 550;
    d->afterSettling << QStringLiteral("DELE ") + name;
    return true;
}

void FtpSession::ReadAbortReplies()
{
    if (!SendLine(QStringLiteral("ABOR")))
        return;  // the connection is gone
    // The transfer's own final reply (426, or 226 when it ended first, or a refusal) and the
    // reply to ABOR (225/226): two final replies put the connection back in step. Fewer within
    // the bound (a server that answers ABOR only once, or not at all, or with a lone 150) are
    // settled by a NOOP.
    const auto deadline = std::chrono::steady_clock::now() + AbortBound;
    int finals = 0;
    bool positive = false;
    while (finals < 2) {
        std::chrono::milliseconds left = Until(deadline);
        if (positive)
            left = std::min(left, AbortGrace);
        if (left.count() <= 0)
            break;
        const ReadEnd end = ReadOne(left, true);
        if (end == ReadEnd::Broken)
            return;
        if (end != ReadEnd::Reply)
            break;
        if (d->replyCode >= 200) {
            ++finals;
            positive = d->replyCode < 300;
        }
    }
    if (finals < 2)
        Resynchronize();
}

void FtpSession::Resynchronize()
{
    const auto settle = d->IgnoreCancel();
    if (!SendLine(QStringLiteral("NOOP")))
        return;
    const auto deadline = std::chrono::steady_clock::now() + AbortBound;
    for (;;) {
        const ReadEnd end = ReadOne(Until(deadline), true);
        if (end == ReadEnd::Reply && d->replyCode == 200)
            return;
        if (end != ReadEnd::Reply) {
            // Which reply answers what can no longer be told: better a new connection than
            // one that stays a reply behind.
            DropControlConnection();
            return;
        }
    }
}

QString FtpSession::GetResponce()
{
    SettleCancelled();
    if (!d->Established())
        return NoConnectionText;
    return ReadReply() ? d->replyText : ClosedReplyText;
}

bool FtpSession::Command(const QString& command, int expectedCode)
{
    return SendCommand(command) && ReadReply() && d->replyCode == expectedCode;
}

QString FtpSession::GetReplyText() const { return d->replyText; }
void FtpSession::SetReplyText(const QString& text) { d->replyText = text; }
int FtpSession::GetReplyCode() const { return d->replyCode; }
void FtpSession::SetReplyCode(int code) { d->replyCode = code; }

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
    bool ok = false;
    const qint64 size = QStringView(d->replyText).mid(4).trimmed().split(QLatin1Char(' ')).value(0).toLongLong(&ok);
    return ok && size >= 0 ? size : -1;
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
