// Explicit FTPS (RFC 4217) on an FtpSession's control connection, and what became of it.

#include "engine/ftp_session.h"

#include "engine/ftp_session_private.h"
#include "engine/tls_channel.h"

#include <memory>

// ---------------------------------------------------------------------------------------------
// TLS

bool FtpSession::StartTls(const QString& host, quint16 port)
{
    if (d->encryption == Encryption::None)
        return true;
    if (!SendCommand(QStringLiteral("AUTH TLS")) || !ReadReply())
        return false;
    if (d->replyCode != 234) {
        d->tlsState = TlsState::Refused;
        // Decided by this reply alone: some servers list AUTH TLS in FEAT and then refuse it.
        if (d->encryption == Encryption::IfAvailable && d->replyCode >= 400 && d->replyCode <= 599) {
            if (!IsConnected())
                return false;  // a 421 closed it all the same
            // Anyone on the path can answer AUTH TLS with a refusal: clear text needs a yes.
            if (!d->clearTextCheck || d->clearTextCheck(host, port))
                return true;
        }
        d->replyCode = LocalStatus::TlsRefused;  // the text stays the server's
        return false;
    }
    auto fail = [this](TlsState state, int code, const QString& why) {
        d->tlsState = state;
        d->replyCode = code;
        d->replyText = QStringLiteral("%1 %2\r\n").arg(code).arg(why);
        DropControlConnection();
        return false;
    };
    // Anything after the 234 in clear text would be taken for protected replies later.
    if (!d->reader.IsEmpty())
        return fail(TlsState::Failed, LocalStatus::TlsFailed, QStringLiteral("clear text after AUTH TLS"));
    d->tls = std::make_unique<TlsContext>();
    d->tlsHost = host;
    d->controlTls = std::make_unique<TlsChannel>(*d->tls, *d->controlSocket);
    if (!d->controlTls->Handshake(host, false, d->idleLimit))
        return fail(TlsState::Failed, LocalStatus::TlsFailed, d->controlTls->ErrorText());
    const CertificateInfo certificate = d->controlTls->PeerCertificate(host);
    d->controlFingerprint = certificate.sha256;
    if (!certificate.Trusted() && !(d->certificateCheck && d->certificateCheck(certificate, host, port)))
        return fail(TlsState::CertificateRejected, LocalStatus::CertificateRejected, certificate.detail);
    d->tlsState = TlsState::Protected;
    d->protectData = Command(QStringLiteral("PBSZ 0"), 200) && Command(QStringLiteral("PROT P"), 200);
    if (!IsConnected())
        return false;
    if (!d->protectData && d->encryption == Encryption::Required)
        return fail(TlsState::Failed, LocalStatus::TlsFailed, QStringLiteral("PROT P refused"));
    return true;
}

void FtpSession::SetEncryption(Encryption encryption) { d->encryption = encryption; }
FtpSession::Encryption FtpSession::GetEncryption() const { return d->encryption; }
void FtpSession::SetCertificateCheck(CertificateCheck check) { d->certificateCheck = std::move(check); }
void FtpSession::SetClearTextCheck(ClearTextCheck check) { d->clearTextCheck = std::move(check); }
FtpSession::TlsState FtpSession::GetTlsState() const { return d->tlsState; }
QString FtpSession::TlsProtocol() const
{
    return d->controlTls && IsConnected() ? d->controlTls->ProtocolName() : QString();
}
bool FtpSession::DataProtected() const { return d->protectData; }
QString FtpSession::CertificateFingerprint() const
{
    return d->tlsState == TlsState::Protected ? d->controlFingerprint : QString();
}
bool FtpSession::LastDataSessionReused() const { return d->lastDataReused; }
