// A password taken out of the settings store (moved to the keyring) leaves no copy in the file's
// free space, whatever the SQLite build's default: the connections here start with
// secure_delete off, as in SQLite's own default build.
#include "platform/registry_db.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"
#include "tests/support/temp_config_dir.h"

#include <QFile>

#include <sqlite3.h>

#include <gtest/gtest.h>

namespace {

int SecureDeleteOff(sqlite3* db, char**, const sqlite3_api_routines*)
{
    sqlite3_exec(db, "PRAGMA secure_delete = OFF", nullptr, nullptr, nullptr);
    return SQLITE_OK;
}

TEST(SecureDelete, AnEmptiedPasswordLeavesNoBytesInTheFile)
{
    using Entry = void (*)();
    ASSERT_EQ(sqlite3_auto_extension(reinterpret_cast<Entry>(&SecureDeleteOff)), SQLITE_OK);
    TempConfigDir config;
    const QString password = QStringLiteral("Moved-0ut-0f-The-Store");
    // Any part of it counts: the value that replaces it may overwrite the end of the old one.
    const QString part = password.left(8);
    const QByteArray utf8 = part.toUtf8();
    const QByteArray utf16(reinterpret_cast<const char*>(part.utf16()), part.size() * 2);
    const auto fileHolds = [&] {
        QFile file(config.DatabasePath());
        EXPECT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray bytes = file.readAll();
        return bytes.contains(utf8) || bytes.contains(utf16);
    };
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)), RegistryDb::Success);
        // Values written before and after it, as a profile's others and the next profiles are.
        for (int slot = 0; slot < 10; ++slot)
            for (const char* name : {"HostName", "UserName", "Pass", "LocalInitDir", "RemoteInitDir"})
                ASSERT_EQ(key.SetString(QLatin1String(name) + QString::number(slot),
                                        slot == 1 && name == QByteArrayView("Pass") ? password : QStringLiteral("value")),
                          RegistryDb::Success);
    }
    ASSERT_TRUE(fileHolds());
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles)), RegistryDb::Success);
        ASSERT_EQ(key.SetString(QStringLiteral("Pass1"), QString()), RegistryDb::Success);
    }
    EXPECT_FALSE(fileHolds());
    sqlite3_cancel_auto_extension(reinterpret_cast<Entry>(&SecureDeleteOff));
}

}  // namespace
