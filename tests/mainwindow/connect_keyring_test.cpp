// Saved passwords with a keyring that answers: a GNOME Keyring of the test's own, on a session
// bus of its own (with_keyring.sh starts both for every test).
#include "settings/connection_profile.h"
#include "settings/password_vault.h"
#include "settings/registry_key.h"
#include "tests/mainwindow/connect_fixture.h"
#include "tests/support/stored_profile.h"

#include <QComboBox>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <optional>

namespace {

// The keyring's entry, read past the vault: service "Tallowin", key "user@server". Nothing when
// there is none; any other answer fails the test.
std::optional<QString> KeyringEntry(const QString& key)
{
    QKeychain::ReadPasswordJob job(QLatin1String(PasswordVault::ServiceName));
    job.setAutoDelete(false);
    job.setKey(key);
    QEventLoop loop;
    QObject::connect(&job, &QKeychain::Job::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(10000, &loop, &QEventLoop::quit);
    job.start();
    loop.exec();
    if (job.error() == QKeychain::EntryNotFound)
        return std::nullopt;
    EXPECT_EQ(job.error(), QKeychain::NoError) << job.errorString().toStdString();
    return job.textData();
}

ConnectionProfile Account(const QString& server, const QString& userName, const QString& password)
{
    ConnectionProfile profile;
    profile.server = server;
    profile.userName = userName;
    profile.password = password;
    profile.encryption = 0;  // the scripted servers speak plain FTP
    return profile;
}

class KeyringTest : public ConnectTest {
protected:
    void SetUp() override
    {
        PasswordVault::ResetForTests();
        ConnectTest::SetUp();
        ASSERT_FALSE(qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
            << "run through tests/support/with_keyring.sh";
    }
    void TearDown() override { PasswordVault::ResetForTests(); }

    // Saves the profile while no keyring is asked, as an earlier version of the program did.
    static void SavePlain(const ConnectionProfile& profile, const QString& name)
    {
        PasswordVault::UseStoreOnly();
        ASSERT_EQ(profile.SaveProfile(name), ConnectionProfile::SaveResult::Saved);
        PasswordVault::ResetForTests();
    }

    // The next login dialog picks the saved profile and is confirmed.
    void QueuePick(const QString& name)
    {
        prompter.QueueDialog([name](QDialog& dialog) {
            auto* profiles = dialog.findChild<QComboBox*>(QStringLiteral("profileList"));
            const int line = profiles ? profiles->findText(name) : -1;
            EXPECT_GE(line, 0) << name.toStdString();
            profiles->setCurrentIndex(line);
            emit profiles->activated(line);
            dialog.accept();
            return true;
        });
    }
};

TEST_F(KeyringTest, SavedPasswordLivesInTheKeyringUntilTheLastProfileOfItsAccountGoes)
{
    const QString key = QStringLiteral("alice@ftp.example:2121");
    ASSERT_EQ(Account(QStringLiteral("ftp.example:2121"), QStringLiteral("alice"), QStringLiteral("p@ss wörd"))
                  .SaveProfile(QStringLiteral("a")),
              ConnectionProfile::SaveResult::Saved);
    EXPECT_EQ(StoredPassword(1), QString());
    EXPECT_EQ(KeyringEntry(key), QStringLiteral("p@ss wörd"));

    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("a")));
    EXPECT_EQ(loaded.server, QStringLiteral("ftp.example:2121"));
    EXPECT_EQ(loaded.password, QStringLiteral("p@ss wörd"));
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("a"), false));
    EXPECT_EQ(loaded.password, QString());

    // A second profile of the account, saved with the box off, shares the entry.
    ASSERT_EQ(Account(QStringLiteral("ftp.example:2121"), QStringLiteral("alice"), QString())
                  .SaveProfile(QStringLiteral("b")),
              ConnectionProfile::SaveResult::Saved);
    EXPECT_EQ(KeyringEntry(key), QStringLiteral("p@ss wörd"));
    ASSERT_TRUE(ConnectionProfile::DeleteProfile(QStringLiteral("a")));
    EXPECT_EQ(KeyringEntry(key), QStringLiteral("p@ss wörd")) << "profile b still names the account";
    ASSERT_TRUE(ConnectionProfile::DeleteProfile(QStringLiteral("b")));
    EXPECT_EQ(KeyringEntry(key), std::nullopt);

    EXPECT_FALSE(PasswordVault::TakeStoreFallbackNotice());
}

TEST_F(KeyringTest, KeyringPasswordComesBeforeThePlainValue)
{
    SavePlain(Account(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("old")), QStringLiteral("p"));
    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("p")));
    EXPECT_EQ(loaded.password, QStringLiteral("old")) << "no entry yet: the store's value";

    ASSERT_EQ(PasswordVault::Store(QStringLiteral("h"), QStringLiteral("u"), QStringLiteral("new")),
              PasswordVault::Outcome::Done);
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("p")));
    EXPECT_EQ(loaded.password, QStringLiteral("new"));
}

TEST_F(KeyringTest, PlainPasswordMovesIntoTheKeyringAtItsNextSuccessfulLogin)
{
    SettingsStore::WriteSavePassword(true);
    ScriptedFtpPeer refusing;
    refusing.Greet().Answer("331 Password required").Answer("530 Login incorrect");
    ScriptedFtpPeer accepting;
    ScriptConnect(accepting);
    SavePlain(Account(PeerServer(refusing), QStringLiteral("user"), QStringLiteral("secret")), QStringLiteral("refused"));
    SavePlain(Account(PeerServer(accepting), QStringLiteral("user"), QStringLiteral("secret")), QStringLiteral("good"));

    QueuePick(QStringLiteral("refused"));
    window->Connect();
    ASSERT_TRUE(LooksDisconnected());
    EXPECT_EQ(StoredPassword(1), QStringLiteral("secret")) << "a refused login moves nothing";
    EXPECT_EQ(KeyringEntry(QStringLiteral("user@") + PeerServer(refusing)), std::nullopt);

    QueuePick(QStringLiteral("good"));
    window->Connect();
    ASSERT_TRUE(LooksConnected());
    EXPECT_EQ(StoredPassword(2), QString());
    EXPECT_EQ(KeyringEntry(QStringLiteral("user@") + PeerServer(accepting)), QStringLiteral("secret"));
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral("257 \"/home\" is the current directory\r\n")));
    ASSERT_TRUE(accepting.WaitScriptDone());
    EXPECT_EQ(accepting.Commands().mid(0, 2), (QList<QByteArray>{"USER user", "PASS secret"}));

    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("good")));
    EXPECT_EQ(loaded.password, QStringLiteral("secret"));
    EXPECT_EQ(prompter.unanswered, 0);
}

}  // namespace
