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
