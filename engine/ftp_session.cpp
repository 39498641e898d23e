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

// The port of a 229 reply, "(|||port|)" with any delimiter character; 0 when there is none.
int ParseExtendedPassivePort(const QString& reply)
{
    const qsizetype open = reply.indexOf(QLatin1Char('('));
    if (open < 0 || open + 4 >= reply.size())
        return 0;
    const QChar delimiter = reply.at(open + 1);
    if (reply.at(open + 2) != delimiter || reply.at(open + 3) != delimiter)
        return 0;
    const QStringView rest = QStringView(reply).mid(open + 4);
    const qsizetype end = rest.indexOf(delimiter);
    bool ok = false;
    const int port = end > 0 ? rest.first(end).toInt(&ok) : 0;
    return ok ? port : 0;
}

// "192,168,1,2,19,137" in "227 Entering Passive Mode 192,168,1,2,19,137": the first run of six
// numbers joined by commas (blanks allowed around them); empty when there is none.
QStringView FirstSixNumbers(const QString& reply)
{
    auto isDigit = [&](qsizetype i) { return i < reply.size() && reply.at(i) >= u'0' && reply.at(i) <= u'9'; };
    for (qsizetype begin = 0; begin < reply.size(); ++begin) {
        if (!isDigit(begin) || (begin > 0 && isDigit(begin - 1)))
            continue;
        qsizetype at = begin;
        int numbers = 0;
        for (;;) {
            if (!isDigit(at))
                break;
            while (isDigit(at))
                ++at;
            if (++numbers == 6)
                return QStringView(reply).mid(begin, at - begin);
            qsizetype next = at;
            while (next < reply.size() && reply.at(next) == u' ')
                ++next;
            if (next >= reply.size() || reply.at(next) != u',')
                break;
            ++next;
            while (next < reply.size() && reply.at(next) == u' ')
                ++next;
            at = next;
        }
    }
    return {};
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

bool FtpSession::StartTls(const QString& host, quint16 port)
{
    if (d->encryption == Encryption::None)
        return true;
    if (!SendCommand(QStringLiteral("AUTH TLS")) || !ReadReply())
        return false;
    if (d->replyCode != 234) {
        d->tlsState = TlsState::Refused;
        // Decided by this reply alone: some servers list AUTH TLS in FEAT and then refuse it.
        if (d->encryption == Encryption::IfAvailable && d->replyCode >= 400 && d->replyCode <= 599) {
            if (!IsConnected())
                return false;  // a 421 closed it all the same
            // Anyone on the path can answer AUTH TLS with a refusal: clear text needs a yes.
            if (!d->clearTextCheck || d->clearTextCheck(host, port))
                return true;
        }
        d->replyCode = LocalStatus::TlsRefused;  // the text stays the server's
        return false;
    }
    auto fail = [this](TlsState state, int code, const QString& why) {
        d->tlsState = state;
        d->replyCode = code;
        d->replyText = QStringLiteral("%1 %2\r\n").arg(code).arg(why);
        DropControlConnection();
        return false;
    };
    // Anything after the 234 in clear text would be taken for protected replies later.
    if (!d->reader.IsEmpty())
        return fail(TlsState::Failed, LocalStatus::TlsFailed, QStringLiteral("clear text after AUTH TLS"));
    d->tls = std::make_unique<TlsContext>();
    d->tlsHost = host;
    d->controlTls = std::make_unique<TlsChannel>(*d->tls, *d->controlSocket);
    if (!d->controlTls->Handshake(host, false, d->idleLimit))
        return fail(TlsState::Failed, LocalStatus::TlsFailed, d->controlTls->ErrorText());
    const CertificateInfo certificate = d->controlTls->PeerCertificate(host);
    d->controlFingerprint = certificate.sha256;
    if (!certificate.Trusted() && !(d->certificateCheck && d->certificateCheck(certificate, host, port)))
        return fail(TlsState::CertificateRejected, LocalStatus::CertificateRejected, certificate.detail);
    d->tlsState = TlsState::Protected;
    d->protectData = Command(QStringLiteral("PBSZ 0"), 200) && Command(QStringLiteral("PROT P"), 200);
    if (!IsConnected())
        return false;
    if (!d->protectData && d->encryption == Encryption::Required)
        return fail(TlsState::Failed, LocalStatus::TlsFailed, QStringLiteral("PROT P refused"));
    return true;
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
// Data connection

void FtpSession::ParsePassiveReply(const QString& reply, QString& host, int& port)
{
    const qsizetype open = reply.indexOf(QLatin1Char('('));
    const qsizetype close = reply.indexOf(QLatin1Char(')'));
    const qsizetype start = open < 0 ? 0 : open + 1;
    QStringView span;
    if (open < 0)
        span = FirstSixNumbers(reply);
    else if (close >= start)
        span = QStringView(reply).mid(start, close - start);

    QStringView fields[6];
    for (int i = 0; i < 5; ++i) {
        const qsizetype comma = span.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;  // an empty field; the rest stays as it was
        fields[i] = span.first(comma);
        span = span.mid(comma + 1);
    }
    fields[5] = span;
    for (QStringView& field : fields)
        field = field.trimmed();

    host = QStringLiteral("%1.%2.%3.%4").arg(fields[0], fields[1], fields[2], fields[3]);
    // Each byte is clamped so that a hostile number cannot overflow; a port out of range
    // then simply fails to connect.
    auto byteOf = [](QStringView field) { return qBound(-1, ParseLeadingInt(field), 65536); };
    port = byteOf(fields[4]) * 256 + byteOf(fields[5]);
}

void FtpSession::SendTypeCommand()
{
    // A type stays in force on the server until the next TYPE (RFC 959 4.1.2), so it is sent
    // only when it changes: one round trip less per file of a batch. The server's answer does
    // not stop the transfer: a server that refuses the type still moves the data, and the
    // final reply decides; a refused type is sent again next time.
    if (d->typeInForce == d->typeCommand)
        return;
    d->typeInForce.clear();
    if (SendCommand(d->typeCommand) && ReadReply() && d->replyCode / 100 == 2)
        d->typeInForce = d->typeCommand;
}

bool FtpSession::PrepareActive()
{
    const std::optional<SocketAddress> local = d->controlSocket ? d->controlSocket->LocalAddress()
                                                                : std::nullopt;
    if (!local)
        return false;
    if (!d->listenSocket.Create(*local)) {
        d->replyCode = LocalStatus::SocketCreateFailed;
        return false;
    }
    if (!d->listenSocket.Listen(5)) {
        d->replyCode = LocalStatus::ListenFailed;
        d->listenSocket.Close();
        return false;
    }
    const std::optional<SocketAddress> bound = d->listenSocket.LocalAddress();
    if (!bound) {
        d->replyCode = LocalStatus::ListenPortUnavailable;
        d->listenSocket.Close();
        return false;
    }
    SendTypeCommand();
    const QString host = local->Host();
    const int port = bound->Port();
    QString command;
    if (host.contains(QLatin1Char(':'))) {
        // PORT can carry only IPv4; an IPv6 control connection names its address with EPRT.
        command = QStringLiteral("EPRT |2|%1|%2|").arg(host).arg(port);
    } else {
        command = QStringLiteral("PORT %1,%2,%3")
                      .arg(QString(host).replace(QLatin1Char('.'), QLatin1Char(',')))
                      .arg(port / 256)
                      .arg(port % 256);
    }
    if (!Command(command, 200)) {
        d->replyCode = LocalStatus::DataSetupRefused;
        d->listenSocket.Close();
        return false;
    }
    return true;
}

bool FtpSession::PreparePassive()
{
    SendTypeCommand();
    // PASV can carry only IPv4 (servers answer it over IPv6 with an address that cannot be
    // read); an IPv6 control connection learns the port from EPSV instead.
    const std::optional<SocketAddress> peer = d->controlSocket ? d->controlSocket->PeerAddress()
                                                               : std::nullopt;
    if (peer && peer->Host().contains(QLatin1Char(':')))
        return PrepareExtendedPassive();
    // Once PASV was refused, EPSV goes first for the rest of the session.
    if (d->passiveRefused && PrepareExtendedPassive())
        return true;
    if (Command(QStringLiteral("PASV"), 227)) {
        d->passiveRefused = false;
        ParsePassiveReply(d->replyText, d->pasvHost, d->pasvPort);
        return true;
    }
    // Servers behind some NATs and firewalls refuse PASV yet take EPSV; tried once.
    const bool refused = d->replyCode >= 500 && d->replyCode <= 599 && IsConnected() && !CancelPending();
    if (refused && !d->passiveRefused) {
        d->passiveRefused = true;
        if (PrepareExtendedPassive())
            return true;
    }
    d->replyCode = LocalStatus::DataSetupRefused;
    d->listenSocket.Close();
    return false;
}

bool FtpSession::PrepareExtendedPassive()
{
    const std::optional<SocketAddress> peer = d->controlSocket ? d->controlSocket->PeerAddress()
                                                               : std::nullopt;
    if (!peer || !Command(QStringLiteral("EPSV"), 229)) {
        d->replyCode = LocalStatus::DataSetupRefused;
        return false;
    }
    d->pasvHost = peer->Host();
    d->pasvPort = ParseExtendedPassivePort(d->replyText);
    return true;
}

bool FtpSession::ConnectPassive(PlainDataStream& data)
{
    // The data connection always goes to the host of the control connection: a 227 naming
    // another host would let a server aim the client at a third machine. The port is the
    // reply's.
    std::optional<SocketAddress> peer = d->controlSocket->PeerAddress();
    if (!peer || d->pasvPort < 1 || d->pasvPort > 65535) {
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }
    peer->SetPort(quint16(d->pasvPort));
    if (!data.Socket().Connect(*peer, d->idleLimit)) {
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }
    return true;
}

bool FtpSession::RequestRestart(Restart* restart, QString& command)
{
    if (!restart || restart->offset <= 0)
        return true;
    restart->accepted = Command(QStringLiteral("REST ") + QString::number(restart->offset), 350);
    if (restart->accepted)
        return true;
    if (!IsConnected() || CancelPending())
        return false;
    if (!restart->commandIfRefused.isEmpty())
        command = restart->commandIfRefused;
    return true;
}

FtpSession::Opening FtpSession::OpenTransfer(const QString& transferCommand, std::unique_ptr<DataStream>& data,
                                             Restart* restart)
{
    QString command = transferCommand;
    d->transferAnswered = false;
    auto plain = std::make_unique<PlainDataStream>(d->Context());
    plain->Socket().WatchCancel(d->cancel.Fd());
    if (d->passiveMode) {
        if (!PreparePassive())
            return Opening::SetupFailed;
        // Connect first, then ask: a server that refuses the command answers once and for
        // all, so nothing more is awaited after a final reply.
        if (!ConnectPassive(*plain) || !RequestRestart(restart, command) || !SendCommand(command))
            return Opening::Failed;
        const ReadEnd answer = ReadOne(d->idleLimit, false);
        if (answer == ReadEnd::Cancelled)
            AbortTransfer(plain.get());
        if (answer != ReadEnd::Reply)
            return Opening::Failed;
        if (d->replyCode < 100 || d->replyCode > 199)
            return Opening::Refused;
        d->transferAnswered = true;
        data = std::move(plain);
        return ProtectData(data) ? Opening::Open : Opening::Failed;
    }

    if (!PrepareActive())
        return Opening::SetupFailed;
    ReadEnd answer = ReadEnd::Broken;
    if (RequestRestart(restart, command) && SendCommand(command))
        answer = ReadOne(d->idleLimit, false);
    if (answer == ReadEnd::Cancelled)
        AbortTransfer(plain.get());
    if (answer != ReadEnd::Reply) {
        d->listenSocket.Close();
        return Opening::Failed;
    }
    if (d->replyCode != 150 && d->replyCode != 125) {
        d->listenSocket.DropPending();
        d->listenSocket.Close();
        return Opening::Refused;
    }
    d->transferAnswered = true;
    const std::optional<SocketAddress> server = d->controlSocket->PeerAddress();
    const bool accepted = server && d->listenSocket.Accept(plain->Socket(), *server, d->idleLimit);
    d->listenSocket.Close();
    if (!accepted) {
        if (CancelPending()) {
            AbortTransfer(plain.get());
            return Opening::Failed;
        }
        // The command was accepted, so a final reply (425 ...) follows; it is read here, or the
        // next command would take it for its own answer.
        ReadReply();
        d->replyCode = LocalStatus::DataOpenFailed;
        return Opening::Failed;
    }
    data = std::move(plain);
    return ProtectData(data) ? Opening::Open : Opening::Failed;
}

bool FtpSession::ProtectData(std::unique_ptr<DataStream>& data)
{
    if (!d->protectData || !d->tls)
        return true;
    // The handshake starts only now, after the preliminary reply: pyftpdlib resets a data
    // connection whose handshake begins before it has seen the transfer command.
    std::unique_ptr<PlainDataStream> plain(static_cast<PlainDataStream*>(data.release()));
    auto tls = std::make_unique<TlsDataStream>(d->Context(), std::move(plain), *d->tls);
    // The data connection must come from the server the control connection judged.
    if (tls->Handshake(d->tlsHost) && tls->Channel().PeerCertificate(d->tlsHost).sha256 == d->controlFingerprint) {
        d->lastDataReused = tls->Channel().SessionReused();
        data = std::move(tls);
        return true;
    }
    if (CancelPending()) {
        AbortTransfer(tls.get());
        return false;
    }
    tls->Abort();
    // The command was accepted, so its final reply (vsftpd: "522 SSL connection failed ...")
    // follows; it is read here, bounded, so the next command reads its own.
    const auto settle = d->IgnoreCancel();
    const ReadEnd end = ReadOne(AbortBound, true);
    if (end == ReadEnd::Silent)
        Resynchronize();
    if (end != ReadEnd::Reply || d->replyCode < 400)
        d->replyCode = LocalStatus::DataOpenFailed;
    return false;
}

bool FtpSession::FinishTransfer(DataStream& data, bool dataOk)
{
    data.Close();
    d->listenSocket.Close();
    const ReadEnd end = ReadOne(d->idleLimit, false);
    if (end == ReadEnd::Cancelled) {
        AbortTransfer(&data);
        return false;
    }
    // RFC 959 allows 250 as well as 226 here, and some mainframe servers send it.
    return end == ReadEnd::Reply && (d->replyCode == 226 || d->replyCode == 250) && dataOk;
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
void FtpSession::SetEncryption(Encryption encryption) { d->encryption = encryption; }
void FtpSession::SetCharset(const QByteArray& charset) { d->charsetChoice = charset; }
QByteArray FtpSession::WireCharset() const { return d->codec->Charset(); }
FtpSession::Encryption FtpSession::GetEncryption() const { return d->encryption; }
void FtpSession::SetCertificateCheck(CertificateCheck check) { d->certificateCheck = std::move(check); }
void FtpSession::SetClearTextCheck(ClearTextCheck check) { d->clearTextCheck = std::move(check); }
FtpSession::TlsState FtpSession::GetTlsState() const { return d->tlsState; }
QString FtpSession::TlsProtocol() const
{
    return d->controlTls && IsConnected() ? d->controlTls->ProtocolName() : QString();
}
bool FtpSession::DataProtected() const { return d->protectData; }
bool FtpSession::LastDataSessionReused() const { return d->lastDataReused; }
QString FtpSession::PasvHost() const { return d->pasvHost; }
int FtpSession::PasvPort() const { return d->pasvPort; }
