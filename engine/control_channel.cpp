// The control connection: its lines and replies, cancelling, and the settling of what a
// cancelled exchange left owing.

#include "engine/control_channel.h"

#include "engine/ftp_session.h"

#include <algorithm>

namespace {

constexpr qsizetype ControlReadSize = 16 * 1024;
// After ABOR: once a positive reply came, the one that may still follow it is waited for only
// this long before a NOOP settles the count.
constexpr std::chrono::milliseconds AbortGrace{250};

std::chrono::milliseconds Until(std::chrono::steady_clock::time_point deadline)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
}

}  // namespace

void ControlChannel::Create()
{
    tls.reset();
    socket = std::make_unique<ControlSocket>();
    socket->WatchCancel(ignoringCancel ? -1 : cancel.Fd());
    reader.Clear();
    ClearOwed();
}

void ControlChannel::Release()
{
    tls.reset();
    socket.reset();
    reader.Clear();
    ClearOwed();
}

void ControlChannel::Drop()
{
    tls.reset();
    if (socket)
        socket->Close();
    reader.Clear();
    ClearOwed();
}

bool ControlChannel::Connect(const QString& host, quint16 port)
{
    connected = !CancelPending() && socket && socket->ConnectToHost(host, port, idleLimit);
    return connected;
}

std::optional<SocketAddress> ControlChannel::LocalAddress() const
{
    return socket ? socket->LocalAddress() : std::nullopt;
}

std::optional<SocketAddress> ControlChannel::PeerAddress() const
{
    return socket ? socket->PeerAddress() : std::nullopt;
}

bool ControlChannel::StartTls(TlsContext& context, const QString& host)
{
    tls = std::make_unique<TlsChannel>(context, *socket);
    return tls->Handshake(host, false, idleLimit);
}

void ControlChannel::EndCancelled()
{
    replyCode = LocalStatus::Cancelled;
    replyText = LocalStatus::CancelledText;
}

void ControlChannel::SetIgnoringCancel(bool on)
{
    ignoringCancel = on;
    if (socket)
        socket->WatchCancel(on ? -1 : cancel.Fd());
}

ControlChannel::CancelIgnored ControlChannel::IgnoreCancel()
{
    const bool before = ignoringCancel;
    SetIgnoringCancel(true);
    return CancelIgnored{*this, before};
}

bool ControlChannel::Send(const char* data, qsizetype size)
{
    return tls ? tls->SendAll(data, size, idleLimit) : socket->SendAll(data, size, idleLimit);
}

qsizetype ControlChannel::Receive(char* buffer, qsizetype size, std::chrono::milliseconds limit)
{
    return tls ? tls->Receive(buffer, size, limit) : socket->Receive(buffer, size, limit);
}

bool ControlChannel::Send(const QString& command)
{
    if (CancelPending())
        return false;
    Settle();
    return SendLine(command);
}

bool ControlChannel::SendLine(const QString& command)
{
    if (!Established() || !socket->IsOpen() || command.isEmpty())
        return false;
    QString line = command;
    if (line.endsWith(QLatin1String("\r\n")))
        line.chop(2);
    // One command per line: a CR, LF or NUL inside would let a name smuggle in another command.
    for (QChar c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return false;
    }
    std::optional<QByteArray> bytes = codec->Encode(line);
    if (!bytes)
        return false;
    // The control connection speaks Telnet (RFC 959 after RFC 854): a data byte 0xFF is sent
    // as IAC IAC, or the server would take it for the start of a Telnet command.
    bytes->replace(QByteArrayView("\xff", 1), QByteArrayView("\xff\xff", 2));
    bytes->append("\r\n", 2);
    // A line is short and never waits long; a cancel must not cut it in half, which would
    // leave the server a garbled command.
    const auto whole = IgnoreCancel();
    if (!Send(bytes->constData(), bytes->size())) {
        socket->Close();  // broken: later sends and reads end at once
        return false;
    }
    return true;
}

ControlChannel::ReadEnd ControlChannel::ReadOne(std::chrono::milliseconds limit, bool keepOnSilence)
{
    if (!Established())
        return ReadEnd::Broken;
    // Kept open, the read is bounded as a whole; otherwise each wait may last the idle limit.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    QByteArray raw;
    char buffer[ControlReadSize];
    for (;;) {
        const ReplyReader::Result result = reader.Take(raw);
        if (result == ReplyReader::Result::Complete)
            break;
        if (result == ReplyReader::Result::TooLong || !socket->IsOpen()) {
            Drop();
            return ReadEnd::Broken;
        }
        const std::chrono::milliseconds wait = keepOnSilence ? Until(deadline) : limit;
        if (wait.count() <= 0)
            return ReadEnd::Silent;
        const qsizetype n = Receive(buffer, sizeof buffer, wait);
        if (n > 0) {
            reader.Append(buffer, n);
            continue;
        }
        if (n < 0 && CancelPending())
            return ReadEnd::Cancelled;  // what arrived so far stays in the reader
        if (n < 0 && keepOnSilence && Until(deadline).count() <= 0)
            return ReadEnd::Silent;
        if (n == 0 || keepOnSilence) {
            Drop();
            return ReadEnd::Broken;
        }
        // An error or a silent server: the reply is the lines that arrived complete.
        raw = reader.CompletedLines();
        Drop();
        break;
    }
    replyCode = ParseReplyCode(raw);
    replyText = codec->Decode(WithCrLfLineEnds(raw));
    // 421: the server is closing the connection; its text says why.
    if (replyCode == 421)
        Drop();
    return ReadEnd::Reply;
}

bool ControlChannel::ReadReply()
{
    const ReadEnd end = ReadOne(idleLimit, false);
    if (end == ReadEnd::Cancelled) {
        // The awaited reply is still to come; it is taken before the next command, so that the
        // next command reads its own.
        if (owed == Owed::Nothing)
            owed = Owed::Reply;
        EndCancelled();
    }
    return end == ReadEnd::Reply;
}

ControlChannel::First ControlChannel::DataBeforeReply(const StreamSocket& data)
{
    if (tls || !Established() || !reader.IsEmpty() || CancelPending())
        return First::Other;
    const int ready = WaitReadable(data, *socket, idleLimit);
    if (ready < 0)
        return CancelPending() ? First::Other : First::Silence;
    return ready == 0 && data.HasBytesWaiting() ? First::Data : First::Other;
}

bool ControlChannel::Command(const QString& command, int expectedCode)
{
    return Send(command) && ReadReply() && replyCode == expectedCode;
}

void ControlChannel::ClearOwed()
{
    owed = Owed::Nothing;
    afterSettling.clear();
}

void ControlChannel::Settle()
{
    const Owed was = owed;
    const QStringList after = afterSettling;
    ClearOwed();
    if (was == Owed::Nothing || !IsConnected())
        return;
    // The operation's outcome stays what its caller was told.
    const int code = replyCode;
    const QString text = replyText;
    const auto settle = IgnoreCancel();
    if (was == Owed::Reply) {
        if (ReadOne(FtpSession::AbortBound, true) != ReadEnd::Reply)
            Drop();
    } else {
        ReadAbortReplies();
    }
    for (const QString& command : after) {
        if (!IsConnected())
            break;
        if (SendLine(command) && ReadOne(FtpSession::AbortBound, true) != ReadEnd::Reply)
            Drop();
    }
    if (IsConnected()) {
        replyCode = code;
        replyText = text;
    }
}

bool ControlChannel::QueueAfterSettling(const QString& command)
{
    if (owed == Owed::Nothing)
        return false;
    afterSettling << command;
    return true;
}

void ControlChannel::ReadAbortReplies()
{
    if (!SendLine(QStringLiteral("ABOR")))
        return;  // the connection is gone
    // The transfer's own final reply (426, or 226 when it ended first, or a refusal) and the
    // reply to ABOR (225/226): two final replies put the connection back in step. Fewer within
    // the bound (a server that answers ABOR only once, or not at all, or with a lone 150) are
    // settled by a NOOP.
    const auto deadline = std::chrono::steady_clock::now() + FtpSession::AbortBound;
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
        if (replyCode >= 200) {
            ++finals;
            positive = replyCode < 300;
        }
    }
    if (finals < 2)
        Resynchronize();
}

void ControlChannel::Resynchronize()
{
    const auto settle = IgnoreCancel();
    if (!SendLine(QStringLiteral("NOOP")))
        return;
    const auto deadline = std::chrono::steady_clock::now() + FtpSession::AbortBound;
    for (;;) {
        const ReadEnd end = ReadOne(Until(deadline), true);
        if (end == ReadEnd::Reply && replyCode == 200)
            return;
        if (end != ReadEnd::Reply) {
            // Which reply answers what can no longer be told: better a new connection than
            // one that stays a reply behind.
            Drop();
            return;
        }
    }
}
