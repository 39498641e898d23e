#include "settings/connection_profile.h"

#include "platform/registry_db.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"

namespace {
using RegistryDb::Success;

QString ValueName(const char* format, int slot)
{
    return QString::asprintf(format, slot);
}
}  // namespace

QString ConnectionProfile::ReadProfileName(int slot)
{
    RegistryKey key;
    QString name;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)) == Success)
        key.QueryString(ValueName(SettingName::SettingNameN, slot), name);
    return name;
}

int ConnectionProfile::FindProfileSlot(const QString& name)
{
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::ProfilesUpper)) != Success)
        return 0;
    for (int slot = 1; slot <= SlotCount; ++slot) {
        QString stored;
        key.QueryString(ValueName(SettingName::SettingNameN, slot), stored);  // "" on failure
        if (stored == name)
            return slot;
    }
    return 0;
}

bool ConnectionProfile::LoadProfile(const QString& name)
{
    const int slot = FindProfileSlot(name);
    if (slot == 0)
        return false;
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)) != Success)
        return false;
    const bool serverRead =
        key.QueryString(ValueName(SettingName::ServerN, slot), server) == Success;
    key.QueryString(ValueName(SettingName::NameN, slot), userName);
    key.QueryString(ValueName(SettingName::PassN, slot), password);
    key.QueryString(ValueName(SettingName::LocalInitDirN, slot), localInitDir);
    key.QueryString(ValueName(SettingName::RemoteInitDirN, slot), remoteInitDir);
    // A slot whose server cannot be read loads as wholly empty, not as a mix of texts.
    if (!serverRead)
        *this = ConnectionProfile();
    return true;
}

ConnectionProfile::SaveResult ConnectionProfile::SaveProfile(const QString& name) const
{
    const int slot = FindProfileSlot(QString());
    if (slot == 0)
        return SaveResult::NoFreeSlot;
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)) != Success)
        return SaveResult::NotWritten;
    key.SetString(ValueName(SettingName::SettingNameN, slot), name);
    key.SetString(ValueName(SettingName::ServerN, slot), server);
    key.SetString(ValueName(SettingName::NameN, slot), userName);
    key.SetString(ValueName(SettingName::PassN, slot), password);
    key.SetString(ValueName(SettingName::LocalInitDirN, slot), localInitDir);
    key.SetString(ValueName(SettingName::RemoteInitDirN, slot), remoteInitDir);
    return SaveResult::Saved;
}

bool ConnectionProfile::DeleteProfile(const QString& name)
{
    const int slot = FindProfileSlot(name);
    if (slot == 0)
        return false;
    RegistryKey key;
    if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)) != Success)
        return false;
    for (const char* format : {SettingName::SettingNameN, SettingName::ServerN, SettingName::NameN,
                               SettingName::PassN, SettingName::LocalInitDirN,
                               SettingName::RemoteInitDirN})
        key.SetString(ValueName(format, slot), QString());
    return true;
}
