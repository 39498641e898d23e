// The control connection of an FtpSession: its lines and replies, cancelling, and the settling
// of what a cancelled exchange left owing.

#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/data_stream.h"
#include "engine/ftp_reply.h"
#include "engine/sockets.h"
#include "engine/wire_codec.h"

#include <algorithm>
#include <chrono>
#include <optional>

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
