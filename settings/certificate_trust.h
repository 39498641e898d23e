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
