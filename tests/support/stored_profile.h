#pragma once

#include "settings/registry_key.h"
#include "settings/settings_store.h"

#include <QString>

// The store's own "Pass%d" value of the profile slot, read past the password vault.
inline QString StoredPassword(int slot)
{
    RegistryKey key;
    QString text;
    key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
    key.QueryString(QString::asprintf(SettingName::PassN, slot), text);
    return text;
}
