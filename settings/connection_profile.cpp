#include "settings/connection_profile.h"

#include "platform/registry_db.h"
#include "settings/password_vault.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"

#include <QList>

#include <optional>

namespace {
using RegistryDb::Success;

QString ValueName(const char* format, int slot)
{
    return QString::asprintf(format, slot);
}

constexpr const char* SlotValues[] = {SettingName::SettingNameN, SettingName::ServerN,
                                      SettingName::NameN,        SettingName::PassN,
                                      SettingName::LocalInitDirN, SettingName::RemoteInitDirN};

struct Account {
    QString server;
    QString userName;
};

// The account a used slot names; nothing for a free one.
std::optional<Account> SlotAccount(const RegistryKey& key, int slot)
{
    QString name;
    key.QueryString(ValueName(SettingName::SettingNameN, slot), name);
    if (name.isEmpty())
        return std::nullopt;
    Account account;
    key.QueryString(ValueName(SettingName::ServerN, slot), account.server);
    key.QueryString(ValueName(SettingName::NameN, slot), account.userName);
    return account;
}

bool SameAccount(const std::optional<Account>& account, const QString& server, const QString& userName)
{
    return account && account->server == server && account->userName == userName;
}

// Slots of the account whose password value is this password (not empty).
QList<int> SlotsKeepingPlain(const RegistryKey& key, const QString& server, const QString& userName,
                             const QString& password)
{
    QList<int> found;
    for (int slot = 1; slot <= ConnectionProfile::SlotCount; ++slot) {
        if (!SameAccount(SlotAccount(key, slot), server, userName))
            continue;
        QString stored;
        key.QueryString(ValueName(SettingName::PassN, slot), stored);
        if (!stored.isEmpty() && stored == password)
            found << slot;
    }
    return found;
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

bool ConnectionProfile::LoadProfile(const QString& name, bool withPassword)
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
    qint32 storedEncryption = DefaultEncryption;
    if (key.QueryNumber(ValueName(SettingName::EncryptionN, slot), storedEncryption) != Success
        || storedEncryption < 0 || storedEncryption > 2)
        storedEncryption = DefaultEncryption;
    encryption = storedEncryption;
    if (key.QueryString(ValueName(SettingName::CharsetN, slot), charset) != Success || !Charsets.contains(charset))
        charset = AutomaticCharset;
    // A slot whose server cannot be read loads as wholly empty, not as a mix of texts.
    if (!serverRead)
        *this = ConnectionProfile();
    if (!withPassword)
        password.clear();
    // A free slot names no account to ask the keyring about.
    else if (serverRead && !name.isEmpty())
        PasswordVault::Read(server, userName, password);  // keeps the store's value otherwise
    return true;
}

ConnectionProfile::SaveResult ConnectionProfile::SaveProfile(const QString& name) const
{
    // Looked at first so that a profile that cannot be saved leaves no password in the keyring;
    // the transaction below looks again.
    if (FindProfileSlot(QString()) == 0)
        return SaveResult::NoFreeSlot;
    // The keyring is asked outside the transaction: its answer may take seconds, and the
    // store's write lock must not be held that long.
    QString storedPassword = password;
    if (!password.isEmpty()
        && PasswordVault::Store(server, userName, password) == PasswordVault::Outcome::Done)
        storedPassword.clear();

    SaveResult result = SaveResult::NotWritten;
    RegistryDb::RunTransaction([&]() -> long {
        const int slot = FindProfileSlot(QString());
        if (slot == 0) {
            result = SaveResult::NoFreeSlot;
            return Success;
        }
        RegistryKey key;
        long status = key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        const QString texts[] = {name, server, userName, storedPassword, localInitDir, remoteInitDir};
        for (int i = 0; i < 6 && status == Success; ++i)
            status = key.SetString(ValueName(SlotValues[i], slot), texts[i]);
        if (status == Success)
            status = key.SetNumber(ValueName(SettingName::EncryptionN, slot), encryption);
        if (status == Success)
            status = key.SetString(ValueName(SettingName::CharsetN, slot), charset);
        if (status == Success)
            result = SaveResult::Saved;
        return status;
    });
    return result;
}

bool ConnectionProfile::DeleteProfile(const QString& name)
{
    bool deleted = false;
    std::optional<Account> account;
    bool accountStillNamed = false;
    RegistryDb::RunTransaction([&]() -> long {
        const int slot = FindProfileSlot(name);
        if (slot == 0)
            return Success;
        RegistryKey key;
        long status = key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        if (status != Success)
            return status;
        account = SlotAccount(key, slot);
        for (const char* format : SlotValues)
            key.SetString(ValueName(format, slot), QString());
        // A free slot keeps no choices of the profile that was there.
        key.SetNumber(ValueName(SettingName::EncryptionN, slot), DefaultEncryption);
        key.SetString(ValueName(SettingName::CharsetN, slot), QString());
        for (int other = 1; other <= SlotCount && account; ++other)
            accountStillNamed = accountStillNamed
                                || SameAccount(SlotAccount(key, other), account->server, account->userName);
        deleted = true;
        return Success;
    });
    // The keyring is asked only once the slot is free; another profile of the account keeps
    // using the entry.
    if (deleted && account && !accountStillNamed)
        PasswordVault::Remove(account->server, account->userName);
    return deleted;
}

void ConnectionProfile::MovePasswordToKeyring(const QString& server, const QString& userName,
                                              const QString& password)
{
    if (password.isEmpty())
        return;
    {
        RegistryKey key;
        if (key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)) != Success
            || SlotsKeepingPlain(key, server, userName, password).isEmpty())
            return;
    }
    if (PasswordVault::Store(server, userName, password) != PasswordVault::Outcome::Done)
        return;
    // Looked for again: the slots may have changed while the keyring was asked.
    RegistryDb::RunTransaction([&]() -> long {
        RegistryKey key;
        const long status = key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        if (status != Success)
            return status;
        for (const int slot : SlotsKeepingPlain(key, server, userName, password))
            key.SetString(ValueName(SettingName::PassN, slot), QString());
        return Success;
    });
}
