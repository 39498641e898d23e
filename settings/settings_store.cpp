#include "settings/settings_store.h"

#include "platform/registry_db.h"
#include "settings/registry_key.h"

namespace {
using RegistryDb::Success;

// A flag is on only when the stored number is exactly 1; any other number written by some
// other tool reads as off.
bool ReadFlagFrom(const char* keyPath, const QString& name)
{
    RegistryKey key;
    qint32 value = 0;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(keyPath)) != Success)
        return false;
    const long status = key.QueryNumber(name, value);
    key.Close();
    return status == Success && value == 1;
}

bool WriteFlagTo(const char* keyPath, const QString& name, bool value)
{
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(keyPath)) != Success)
        return false;
    key.SetNumber(name, value ? 1 : 0);
    key.Close();
    return true;
}
}  // namespace

bool SettingsStore::ReadFlag(const QString& name)
{
    return ReadFlagFrom(SettingKey::SettingsUpper, name);
}

bool SettingsStore::ReadFlagOr(const QString& name, bool whenAbsent)
{
    RegistryKey key;
    qint32 value = 0;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::SettingsUpper)) != Success)
        return whenAbsent;
    const long status = key.QueryNumber(name, value);
    key.Close();
    return status == Success ? value == 1 : whenAbsent;
}

bool SettingsStore::WriteFlag(const QString& name, bool value)
{
    return WriteFlagTo(SettingKey::SettingsUpper, name, value);
}

QString SettingsStore::ReadString(const QString& name)
{
    RegistryKey key;
    QString text;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Settings)) != Success)
        return QString();
    key.QueryString(name, text);  // leaves text empty when the read fails
    key.Close();
    return text;
}

void SettingsStore::WriteString(const QString& name, const QString& text)
{
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Settings)) != Success)
        return;
    key.SetString(name, text);
    key.Close();
}

qint32 SettingsStore::ReadNumber(const QString& name)
{
    RegistryKey key;
    qint32 value = 0;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Settings)) != Success)
        return 0;
    const long status = key.QueryNumber(name, value);
    key.Close();
    return status == Success ? value : 0;
}

int SettingsStore::ReadMaxConnections()
{
    RegistryKey key;
    qint32 value = DefaultConnections;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Settings)) != Success
        || key.QueryNumber(QLatin1String(SettingName::MaxConnections), value) != Success)
        return DefaultConnections;
    return qBound(1, int(value), MaxConnectionLimit);
}

void SettingsStore::WriteNumber(const QString& name, qint32 value)
{
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Settings)) != Success)
        return;
    key.SetNumber(name, value);
    key.Close();
}

bool SettingsStore::ReadSavePassword()
{
    return ReadFlagFrom(SettingKey::ProfilesUpper, QLatin1String(SettingName::SavePass));
}

bool SettingsStore::WriteSavePassword(bool on)
{
    return WriteFlagTo(SettingKey::ProfilesUpper, QLatin1String(SettingName::SavePass), on);
}

void SettingsStore::StoreFirstStartDefaults()
{
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Settings)) != Success)
        return;
    // Only a value that is not there at all counts as absent; one of another type or size
    // (which reads as the default) was put there by someone and stays.
    const auto absent = [&key](const char* name) {
        qint32 number = 0;
        return key.QueryNumber(QLatin1String(name), number) == RegistryDb::ErrorFileNotFound;
    };
    if (absent(SettingName::AutoTransferMode)) {
        key.SetNumber(QLatin1String(SettingName::AutoTransferMode), 1);
        if (absent(SettingName::AutoTransferModeList))
            key.SetString(QLatin1String(SettingName::AutoTransferModeList), DefaultTextModeList);
    }
    if (absent(SettingName::UsePASV))
        key.SetNumber(QLatin1String(SettingName::UsePASV), 1);
    key.Close();
}
