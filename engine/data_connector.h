#pragma once

#include "engine/data_stream.h"
#include "engine/sockets.h"

#include <QString>

#include <memory>

class ControlChannel;
class TlsContext;

// The data connections of a session: the transfer type, PORT/EPRT or PASV/EPSV, REST, the
// transfer command, the connection itself (TLS when the data is protected), and the final
// reply. The one place where a data connection is opened. Only engine/'s own sources use it.
class DataConnector {
public:
    explicit DataConnector(ControlChannel& control);
    DataConnector(const DataConnector&) = delete;
    DataConnector& operator=(const DataConnector&) = delete;

    // At every connect: nothing known of the server yet, the data in clear.
    void Reset();

    bool IsPassive() const { return passive; }
    void SetPassive(bool on) { passive = on; }
    // "TYPE A" or "TYPE I": sent before the next transfer when it is not in force already.
    const QString& Type() const { return type; }
    void SetType(const QString& command) { type = command; }
    bool TextMode() const { return type == QLatin1String("TYPE A"); }
    // A TYPE went out from elsewhere: the type in force is unknown.
    void ForgetTypeInForce() { typeInForce.clear(); }

    // Protected data (PROT P accepted): every data connection is TLS, from the server whose
    // certificate has the fingerprint, resuming the context's newest session.
    void Protect(TlsContext* context, const QString& host, const QString& fingerprint);
    // The control connection's certificate, as Protect last named it.
    const QString& Fingerprint() const { return fingerprint; }
    bool Protected() const { return tls != nullptr; }
    bool LastSessionReused() const { return lastReused; }

    QString PasvHost() const { return pasvHost; }
    int PasvPort() const { return pasvPort; }
    // Whether the latest transfer command was answered with a preliminary (1xx) reply.
    bool Answered() const { return answered; }
    void ForgetAnswer() { answered = false; }

    // What became of the start of a data transfer.
    enum class Opening {
        Open,         // data connection up, the command accepted (a preliminary reply, or data)
        SetupFailed,  // PORT/PASV set-up failed; nothing about the command was said
        Refused,      // the command was answered with a final reply (its code is the channel's)
        Failed,       // the data connection could not be made
    };
    // A transfer that goes on from an offset: REST goes right before the command.
    struct Restart {
        qint64 offset = 0;
        QString commandIfRefused;  // sent instead of the command when REST is refused (if any)
        bool accepted = false;     // REST was answered 350
    };
    // Sets up PORT/EPRT or PASV/EPSV, sends REST when restart asks for it, then the command, and
    // connects or accepts. On Open, data holds the connection's stream, copying with context.
    Opening Open(const QString& command, std::unique_ptr<DataStream>& data, const DataContext& context,
                 Restart* restart = nullptr);
    // Ends the data connection and reads the final reply (226, or 250 from some servers).
    bool Finish(DataStream& data, bool dataOk);
    // After a transfer command was sent: ends the data connection; ABOR and what follows are
    // left owing for the channel's settling.
    void Abort(DataStream* data);

private:
    void SendType();
    bool PrepareActive();
    bool PreparePassive();
    bool PrepareExtendedPassive();
    bool ConnectPassive(PlainDataStream& data);
    // Sends REST for restart; false only when the connection broke or a cancel came.
    bool RequestRestart(Restart* restart, QString& command);
    // Wraps an open data connection in TLS; false (with the server's final reply read) when
    // the handshake failed.
    bool ProtectData(std::unique_ptr<DataStream>& data, const DataContext& context);

    ControlChannel& control;
    ListenSocket listenSocket;
    bool passive = false;
    QString type = QStringLiteral("TYPE A");
    QString typeInForce;          // the TYPE the server accepted last since this connect
    bool passiveRefused = false;  // PASV was refused since this connect: EPSV goes first
    QString pasvHost;
    int pasvPort = 0;
    bool answered = false;
    bool preliminaryOwed = false;  // data came before the preliminary reply; Finish reads it
    TlsContext* tls = nullptr;  // while the data is protected
    QString tlsHost;
    QString fingerprint;
    bool lastReused = false;
};
