#pragma once

#include "engine/sockets.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <vector>

struct ssl_st;
struct ssl_ctx_st;
struct ssl_session_st;

// What a person needs to judge a server's certificate, and why the system did not vouch for it.
struct CertificateInfo {
    enum class Problem {
        None,           // the system's trust store and the host name vouch for it
        SelfSigned,     // signed by itself, by no authority the system knows
        UnknownIssuer,  // signed by an authority the system does not know
        Expired,
        NotYetValid,
        NameMismatch,   // issued for another name than the one connected to
        Other,          // any other verification failure (detail says which)
    };

    QString subject;
    QString issuer;
    QDateTime notBefore;  // UTC
    QDateTime notAfter;   // UTC
    QString sha256;       // "AB:CD:..." over the DER encoding
    Problem problem = Problem::None;
    bool nameMatches = true;  // the host name (or address) is one the certificate names
    QString detail;           // OpenSSL's words for the verification result

    bool Trusted() const { return problem == Problem::None; }
};

// The TLS settings of one FTP session and the session tickets its server hands out. Every data
// connection resumes the newest unused ticket, whichever connection it came on: servers that
// require reuse (vsftpd's require_ssl_reuse, ProFTPD) take each ticket once only, and TLS 1.3
// tickets arrive only after the handshake. Older unused tickets are kept as spares: a connection
// that is broken off makes the server forget the tickets it handed out on it.
class TlsContext {
public:
    TlsContext();
    ~TlsContext();
    TlsContext(const TlsContext&) = delete;
    TlsContext& operator=(const TlsContext&) = delete;

    bool IsValid() const { return ctx != nullptr; }
    ssl_ctx_st* Get() const { return ctx; }
    // Takes the newest unused ticket (the caller owns the reference); nullptr when none is left.
    ssl_session_st* TakeNewestSession();
    // Drops the tickets that came on the connection (see TlsChannel::Abandon).
    void ForgetSessionsOf(quintptr connection);
    void ForgetSessions();
    quintptr NextConnectionId() { return ++connections; }

    static constexpr size_t MaxUnused = 4;

private:
    static int OnNewSession(ssl_st* ssl, ssl_session_st* session);

    struct Ticket {
        ssl_session_st* session;
        quintptr connection;
    };
    ssl_ctx_st* ctx = nullptr;
    std::vector<Ticket> unused;  // oldest first
    quintptr connections = 0;
};

// TLS (client side) over one connected non-blocking socket. Every wait goes through the
// socket's WaitFor, so the idle limit and the watched cancel descriptor end TLS waits as they
// end plain ones.
class TlsChannel {
public:
    TlsChannel(TlsContext& context, StreamSocket& socket);
    ~TlsChannel();
    TlsChannel(const TlsChannel&) = delete;
    TlsChannel& operator=(const TlsChannel&) = delete;

    // The client handshake. The host name goes out as SNI (not an address) and the
    // certificate is checked against it; a resumed connection offers the context's newest
    // session. False when the handshake failed, the limit passed or a cancel came.
    bool Handshake(const QString& host, bool resume, std::chrono::milliseconds limit);
    // Like StreamSocket::Receive: the count, 0 at the end of the data (close_notify, or the
    // peer closing without one: see PeerClosedCleanly), -1 on an error, the limit or a cancel.
    qsizetype Receive(char* buffer, qsizetype maxSize, std::chrono::milliseconds limit);
    bool SendAll(const char* data, qsizetype size, std::chrono::milliseconds limit);
    // Sends close_notify (also in answer to the peer's: OpenSSL servers forget a session whose
    // connection ended without one, and servers that require reuse then refuse the next data
    // connection). With awaitPeer it then waits (within the limit) for the peer's close_notify
    // or its end, so that nothing the peer sent is left unread when the socket closes (which
    // would make the kernel reset the connection and the peer lose the end of the data).
    bool Shutdown(std::chrono::milliseconds limit, bool awaitPeer);
    // Whether the end of the data was announced with close_notify.
    bool PeerClosedCleanly() const { return cleanEnd; }
    // For a connection about to be broken off: its tickets will not be honoured.
    void Abandon();

    QString ProtocolName() const;  // "TLS 1.3"
    bool SessionReused() const;
    CertificateInfo PeerCertificate(const QString& host) const;
    // What went wrong last, in OpenSSL's words.
    QString ErrorText() const { return lastError; }

private:
    // After an SSL call returned ret: waits for what it asks; false when it cannot go on.
    bool WaitAfter(int ret, std::chrono::milliseconds limit);

    StreamSocket& socket;
    TlsContext& context;
    ssl_st* ssl = nullptr;
    quintptr id = 0;
    bool cleanEnd = false;
    bool peerEnded = false;
    QString lastError;
};
