#pragma once

#include <QString>
#include <QtGlobal>

// The certificates a person chose to trust always, one per server (host and port), kept as
// SHA-256 fingerprints under the trusted-certificates key of the settings store.
namespace CertificateTrust {
// The value name of a server: "host:port", "[address]:port" for an IPv6 address.
QString ServerName(const QString& host, quint16 port);
// The fingerprint remembered for the server; "" when none is.
QString Remembered(const QString& host, quint16 port);
bool Remember(const QString& host, quint16 port, const QString& fingerprint);
}  // namespace CertificateTrust

// What a server's connects taught about TLS, per host and port, kept under the TLS-servers key:
// whether TLS worked there once (so that a later refusal looks like interference, not like the
// server's habit), and whether the person said not to be asked again about its clear text.
namespace TlsMemory {
bool TlsWorkedBefore(const QString& host, quint16 port);
bool RememberTlsWorked(const QString& host, quint16 port);
bool ClearTextAccepted(const QString& host, quint16 port);
bool RememberClearTextAccepted(const QString& host, quint16 port);
}  // namespace TlsMemory
