#pragma once

// The state of an FtpSession, shared by the files its work is split into (the control channel,
// the data connector, TLS, the transfers and the session's own operations). Only engine/'s own
// sources include it.

#include "engine/cancel_signal.h"
#include "engine/data_stream.h"
#include "engine/ftp_reply.h"
#include "engine/ftp_session.h"
#include "engine/sockets.h"
#include "engine/tls_channel.h"
#include "engine/transfer_digest.h"
#include "engine/wire_codec.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>

struct FtpSession::Private {
    qint64 transferSize = 0;
    bool passiveMode = false;
    QString pasvHost;
    int pasvPort = 0;
    QString replyText;
    QString typeCommand = QStringLiteral("TYPE A");
    QString typeInForce;           // the TYPE the server accepted last since this connect
    std::unique_ptr<ControlSocket> controlSocket;
    bool connected = false;
    int replyCode = 0;
    ListenSocket listenSocket;
    QStringList features;          // FEAT's lines since this connect
    bool passiveRefused = false;   // PASV was refused since this connect: EPSV goes first
    bool lastListingMachine = false;
    bool lastListingCut = false;
    qsizetype listingLimit = FtpSession::DefaultListingLimit;

    ReplyReader reader;
    QByteArray charsetChoice;      // the wire's character set as chosen; empty: automatic
    std::unique_ptr<WireCodec> codec = std::make_unique<WireCodec>();
    ProgressCallback progress;
    qint64 progressBase = 0;  // what a resumed transfer had before it went on
    mutable qint64 moved = 0;  // the bytes the latest data connection carried (before line ends)
    qint64 lastReceived = 0;   // the latest download's size as sent, counted from the file's start
    bool transferAnswered = false;  // the latest transfer command was answered with 1xx
    std::chrono::milliseconds idleLimit{60000};

    CancelSignal cancel;
    bool ignoringCancel = false;  // while the session settles a cancelled exchange
    // What a cancelled exchange left the control connection owing; SettleCancelled reads it.
    enum class Owed {
        Nothing,
        Reply,  // the reply of a command whose wait was cancelled
        Abort,  // ABOR, and the replies of the transfer and of ABOR
    };
    Owed owed = Owed::Nothing;
    // Commands that wait for the settling, in order (DELE of a cancelled upload's file, CWD
    // back to a walk's folder); each reply is read within AbortBound, whatever its code.
    QStringList afterSettling;
    void ClearOwed()
    {
        owed = Owed::Nothing;
        afterSettling.clear();
    }

    Encryption encryption = Encryption::None;
    CertificateCheck certificateCheck;
    ClearTextCheck clearTextCheck;
    TlsState tlsState = TlsState::Off;
    std::unique_ptr<TlsContext> tls;          // one per connection: its sessions are the server's
    std::unique_ptr<TlsChannel> controlTls;   // while the control connection is protected
    bool protectData = false;                 // PROT P was accepted
    QString tlsHost;
    QString controlFingerprint;
    bool lastDataReused = false;

    bool verifyTransfers = true;
    DigestCheck digestCheck;               // how this server is asked, from its FEAT
    std::unique_ptr<StreamDigest> digest;  // while a checked transfer runs
    QString lastVerification;

    // The control connection's bytes, through TLS once it is up.
    bool ControlSend(const char* data, qsizetype size)
    {
        return controlTls ? controlTls->SendAll(data, size, idleLimit)
                          : controlSocket->SendAll(data, size, idleLimit);
    }
    qsizetype ControlReceive(char* buffer, qsizetype size, std::chrono::milliseconds limit)
    {
        return controlTls ? controlTls->Receive(buffer, size, limit)
                          : controlSocket->Receive(buffer, size, limit);
    }

    bool Established() const { return controlSocket && connected; }
    bool TextMode() const { return typeCommand == QLatin1String("TYPE A"); }
    DataContext Context() const
    {
        // The base is read at every call: a download learns it only from REST's answer.
        return DataContext{idleLimit, &cancel,
                           [this](qint64 bytes) {
                               moved = bytes;
                               if (progress)
                                   progress(progressBase + bytes);
                           },
                           digest.get()};
    }

    void SetIgnoringCancel(bool on)
    {
        ignoringCancel = on;
        if (controlSocket)
            controlSocket->WatchCancel(on ? -1 : cancel.Fd());
    }
    // While it lives, the control connection's waits no longer end at a cancel: ABOR and the
    // replies after it must get through.
    struct CancelIgnored {
        Private& owner;
        bool before;
        ~CancelIgnored() { owner.SetIgnoringCancel(before); }
    };
    CancelIgnored IgnoreCancel()
    {
        const bool before = ignoringCancel;
        SetIgnoringCancel(true);
        return CancelIgnored{*this, before};
    }
};
