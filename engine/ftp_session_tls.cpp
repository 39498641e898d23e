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
    if (!d->control.Send(QStringLiteral("AUTH TLS")) || !d->control.ReadReply())
        return false;
    if (d->control.ReplyCode() != 234) {
        d->tlsState = TlsState::Refused;
        // Decided by this reply alone: some servers list AUTH TLS in FEAT and then refuse it.
        if (d->encryption == Encryption::IfAvailable && d->control.ReplyCode() >= 400 && d->control.ReplyCode() <= 599) {
            if (!d->control.IsConnected())
                return false;  // a 421 closed it all the same
            // Anyone on the path can answer AUTH TLS with a refusal: clear text needs a yes.
            if (!d->clearTextCheck || d->clearTextCheck(host, port))
                return true;
        }
        d->control.SetReplyCode(LocalStatus::TlsRefused);  // the text stays the server's
        return false;
    }
    auto fail = [this](TlsState state, int code, const QString& why) {
        d->tlsState = state;
        d->control.SetReplyCode(code);
        d->control.SetReplyText(QStringLiteral("%1 %2\r\n").arg(code).arg(why));
        d->control.Drop();
        return false;
    };
    // Anything after the 234 in clear text would be taken for protected replies later.
    if (d->control.HasUnreadBytes())
        return fail(TlsState::Failed, LocalStatus::TlsFailed, QStringLiteral("clear text after AUTH TLS"));
    d->tls = std::make_unique<TlsContext>();
    if (!d->control.StartTls(*d->tls, host))
        return fail(TlsState::Failed, LocalStatus::TlsFailed, d->control.Tls()->ErrorText());
    const CertificateInfo certificate = d->control.Tls()->PeerCertificate(host);
    if (!certificate.Trusted() && !(d->certificateCheck && d->certificateCheck(certificate, host, port)))
        return fail(TlsState::CertificateRejected, LocalStatus::CertificateRejected, certificate.detail);
    d->tlsState = TlsState::Protected;
    const bool protectData =
        d->control.Command(QStringLiteral("PBSZ 0"), 200) && d->control.Command(QStringLiteral("PROT P"), 200);
    if (protectData)
        d->connector.Protect(d->tls.get(), host, certificate.sha256);
    if (!d->control.IsConnected())
        return false;
    if (!protectData && d->encryption == Encryption::Required)
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
    return d->control.Tls() && IsConnected() ? d->control.Tls()->ProtocolName() : QString();
}
bool FtpSession::DataProtected() const { return d->connector.Protected(); }
QString FtpSession::CertificateFingerprint() const
{
    return d->tlsState == TlsState::Protected ? d->connector.Fingerprint() : QString();
}
bool FtpSession::LastDataSessionReused() const { return d->connector.LastSessionReused(); }
