#pragma once

// The state of an FtpSession that is the session's own (the control channel and the data
// connector keep theirs), shared by the files its work is split into. Only engine/'s own sources
// include it.

#include "engine/control_channel.h"
#include "engine/data_connector.h"
#include "engine/data_stream.h"
#include "engine/ftp_session.h"
#include "engine/tls_channel.h"
#include "engine/transfer_digest.h"

#include <QString>
#include <QStringList>

#include <memory>

struct FtpSession::Private {
    // One per connection: its sessions are the server's. Declared before the channel, whose TLS
    // uses it.
    std::unique_ptr<TlsContext> tls;
    ControlChannel control;
    DataConnector connector{control};

    qint64 transferSize = 0;
    QStringList features;          // FEAT's lines since this connect
    bool lastListingMachine = false;
    bool lastListingCut = false;
    qsizetype listingLimit = FtpSession::DefaultListingLimit;
    QByteArray charsetChoice;      // the wire's character set as chosen; empty: automatic

    ProgressCallback progress;
    qint64 progressBase = 0;  // what a resumed transfer had before it went on
    mutable qint64 moved = 0;  // the bytes the latest data connection carried (before line ends)
    qint64 lastReceived = 0;   // the latest download's size as sent, counted from the file's start

    Encryption encryption = Encryption::None;
    CertificateCheck certificateCheck;
    ClearTextCheck clearTextCheck;
    TlsState tlsState = TlsState::Off;

    bool verifyTransfers = true;
    DigestCheck digestCheck;               // how this server is asked, from its FEAT
    std::unique_ptr<StreamDigest> digest;  // while a checked transfer runs
    QString lastVerification;

    DataContext Context() const
    {
        // The base is read at every call: a download learns it only from REST's answer.
        return DataContext{control.IdleLimit(), &control.Cancel(),
                           [this](qint64 bytes) {
                               moved = bytes;
                               if (progress)
                                   progress(progressBase + bytes);
                           },
                           digest.get()};
    }
};
