#include "platform/registry_db.h"
#include "settings/connection_profile.h"
#include "settings/partial_records.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temp_config_dir.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

QString Name(const char* name)
{
    return QLatin1String(name);
}

QString Slot(const char* format, int slot)
{
    return QString::asprintf(format, slot);
}

// The raw bytes of a stored value, read past the program's buffer limits.
QByteArray StoredBytes(const char* keyPath, const QString& name)
{
    qint64 keyId = 0;
    QByteArray data;
    if (RegistryDb::OpenKey(QLatin1String(keyPath), keyId) != RegistryDb::Success
        || RegistryDb::QueryValue(keyId, name, 1 << 20, data) != RegistryDb::Success)
        return QByteArray("<absent>");
    return data;
}

mode_t ModeOf(const QString& path)
{
    struct stat info {};
    if (stat(QFile::encodeName(path).constData(), &info) != 0)
        return 0;
    return info.st_mode & 07777;
}

class SettingsStoreTest : public ::testing::Test {
protected:
    TempConfigDir config;
};

TEST_F(SettingsStoreTest, FreshStoreReadsEveryDefaultAndCreatesTheStore)
{
    ASSERT_FALSE(QFileInfo::exists(config.DatabasePath()));
    for (const char* flag : {SettingName::ConnectDlgWithStartup, SettingName::AutoTransferMode,
                             SettingName::CheckOverwrite, SettingName::UseAutoDialUp,
                             SettingName::UsePASV, SettingName::UseLIST})
        EXPECT_FALSE(SettingsStore::ReadFlag(Name(flag))) << flag;
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoTransferModeList)), QString());
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoDialUpName)), QString());
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), 0);
    EXPECT_FALSE(SettingsStore::ReadSavePassword());

    RegistryKey profiles;
    ASSERT_EQ(profiles.Open(RegistryRoot::CurrentUser, Name(SettingKey::Profiles)), 0);
    QString text = QStringLiteral("stale");
    EXPECT_EQ(profiles.QueryString(Slot(SettingName::SettingNameN, 1), text),
              RegistryDb::ErrorFileNotFound);
    EXPECT_EQ(text, QString());
    qint32 number = 7;
    EXPECT_NE(profiles.QueryNumber(Name(SettingName::SavePass), number), 0);
    EXPECT_EQ(number, 7) << "a failed number query leaves its output alone";

    EXPECT_TRUE(QFileInfo::exists(config.DatabasePath()));
}

TEST_F(SettingsStoreTest, EveryValueOfBothKeysRoundTrips)
{
    for (const char* flag : {SettingName::ConnectDlgWithStartup, SettingName::AutoTransferMode,
                             SettingName::CheckOverwrite, SettingName::UseAutoDialUp,
                             SettingName::UsePASV, SettingName::UseLIST}) {
        EXPECT_TRUE(SettingsStore::WriteFlag(Name(flag), true));
        EXPECT_TRUE(SettingsStore::ReadFlag(Name(flag))) << flag;
        SettingsStore::WriteFlag(Name(flag), false);
        EXPECT_FALSE(SettingsStore::ReadFlag(Name(flag))) << flag;
    }
    SettingsStore::WriteString(Name(SettingName::AutoTransferModeList), QStringLiteral("txt htm c"));
    SettingsStore::WriteString(Name(SettingName::AutoDialUpName), QStringLiteral("会社の回線"));
    SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), 30);
    EXPECT_TRUE(SettingsStore::WriteSavePassword(true));
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoTransferModeList)),
              QStringLiteral("txt htm c"));
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoDialUpName)),
              QStringLiteral("会社の回線"));
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), 30);
    EXPECT_TRUE(SettingsStore::ReadSavePassword());
    SettingsStore::WriteSavePassword(false);
    EXPECT_FALSE(SettingsStore::ReadSavePassword());

    const char* profileValues[] = {SettingName::SettingNameN, SettingName::ServerN,
                                   SettingName::NameN,        SettingName::PassN,
                                   SettingName::LocalInitDirN, SettingName::RemoteInitDirN};
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, Name(SettingKey::Profiles)), 0);
        for (int slot = 1; slot <= 10; ++slot)
            for (const char* value : profileValues)
                ASSERT_EQ(key.SetString(Slot(value, slot), Slot(value, slot) + QStringLiteral("値")), 0);
    }
    RegistryKey key;
    ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, Name(SettingKey::ProfilesUpper)), 0);
    for (int slot = 1; slot <= 10; ++slot) {
        for (const char* value : profileValues) {
            QString text;
            EXPECT_EQ(key.QueryString(Slot(value, slot), text), 0);
            EXPECT_EQ(text, Slot(value, slot) + QStringLiteral("値"));
        }
    }
}

TEST_F(SettingsStoreTest, FlagReadsTrueOnlyForExactlyOneAndIsWrittenAsZeroOrOne)
{
    {
        RegistryKey key;
        ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, Name(SettingKey::Settings)), 0);
        key.SetNumber(Name(SettingName::UsePASV), 2);
        key.SetNumber(Name(SettingName::UseLIST), -1);
    }
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::UseLIST)));

    SettingsStore::WriteFlag(Name(SettingName::UsePASV), true);
    EXPECT_EQ(StoredBytes(SettingKey::Settings, Name(SettingName::UsePASV)),
              QByteArray("\x01\x00\x00\x00", 4));
    SettingsStore::WriteFlag(Name(SettingName::UsePASV), false);
    EXPECT_EQ(StoredBytes(SettingKey::Settings, Name(SettingName::UsePASV)),
              QByteArray("\x00\x00\x00\x00", 4));
}

TEST_F(SettingsStoreTest, NegativeNumberKeepsItsThirtyTwoBitPattern)
{
    SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), -5);
    EXPECT_EQ(StoredBytes(SettingKey::Settings, Name(SettingName::ConnectTimeout)),
              QByteArray("\xfb\xff\xff\xff", 4));
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), -5);
    SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), INT32_MIN);
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), INT32_MIN);
}

TEST_F(SettingsStoreTest, StringOfNinetyNineCharactersReadsWholeAndOneMoreReadsEmpty)
{
    const QString longest(99, QChar(u'あ'));
    SettingsStore::WriteString(Name(SettingName::AutoDialUpName), longest);
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoDialUpName)), longest);

    const QString tooLong(100, QChar(u'x'));
    SettingsStore::WriteString(Name(SettingName::AutoDialUpName), tooLong);
    EXPECT_EQ(StoredBytes(SettingKey::Settings, Name(SettingName::AutoDialUpName)).size(), 202)
        << "the text is stored with its terminating NUL";
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoDialUpName)), QString());
}

TEST_F(SettingsStoreTest, BothSpellingsOfKeyAndValueNamesReachOneValue)
{
    SettingsStore::WriteFlag(Name(SettingName::AutoTransferMode), true);  // upper-case path
    RegistryKey mixed;
    ASSERT_EQ(mixed.Open(RegistryRoot::CurrentUser, Name(SettingKey::Settings)), 0);
    qint32 number = 0;
    EXPECT_EQ(mixed.QueryNumber(Name(SettingName::AutoTransferMode), number), 0);
    EXPECT_EQ(number, 1);

    mixed.SetNumber(QStringLiteral("checkoverwrite"), 1);
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::CheckOverwrite)));

    RegistryKey profiles;
    ASSERT_EQ(profiles.Open(RegistryRoot::CurrentUser, Name(SettingKey::Profiles)), 0);
    profiles.SetNumber(Name(SettingName::SavePass), 1);
    EXPECT_TRUE(SettingsStore::ReadSavePassword());  // reads through "SOFTWARE\..."
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::SavePass)))
        << "the settings key and the profile key are different keys";
}

TEST_F(SettingsStoreTest, StoredTypeIsNotExamined)
{
    RegistryKey key;
    ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, Name(SettingKey::Settings)), 0);
    key.SetString(QStringLiteral("Short"), QStringLiteral("a"));  // 61 00 00 00
    qint32 number = 0;
    EXPECT_EQ(key.QueryNumber(QStringLiteral("Short"), number), 0);
    EXPECT_EQ(number, 0x61);

    key.SetString(QStringLiteral("Long"), QStringLiteral("ab"));  // six bytes
    number = 7;
    EXPECT_EQ(key.QueryNumber(QStringLiteral("Long"), number), RegistryDb::ErrorMoreData);
    EXPECT_EQ(number, 7);

    key.SetNumber(QStringLiteral("Number"), 0x00420041);
    QString text;
    EXPECT_EQ(key.QueryString(QStringLiteral("Number"), text), 0);
    EXPECT_EQ(text, QStringLiteral("AB"));
}

TEST_F(SettingsStoreTest, ClosedKeyRefusesEveryAccess)
{
    RegistryKey key;
    EXPECT_FALSE(key.IsOpen());
    qint32 number = 3;
    QString text = QStringLiteral("stale");
    EXPECT_EQ(key.SetNumber(QStringLiteral("X"), 1), RegistryDb::ErrorInvalidHandle);
    EXPECT_EQ(key.QueryNumber(QStringLiteral("X"), number), RegistryDb::ErrorInvalidHandle);
    EXPECT_EQ(key.QueryString(QStringLiteral("X"), text), RegistryDb::ErrorInvalidHandle);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(text, QString());
    ASSERT_EQ(key.Open(RegistryRoot::CurrentUser, Name(SettingKey::Settings)), 0);
    EXPECT_TRUE(key.IsOpen());
    key.Close();
    EXPECT_FALSE(key.IsOpen());
    EXPECT_EQ(key.SetString(QStringLiteral("X"), QStringLiteral("x")),
              RegistryDb::ErrorInvalidHandle);
}

TEST(SettingsStoreFiles, FolderAndFileArePrivateToTheirOwner)
{
    TempConfigDir config(QStringLiteral("tallowin"));
    ASSERT_FALSE(QFileInfo::exists(config.Path()));
    SettingsStore::WriteString(Name(SettingName::AutoDialUpName), QStringLiteral("x"));
    EXPECT_EQ(ModeOf(config.Path()), mode_t(0700));
    EXPECT_EQ(ModeOf(config.DatabasePath()), mode_t(0600));

    // A store left readable by others (an older version, a restored backup) is tightened at the
    // next use, a read as much as a write.
    ASSERT_EQ(chmod(QFile::encodeName(config.Path()).constData(), 0755), 0);
    ASSERT_EQ(chmod(QFile::encodeName(config.DatabasePath()).constData(), 0644), 0);
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoDialUpName)), QStringLiteral("x"));
    EXPECT_EQ(ModeOf(config.Path()), mode_t(0700));
    EXPECT_EQ(ModeOf(config.DatabasePath()), mode_t(0600));
}

TEST(SettingsStoreFiles, DatabasePathFollowsTheEnvironment)
{
    TempConfigDir config;
    EXPECT_EQ(RegistryDb::DatabasePath(), config.DatabasePath());

    const QByteArray override = qgetenv(TempConfigDir::VariableName);
    const QByteArray xdg = qgetenv("XDG_CONFIG_HOME");
    const QByteArray home = qgetenv("HOME");
    qunsetenv(TempConfigDir::VariableName);
    qputenv("XDG_CONFIG_HOME", "/xdg/config");
    EXPECT_EQ(RegistryDb::DatabasePath(), QStringLiteral("/xdg/config/tallowin/registry.sqlite3"));
    qputenv("XDG_CONFIG_HOME", "relative/is/ignored");
    qputenv("HOME", "/home/someone");
    EXPECT_EQ(RegistryDb::DatabasePath(),
              QStringLiteral("/home/someone/.config/tallowin/registry.sqlite3"));
    qputenv("HOME", home);
    if (xdg.isNull())
        qunsetenv("XDG_CONFIG_HOME");
    else
        qputenv("XDG_CONFIG_HOME", xdg);
    qputenv(TempConfigDir::VariableName, override);
}

TEST(SettingsStoreFiles, DamagedFileIsMovedAsideOnceAndAFreshStoreStarted)
{
    TempConfigDir config;
    const QByteArray garbage("this was never a database, but it is the user's file\n");
    {
        QFile file(config.DatabasePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(garbage.repeated(100));
    }
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
    SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), 45);
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), 45);
    const std::string said = ::testing::internal::GetCapturedStderr();

    const QString aside = config.DatabasePath() + QStringLiteral(".damaged");
    EXPECT_NE(said.find(QFile::encodeName(aside).toStdString()), std::string::npos) << said;
    EXPECT_EQ(said.find("damaged-2"), std::string::npos) << "moved aside only once: " << said;
    QFile moved(aside);
    ASSERT_TRUE(moved.open(QIODevice::ReadOnly));
    EXPECT_EQ(moved.readAll(), garbage.repeated(100));
    EXPECT_EQ(ModeOf(config.DatabasePath()), mode_t(0600));

    // A second damage never overwrites the first one's copy.
    {
        QFile file(config.DatabasePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(QByteArray(4096, '\xff'));
    }
    ::testing::internal::CaptureStderr();
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), 0);
    ::testing::internal::GetCapturedStderr();
    EXPECT_TRUE(QFileInfo::exists(aside + QStringLiteral("-2")));
    moved.seek(0);
    EXPECT_EQ(moved.readAll(), garbage.repeated(100));
}

TEST(SettingsStoreProcesses, TwoWritersAtOnceLoseNoValue)
{
    TempConfigDir config;
    constexpr int Count = 150;
    QProcess first;
    QProcess second;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    first.start(QStringLiteral(REGISTRY_WRITER_PATH), {QStringLiteral("A"), QString::number(Count)});
    second.start(QStringLiteral(REGISTRY_WRITER_PATH), {QStringLiteral("B"), QString::number(Count)});
    ASSERT_TRUE(first.waitForFinished(-1));
    ASSERT_TRUE(second.waitForFinished(-1));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    for (const char* prefix : {"A", "B"}) {
        for (int i = 0; i < Count; ++i)
            ASSERT_EQ(SettingsStore::ReadNumber(Name(prefix) + QString::number(i)), i) << prefix << i;
        EXPECT_EQ(SettingsStore::ReadNumber(Name(prefix) + QStringLiteral("Last")), Count - 1);
        EXPECT_EQ(SettingsStore::ReadString(Name(prefix) + QStringLiteral("Text")),
                  QString::number(Count - 1));
    }
}

TEST(SettingsStoreProcesses, TwoCopiesSavingProfilesAtOnceTakeDistinctSlots)
{
    TempConfigDir config;
    constexpr int Rounds = 8;
    QProcess first;
    QProcess second;
    first.setProcessChannelMode(QProcess::ForwardedChannels);
    second.setProcessChannelMode(QProcess::ForwardedChannels);
    const QString rounds = QString::number(Rounds);
    const QString goFile = config.Path() + QStringLiteral("/go");
    first.start(QStringLiteral(REGISTRY_WRITER_PATH), {QStringLiteral("--profiles"), QStringLiteral("A"), rounds, goFile});
    second.start(QStringLiteral(REGISTRY_WRITER_PATH), {QStringLiteral("--profiles"), QStringLiteral("B"), rounds, goFile});
    ASSERT_TRUE(first.waitForStarted());
    ASSERT_TRUE(second.waitForStarted());
    QFile(goFile).open(QIODevice::WriteOnly);
    ASSERT_TRUE(first.waitForFinished(-1));
    ASSERT_TRUE(second.waitForFinished(-1));
    EXPECT_EQ(first.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(first.exitCode(), 0);
    EXPECT_EQ(second.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(second.exitCode(), 0);

    // Ten profiles in the ten slots, each whole.
    QStringList names;
    for (int slot = 1; slot <= ConnectionProfile::SlotCount; ++slot) {
        const QString name = ConnectionProfile::ReadProfileName(slot);
        names << name;
        ConnectionProfile loaded;
        ASSERT_TRUE(loaded.LoadProfile(name)) << slot;
        EXPECT_EQ(loaded.server, name + QStringLiteral(".example")) << slot;
    }
    names.sort();
    EXPECT_EQ(names, (QStringList{"A0", "A1", "A2", "A3", "A4", "B0", "B1", "B2", "B3", "B4"}));
}

}  // namespace

TEST(SettingsStoreDefaults, FirstStartTurnsOnAutomaticAndPassiveModesAndKeepsStoredValues)
{
    {
        TempConfigDir config;
        SettingsStore::StoreFirstStartDefaults();
        EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::AutoTransferMode)));
        EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
        EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoTransferModeList)),
                  SettingsStore::DefaultTextModeList);
        EXPECT_LE(SettingsStore::DefaultTextModeList.size(), SettingsStore::MaxTextLength);
    }
    {
        // Choices made before (off, an empty list, a value of another type) are not undone.
        TempConfigDir config;
        SettingsStore::WriteFlag(Name(SettingName::AutoTransferMode), false);
        SettingsStore::WriteString(Name(SettingName::UsePASV), QStringLiteral("no"));
        SettingsStore::StoreFirstStartDefaults();
        EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::AutoTransferMode)));
        EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
        EXPECT_EQ(StoredBytes(SettingKey::Settings, Name(SettingName::AutoTransferModeList)),
                  QByteArray("<absent>"));
    }
    {
        // A list of its own survives the automatic mode's first start.
        TempConfigDir config;
        SettingsStore::WriteString(Name(SettingName::AutoTransferModeList), QString());
        SettingsStore::StoreFirstStartDefaults();
        EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::AutoTransferMode)));
        EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoTransferModeList)), QString());
    }
}

// Partial-download records: local paths are long and differ in letter case where the store's
// names do not, and a record that goes is gone.
TEST_F(SettingsStoreTest, PartialRecordsKeepLongPathsApartByCaseAndAreForgotten)
{
    const QString longFolder = QStringLiteral("/home/u/") + QString(300, QChar(0x3042));
    PartialRecord record;
    record.target = longFolder + QStringLiteral("/File");
    record.partial = record.target + QStringLiteral(".1.part");
    record.server = QStringLiteral("ftp.example:21");
    record.remotePath = QStringLiteral("/pub/File");
    record.remoteSize = 5'000'000'000;
    record.remoteTime = QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9, 123), Qt::UTC);
    record.device = 42;
    record.inode = 1ull << 40;
    ASSERT_TRUE(PartialRecords::Store(record));
    PartialRecord lower = record;
    lower.target = longFolder + QStringLiteral("/file");
    lower.partial = lower.target + QStringLiteral(".part");
    ASSERT_TRUE(PartialRecords::Store(lower));

    const std::optional<PartialRecord> found = PartialRecords::Find(record.target);
    ASSERT_TRUE(found.has_value());
    EXPECT_EQ(found->partial, record.partial);
    EXPECT_EQ(found->remoteSize, record.remoteSize);
    EXPECT_EQ(found->remoteTime, record.remoteTime);
    EXPECT_EQ(found->inode, record.inode);
    EXPECT_TRUE(found->SameRemoteFile(record.server, record.remotePath, record.remoteSize, record.remoteTime));
    EXPECT_FALSE(found->SameRemoteFile(record.server, record.remotePath, record.remoteSize + 1, record.remoteTime));
    EXPECT_FALSE(found->SameRemoteFile(record.server, record.remotePath, record.remoteSize, record.remoteTime.addSecs(1)));
    // Nothing that tells the file is not enough.
    PartialRecord unknown = record;
    unknown.remoteSize = -1;
    unknown.remoteTime = QDateTime();
    EXPECT_FALSE(unknown.SameRemoteFile(record.server, record.remotePath, -1, QDateTime()));

    PartialRecords::Forget(record.target);
    EXPECT_FALSE(PartialRecords::Find(record.target).has_value());
    ASSERT_TRUE(PartialRecords::Find(lower.target).has_value());
    EXPECT_EQ(PartialRecords::Find(lower.target)->partial, lower.partial);
}
