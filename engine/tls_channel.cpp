#include "engine/tls_channel.h"

#include <QTimeZone>

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <poll.h>
#include <pthread.h>
#include <signal.h>

#include <cerrno>
#include <cstring>
#include <ctime>
#include <algorithm>

namespace {

// After a close_notify of ours, the peer's answer (or its end) is awaited at most this long.
constexpr std::chrono::milliseconds ShutdownWait{5000};
// A receive that got something goes on reading what is already there while this much room is
// left, so one wait brings many records.
constexpr qsizetype RecordRoom = 16 * 1024;

// OpenSSL writes with write(), which raises SIGPIPE on a connection the peer has closed. The
// signal is blocked for this thread while a call may write, and one it raised is taken back, so
// the engine never ends a program that did not ignore SIGPIPE itself.
class SigpipeBlocked {
public:
    SigpipeBlocked()
    {
        sigset_t pipeSet = PipeSet();
        pthread_sigmask(SIG_BLOCK, &pipeSet, &before);
        sigset_t pending;
        sigpending(&pending);
        alreadyPending = sigismember(&pending, SIGPIPE) == 1;
    }
    ~SigpipeBlocked()
    {
        if (!alreadyPending) {
            sigset_t pipeSet = PipeSet();
            const timespec zero{0, 0};
            while (sigtimedwait(&pipeSet, nullptr, &zero) > 0) {
            }
        }
        pthread_sigmask(SIG_SETMASK, &before, nullptr);
    }
    SigpipeBlocked(const SigpipeBlocked&) = delete;
    SigpipeBlocked& operator=(const SigpipeBlocked&) = delete;

private:
    static sigset_t PipeSet()
    {
        sigset_t set;
        sigemptyset(&set);
        sigaddset(&set, SIGPIPE);
        return set;
    }
    sigset_t before;
    bool alreadyPending = false;
};

QString OpenSslErrors()
{
    QString text;
    for (unsigned long code; (code = ERR_get_error()) != 0;) {
        char buffer[256];
        ERR_error_string_n(code, buffer, sizeof buffer);
        if (!text.isEmpty())
            text += QStringLiteral("; ");
        text += QString::fromUtf8(buffer);
    }
    return text;
}

QString NameText(const X509_NAME* name)
{
    BIO* bio = BIO_new(BIO_s_mem());
    if (!bio)
        return {};
    // RFC 2253 order, but UTF-8 left as it is rather than escaped.
    X509_NAME_print_ex(bio, name, 0, XN_FLAG_RFC2253 & ~ASN1_STRFLGS_ESC_MSB);
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio, &data);
    QString text = QString::fromUtf8(data, size);
    BIO_free(bio);
    return text;
}

QDateTime TimeOf(const ASN1_TIME* time)
{
    std::tm parts{};
    if (!time || ASN1_TIME_to_tm(time, &parts) != 1)
        return {};
    return QDateTime(QDate(parts.tm_year + 1900, parts.tm_mon + 1, parts.tm_mday),
                     QTime(parts.tm_hour, parts.tm_min, parts.tm_sec), QTimeZone::utc());
}

CertificateInfo::Problem ProblemOf(long verifyResult)
{
    using Problem = CertificateInfo::Problem;
    switch (verifyResult) {
    case X509_V_OK:
        return Problem::None;
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
        return Problem::SelfSigned;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
        return Problem::UnknownIssuer;
    case X509_V_ERR_CERT_HAS_EXPIRED:
        return Problem::Expired;
    case X509_V_ERR_CERT_NOT_YET_VALID:
        return Problem::NotYetValid;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
        return Problem::NameMismatch;
    default:
        return Problem::Other;
    }
}

bool IsAddress(const QString& host)
{
    return SocketAddress::FromNumericHost(host, 0).has_value();
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// TlsContext

TlsContext::TlsContext()
{
    ctx = SSL_CTX_new(TLS_client_method());
    if (!ctx)
        return;
    // Every server seen refuses TLS 1.0 and 1.1 as well.
    SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
    SSL_CTX_set_default_verify_paths(ctx);
    // The handshake always completes; the session judges the verification result afterwards
    // (and may ask the person) before anything secret is sent.
    SSL_CTX_set_verify(ctx, SSL_VERIFY_NONE, nullptr);
    SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
    // Fewer, larger reads from the socket.
    SSL_CTX_set_read_ahead(ctx, 1);
    SSL_CTX_set_default_read_buffer_len(ctx, 64 * 1024);
    SSL_CTX_set_session_cache_mode(ctx, SSL_SESS_CACHE_CLIENT | SSL_SESS_CACHE_NO_INTERNAL_STORE);
    SSL_CTX_sess_set_new_cb(ctx, &TlsContext::OnNewSession);
    SSL_CTX_set_app_data(ctx, this);
}

TlsContext::~TlsContext()
{
    ForgetSessions();
    if (ctx)
        SSL_CTX_free(ctx);
}

void TlsContext::ForgetSessions()
{
    for (const Ticket& ticket : unused)
        SSL_SESSION_free(ticket.session);
    unused.clear();
}

ssl_session_st* TlsContext::TakeNewestSession()
{
    if (unused.empty())
        return nullptr;
    ssl_session_st* session = unused.back().session;
    unused.pop_back();
    return session;
}

void TlsContext::ForgetSessionsOf(quintptr connection)
{
    std::erase_if(unused, [connection](const Ticket& ticket) {
        if (ticket.connection != connection)
            return false;
        SSL_SESSION_free(ticket.session);
        return true;
    });
}

int TlsContext::OnNewSession(ssl_st* ssl, ssl_session_st* session)
{
    auto* self = static_cast<TlsContext*>(SSL_CTX_get_app_data(SSL_get_SSL_CTX(ssl)));
    if (!self || !SSL_SESSION_is_resumable(session))
        return 0;
    if (self->unused.size() >= MaxUnused) {
        SSL_SESSION_free(self->unused.front().session);
        self->unused.erase(self->unused.begin());
    }
    self->unused.push_back({session, reinterpret_cast<quintptr>(SSL_get_app_data(ssl))});
    return 1;  // the reference is ours now
}

// ---------------------------------------------------------------------------------------------
// TlsChannel

TlsChannel::TlsChannel(TlsContext& context, StreamSocket& socket) : socket(socket), context(context) {}

TlsChannel::~TlsChannel()
{
    if (ssl)
        SSL_free(ssl);
}

bool TlsChannel::WaitAfter(int ret, std::chrono::milliseconds limit)
{
    const int error = SSL_get_error(ssl, ret);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
        if (socket.WaitFor(error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, limit))
            return true;
        lastError = QStringLiteral("no progress within the limit, or cancelled");
        return false;
    }
    if (error == SSL_ERROR_SYSCALL) {
        const QString queued = OpenSslErrors();
        lastError = queued.isEmpty() ? QString::fromLocal8Bit(std::strerror(errno)) : queued;
    } else {
        lastError = OpenSslErrors();
        if (lastError.isEmpty())
            lastError = QStringLiteral("TLS error %1").arg(error);
    }
    return false;
}

bool TlsChannel::Handshake(const QString& host, bool resume, std::chrono::milliseconds limit)
{
    if (!context.IsValid() || !socket.IsOpen()) {
        lastError = QStringLiteral("no TLS context");
        return false;
    }
    ERR_clear_error();
    ssl = SSL_new(context.Get());
    if (!ssl || SSL_set_fd(ssl, socket.Fd()) != 1) {
        lastError = OpenSslErrors();
        return false;
    }
    SSL_set_connect_state(ssl);
    id = context.NextConnectionId();
    SSL_set_app_data(ssl, reinterpret_cast<void*>(id));
    const QByteArray name = host.toUtf8();
    if (IsAddress(host)) {
        X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.constData());
    } else if (!name.isEmpty()) {
        SSL_set_tlsext_host_name(ssl, name.constData());
        SSL_set1_host(ssl, name.constData());
    }
    if (resume) {
        if (ssl_session_st* ticket = context.TakeNewestSession()) {
            SSL_set_session(ssl, ticket);  // takes a reference of its own
            SSL_SESSION_free(ticket);
        }
    }

    SigpipeBlocked quiet;
    for (;;) {
        ERR_clear_error();
        const int r = SSL_connect(ssl);
        if (r == 1)
            return true;
        if (!WaitAfter(r, limit))
            return false;
    }
}

qsizetype TlsChannel::Receive(char* buffer, qsizetype maxSize, std::chrono::milliseconds limit)
{
    if (!ssl || !socket.IsOpen())
        return -1;
    if (peerEnded)
        return 0;
    SigpipeBlocked quiet;  // a read may write too (key updates, alerts)
    qsizetype total = 0;
    for (;;) {
        ERR_clear_error();
        size_t n = 0;
        const int r = SSL_read_ex(ssl, buffer + total, size_t(maxSize - total), &n);
        if (r == 1) {
            total += qsizetype(n);
            if (maxSize - total < RecordRoom)
                return total;
            continue;
        }
        const int error = SSL_get_error(ssl, r);
        if (total > 0 && (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE))
            return total;  // what is there now; the next call waits
        if (error == SSL_ERROR_ZERO_RETURN) {
            peerEnded = cleanEnd = true;
            return total;
        }
        // The peer closed the TCP connection without close_notify. For the data of a transfer
        // the server's final reply then tells whether everything arrived.
        const unsigned long queued = ERR_peek_error();
        if ((error == SSL_ERROR_SSL && ERR_GET_REASON(queued) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
            || (error == SSL_ERROR_SYSCALL && queued == 0 && errno == 0)) {
            ERR_clear_error();
            peerEnded = true;
            return total;
        }
        if (total > 0)
            return total;  // the error shows again at the next call
        if (!WaitAfter(r, limit))
            return -1;
    }
}

bool TlsChannel::SendAll(const char* data, qsizetype size, std::chrono::milliseconds limit)
{
    if (!ssl || !socket.IsOpen())
        return false;
    SigpipeBlocked quiet;
    while (size > 0) {
        ERR_clear_error();
        size_t n = 0;
        const int r = SSL_write_ex(ssl, data, size_t(size), &n);
        if (r == 1) {
            data += n;
            size -= qsizetype(n);
            continue;
        }
        if (!WaitAfter(r, limit))
            return false;
    }
    return true;
}

bool TlsChannel::Shutdown(std::chrono::milliseconds limit, bool awaitPeer)
{
    if (!ssl || !socket.IsOpen())
        return false;
    if (peerEnded && !cleanEnd)
        return true;  // the peer left without a word and no longer listens
    limit = std::min(limit, ShutdownWait);
    {
        SigpipeBlocked quiet;
        for (;;) {
            ERR_clear_error();
            const int r = SSL_shutdown(ssl);
            if (r == 1)
                return true;
            if (r == 0 && !awaitPeer)
                return true;
            if (r == 0)
                break;  // ours is out; the peer's is still to come
            if (!WaitAfter(r, limit))
                return false;
        }
    }
    // Whatever the peer still sends (tickets, its close_notify) is read before the socket closes.
    char sink[RecordRoom * 2];
    for (;;) {
        const qsizetype n = Receive(sink, sizeof sink, limit);
        if (n <= 0)
            return n == 0;
    }
}

void TlsChannel::Abandon()
{
    if (ssl)
        context.ForgetSessionsOf(id);
}

QString TlsChannel::ProtocolName() const
{
    if (!ssl)
        return {};
    switch (SSL_version(ssl)) {
    case TLS1_3_VERSION:
        return QStringLiteral("TLS 1.3");
    case TLS1_2_VERSION:
        return QStringLiteral("TLS 1.2");
    default:
        return QString::fromLatin1(SSL_get_version(ssl));
    }
}

bool TlsChannel::SessionReused() const
{
    return ssl && SSL_session_reused(ssl) == 1;
}

CertificateInfo TlsChannel::PeerCertificate(const QString& host) const
{
    CertificateInfo info;
    X509* certificate = ssl ? SSL_get0_peer_certificate(ssl) : nullptr;
    if (!certificate) {
        info.problem = CertificateInfo::Problem::Other;
        info.detail = QStringLiteral("no certificate");
        info.nameMatches = false;
        return info;
    }
    info.subject = NameText(X509_get_subject_name(certificate));
    info.issuer = NameText(X509_get_issuer_name(certificate));
    info.notBefore = TimeOf(X509_get0_notBefore(certificate));
    info.notAfter = TimeOf(X509_get0_notAfter(certificate));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (X509_digest(certificate, EVP_sha256(), digest, &length) == 1) {
        info.sha256 = QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length))
                                              .toHex(':')
                                              .toUpper());
    }
    const long result = SSL_get_verify_result(ssl);
    info.problem = ProblemOf(result);
    info.detail = QString::fromUtf8(X509_verify_cert_error_string(result));
    const QByteArray name = host.toUtf8();
    info.nameMatches = IsAddress(host) ? X509_check_ip_asc(certificate, name.constData(), 0) == 1
                                       : X509_check_host(certificate, name.constData(), size_t(name.size()), 0, nullptr) == 1;
    return info;
}
