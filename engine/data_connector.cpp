// The data connections of an FtpSession: PORT/EPRT or PASV/EPSV, REST, the transfer command,
// the connection itself (TLS when the data is protected), and the final reply.

#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/data_stream.h"
#include "engine/ftp_reply.h"
#include "engine/sockets.h"
#include "engine/tls_data_stream.h"

#include <optional>
#include <utility>


// ---------------------------------------------------------------------------------------------
// Data connection

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


QString FtpSession::PasvHost() const { return d->pasvHost; }
int FtpSession::PasvPort() const { return d->pasvPort; }
