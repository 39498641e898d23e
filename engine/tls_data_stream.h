#pragma once

#include "engine/data_stream.h"
#include "engine/tls_channel.h"

#include <QString>

#include <memory>

// A data connection under TLS: the plain connection's socket, after the session opened it,
// wrapped in a client handshake that resumes the control connection's TLS session. Records go
// out as large as TLS allows and come in many at a time.
class TlsDataStream final : public DataStream {
public:
    TlsDataStream(DataContext context, std::unique_ptr<PlainDataStream> plain, TlsContext& tls);

    // Resumes the newest session of the context; false when the handshake failed.
    bool Handshake(const QString& host) { return channel.Handshake(host, true, context.idleLimit); }
    const TlsChannel& Channel() const { return channel; }

    DataEnd ReceiveAll(QByteArray& out, qsizetype maxSize) override;
    DataEnd ReceiveToFile(int fileFd, bool textMode) override;
    DataEnd SendFromFile(int fileFd, bool textMode) override;
    // Ends with close_notify: after an upload the server knows the file is whole (vsftpd
    // answers an upload ended without it with 426, pyftpdlib not at all), and after a download
    // the server keeps the session for the next data connection.
    void Close() override;
    // Only close_notify: a TCP end can be anyone's.
    bool EndedInOrder() const override { return channel.PeerClosedCleanly(); }
    void Abort() override
    {
        channel.Abandon();
        plain->Abort();
    }

private:
    ReceiveSome Receiver();

    DataContext context;
    std::unique_ptr<PlainDataStream> plain;
    TlsChannel channel;
    bool sent = false;
};
