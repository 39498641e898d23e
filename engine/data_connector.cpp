// The data connections of a session: PORT/EPRT or PASV/EPSV, REST, the transfer command, the
// connection itself (TLS when the data is protected), and the final reply.

#include "engine/data_connector.h"

#include "engine/control_channel.h"
#include "engine/ftp_reply.h"
#include "engine/ftp_session.h"
#include "engine/tls_data_stream.h"

#include <optional>
#include <utility>


DataConnector::DataConnector(ControlChannel& control) : control(control)
{
    listenSocket.WatchCancel(control.Cancel().Fd());
}

void DataConnector::Reset()
{
    passiveRefused = false;
    typeInForce.clear();
    tls = nullptr;
}

void DataConnector::Protect(TlsContext* context, const QString& host, const QString& print)
{
    tls = context;
    tlsHost = host;
    fingerprint = print;
}

void DataConnector::SendType()
{
    // A type stays in force on the server until the next TYPE (RFC 959 4.1.2), so it is sent
    // only when it changes: one round trip less per file of a batch. The server's answer does
    // not stop the transfer: a server that refuses the type still moves the data, and the
    // final reply decides; a refused type is sent again next time.
    if (typeInForce == type)
        return;
    typeInForce.clear();
    if (control.Send(type) && control.ReadReply() && control.ReplyCode() / 100 == 2)
        typeInForce = type;
}

bool DataConnector::PrepareActive()
{
    const std::optional<SocketAddress> local = control.LocalAddress();
    if (!local)
        return false;
    if (!listenSocket.Create(*local)) {
        control.SetReplyCode(LocalStatus::SocketCreateFailed);
        return false;
    }
    if (!listenSocket.Listen(5)) {
        control.SetReplyCode(LocalStatus::ListenFailed);
        listenSocket.Close();
        return false;
    }
    const std::optional<SocketAddress> bound = listenSocket.LocalAddress();
    if (!bound) {
        control.SetReplyCode(LocalStatus::ListenPortUnavailable);
        listenSocket.Close();
        return false;
    }
    SendType();
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
    if (!control.Command(command, 200)) {
        control.SetReplyCode(LocalStatus::DataSetupRefused);
        listenSocket.Close();
        return false;
    }
    return true;
}

bool DataConnector::PreparePassive()
{
    SendType();
    // PASV can carry only IPv4 (servers answer it over IPv6 with an address that cannot be
    // read); an IPv6 control connection learns the port from EPSV instead.
    const std::optional<SocketAddress> peer = control.PeerAddress();
    if (peer && peer->Host().contains(QLatin1Char(':')))
        return PrepareExtendedPassive();
    // Once PASV was refused, EPSV goes first for the rest of the session.
    if (passiveRefused && PrepareExtendedPassive())
        return true;
    if (control.Command(QStringLiteral("PASV"), 227)) {
        passiveRefused = false;
        ParsePassiveReply(control.ReplyText(), pasvHost, pasvPort);
        return true;
    }
    // Servers behind some NATs and firewalls refuse PASV yet take EPSV; tried once.
    const int code = control.ReplyCode();
    const bool refused = code >= 500 && code <= 599 && control.IsConnected() && !control.CancelPending();
    if (refused && !passiveRefused) {
        passiveRefused = true;
        if (PrepareExtendedPassive())
            return true;
    }
    control.SetReplyCode(LocalStatus::DataSetupRefused);
    listenSocket.Close();
    return false;
}

bool DataConnector::PrepareExtendedPassive()
{
    const std::optional<SocketAddress> peer = control.PeerAddress();
    if (!peer || !control.Command(QStringLiteral("EPSV"), 229)) {
        control.SetReplyCode(LocalStatus::DataSetupRefused);
        return false;
    }
    pasvHost = peer->Host();
    pasvPort = ParseExtendedPassivePort(control.ReplyText());
    return true;
}

bool DataConnector::ConnectPassive(PlainDataStream& data)
{
    // The data connection always goes to the host of the control connection: a 227 naming
    // another host would let a server aim the client at a third machine. The port is the
    // reply's.
    std::optional<SocketAddress> peer = control.PeerAddress();
    if (!peer || pasvPort < 1 || pasvPort > 65535) {
        control.SetReplyCode(LocalStatus::DataOpenFailed);
        return false;
    }
    peer->SetPort(quint16(pasvPort));
    if (!data.Socket().Connect(*peer, control.IdleLimit())) {
        control.SetReplyCode(LocalStatus::DataOpenFailed);
        return false;
    }
    return true;
}

bool DataConnector::RequestRestart(Restart* restart, QString& command)
{
    if (!restart || restart->offset <= 0)
        return true;
    restart->accepted = control.Command(QStringLiteral("REST ") + QString::number(restart->offset), 350);
    if (restart->accepted)
        return true;
    if (!control.IsConnected() || control.CancelPending())
        return false;
    if (!restart->commandIfRefused.isEmpty())
        command = restart->commandIfRefused;
    return true;
}

DataConnector::Opening DataConnector::Open(const QString& transferCommand, std::unique_ptr<DataStream>& data,
                                           const DataContext& context, Restart* restart)
{
    QString command = transferCommand;
    answered = false;
    preliminaryOwed = false;
    auto plain = std::make_unique<PlainDataStream>(context);
    plain->Socket().WatchCancel(control.Cancel().Fd());
    if (passive) {
        if (!PreparePassive())
            return Opening::SetupFailed;
        // Connect first, then ask: a server that refuses the command answers once and for
        // all, so nothing more is awaited after a final reply.
        if (!ConnectPassive(*plain) || !RequestRestart(restart, command) || !control.Send(command))
            return Opening::Failed;
        // Data that comes before the preliminary reply is taken at once, and the reply read after
        // it: a server that sends its final reply only once the client has closed the data
        // connection (vsftpd) would otherwise cost every file a second round trip. Only bytes
        // decide it; an end of the connection (a refusal, an empty file) leaves it to the reply.
        // Protected data waits for the reply: its handshake must not start before it.
        const ControlChannel::First first =
            tls ? ControlChannel::First::Other : control.DataBeforeReply(plain->Socket());
        if (first == ControlChannel::First::Data) {
            answered = true;
            preliminaryOwed = true;
            data = std::move(plain);
            return Opening::Open;
        }
        const auto limit = first == ControlChannel::First::Silence ? std::chrono::milliseconds(1) : control.IdleLimit();
        const ControlChannel::ReadEnd answer = control.ReadOne(limit, false);
        if (answer == ControlChannel::ReadEnd::Cancelled)
            Abort(plain.get());
        if (answer != ControlChannel::ReadEnd::Reply)
            return Opening::Failed;
        if (control.ReplyCode() < 100 || control.ReplyCode() > 199)
            return Opening::Refused;
        answered = true;
        data = std::move(plain);
        return ProtectData(data, context) ? Opening::Open : Opening::Failed;
    }

    if (!PrepareActive())
        return Opening::SetupFailed;
    ControlChannel::ReadEnd answer = ControlChannel::ReadEnd::Broken;
    if (RequestRestart(restart, command) && control.Send(command))
        answer = control.ReadOne(control.IdleLimit(), false);
    if (answer == ControlChannel::ReadEnd::Cancelled)
        Abort(plain.get());
    if (answer != ControlChannel::ReadEnd::Reply) {
        listenSocket.Close();
        return Opening::Failed;
    }
    if (control.ReplyCode() != 150 && control.ReplyCode() != 125) {
        listenSocket.DropPending();
        listenSocket.Close();
        return Opening::Refused;
    }
    answered = true;
    const std::optional<SocketAddress> server = control.PeerAddress();
    const bool accepted = server && listenSocket.Accept(plain->Socket(), *server, control.IdleLimit());
    listenSocket.Close();
    if (!accepted) {
        if (control.CancelPending()) {
            Abort(plain.get());
            return Opening::Failed;
        }
        // The command was accepted, so a final reply (425 ...) follows; it is read here, or the
        // next command would take it for its own answer.
        control.ReadReply();
        control.SetReplyCode(LocalStatus::DataOpenFailed);
        return Opening::Failed;
    }
    data = std::move(plain);
    return ProtectData(data, context) ? Opening::Open : Opening::Failed;
}

bool DataConnector::ProtectData(std::unique_ptr<DataStream>& data, const DataContext& context)
{
    if (!tls)
        return true;
    // The handshake starts only now, after the preliminary reply: pyftpdlib resets a data
    // connection whose handshake begins before it has seen the transfer command.
    std::unique_ptr<PlainDataStream> plain(static_cast<PlainDataStream*>(data.release()));
    auto stream = std::make_unique<TlsDataStream>(context, std::move(plain), *tls);
    // The data connection must come from the server the control connection judged.
    if (stream->Handshake(tlsHost) && stream->Channel().PeerCertificate(tlsHost).sha256 == fingerprint) {
        lastReused = stream->Channel().SessionReused();
        data = std::move(stream);
        return true;
    }
    if (control.CancelPending()) {
        Abort(stream.get());
        return false;
    }
    stream->Abort();
    // The command was accepted, so its final reply (vsftpd: "522 SSL connection failed ...")
    // follows; it is read here, bounded, so the next command reads its own.
    const auto settle = control.IgnoreCancel();
    const ControlChannel::ReadEnd end = control.ReadOne(FtpSession::AbortBound, true);
    if (end == ControlChannel::ReadEnd::Silent)
        control.Resynchronize();
    if (end != ControlChannel::ReadEnd::Reply || control.ReplyCode() < 400)
        control.SetReplyCode(LocalStatus::DataOpenFailed);
    return false;
}

bool DataConnector::Finish(DataStream& data, bool dataOk)
{
    data.Close();
    listenSocket.Close();
    ControlChannel::ReadEnd end = control.ReadOne(control.IdleLimit(), false);
    // The preliminary reply of data that came before it; a server may also fail the command
    // with a final reply alone.
    if (std::exchange(preliminaryOwed, false) && end == ControlChannel::ReadEnd::Reply && control.ReplyCode() >= 100 &&
        control.ReplyCode() <= 199)
        end = control.ReadOne(control.IdleLimit(), false);
    if (end == ControlChannel::ReadEnd::Cancelled) {
        Abort(&data);
        return false;
    }
    // RFC 959 allows 250 as well as 226 here, and some mainframe servers send it.
    const int code = control.ReplyCode();
    return end == ControlChannel::ReadEnd::Reply && (code == 226 || code == 250) && dataOk;
}

void DataConnector::Abort(DataStream* data)
{
    // The data connection goes first: a server still sending then fails at once (426) instead
    // of sending the rest of the file before it reads ABOR.
    if (data)
        data->Abort();
    listenSocket.Close();
    // The settling reads final replies only: a preliminary one still owed is passed over there.
    preliminaryOwed = false;
    // ABOR and the replies wait for the settling: a server that never answers must not hold the
    // cancel up.
    control.OweAbort();
}
