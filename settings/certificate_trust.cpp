#include "settings/certificate_trust.h"

#include "platform/registry_db.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"

namespace CertificateTrust {

QString ServerName(const QString& host, quint16 port)
{
    const QString shown = host.contains(QLatin1Char(':')) ? QLatin1Char('[') + host + QLatin1Char(']') : host;
    return QStringLiteral("%1:%2").arg(shown.toLower()).arg(port);
}

QString Remembered(const QString& host, quint16 port)
{
    RegistryKey key;
    QString fingerprint;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::TrustedCertificates)) == RegistryDb::Success)
        key.QueryString(ServerName(host, port), fingerprint);
    return fingerprint;
}

bool Remember(const QString& host, quint16 port, const QString& fingerprint)
{
    RegistryKey key;
    return key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::TrustedCertificates)) == RegistryDb::Success
           && key.SetString(ServerName(host, port), fingerprint) == RegistryDb::Success;
}

}  // namespace CertificateTrust

namespace TlsMemory {
namespace {
constexpr qint32 TlsWorked = 1;
constexpr qint32 ClearTextOk = 2;

qint32 Bits(const QString& host, quint16 port)
{
    RegistryKey key;
    qint32 bits = 0;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::TlsServers)) == RegistryDb::Success)
        key.QueryNumber(CertificateTrust::ServerName(host, port), bits);
    return bits;
}

bool AddBits(const QString& host, quint16 port, qint32 bits)
{
    const qint32 old = Bits(host, port);
    if ((old & bits) == bits)
        return true;
    RegistryKey key;
    return key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::TlsServers)) == RegistryDb::Success
           && key.SetNumber(CertificateTrust::ServerName(host, port), old | bits) == RegistryDb::Success;
}
}  // namespace

bool TlsWorkedBefore(const QString& host, quint16 port) { return Bits(host, port) & TlsWorked; }
bool RememberTlsWorked(const QString& host, quint16 port) { return AddBits(host, port, TlsWorked); }
bool ClearTextAccepted(const QString& host, quint16 port) { return Bits(host, port) & ClearTextOk; }
bool RememberClearTextAccepted(const QString& host, quint16 port) { return AddBits(host, port, ClearTextOk); }

}  // namespace TlsMemory
