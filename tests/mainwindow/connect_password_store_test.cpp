// Saved passwords on a machine where no keyring answers: the settings store keeps them, and the
// log says so once per run.
#include "tests/mainwindow/connect_fixture.h"

#include "settings/connection_profile.h"
#include "settings/registry_key.h"
#include "tests/support/stored_profile.h"
#include "tests/support/no_keyring.h"

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>

namespace {

class PasswordStoreTest : public ConnectTest {
protected:
    // The next login dialog gets a profile typed in and saved under the name with
    // "パスワードを保存" on, and is then cancelled.
    void QueueSaveThenCancel(const QString& name, const QString& server, const QString& password)
    {
        prompter.QueueDialog([=](QDialog& dialog) {
            dialog.findChild<QLineEdit*>(QStringLiteral("serverEdit"))->setText(server);
            dialog.findChild<QLineEdit*>(QStringLiteral("userNameEdit"))->setText(QStringLiteral("user"));
            dialog.findChild<QLineEdit*>(QStringLiteral("passwordEdit"))->setText(password);
            dialog.findChild<QCheckBox*>(QStringLiteral("savePasswordCheck"))->setChecked(true);
            dialog.findChild<QComboBox*>(QStringLiteral("profileList"))->setEditText(name);
            dialog.findChild<QPushButton*>(QStringLiteral("saveButton"))->click();
            return false;
        });
    }

    NoKeyring noKeyring;
};

TEST_F(PasswordStoreTest, SavedPasswordsStayInTheStoreAndTheLogSaysSoOnce)
{
    const QString logBefore = window->LogText();
    QueueSaveThenCancel(QStringLiteral("a"), QStringLiteral("a.example"), QStringLiteral("pass a"));
    window->Connect();
    EXPECT_EQ(StoredPassword(1), QStringLiteral("pass a"));
    EXPECT_EQ(window->LogText(), logBefore + u'\n' + ConnectText::PasswordsInSettingsFile);

    window->Control(MainControlId::LogBox)->setProperty("plainText", QString());
    QueueSaveThenCancel(QStringLiteral("b"), QStringLiteral("b.example"), QStringLiteral("pass b"));
    window->Connect();
    EXPECT_EQ(StoredPassword(2), QStringLiteral("pass b"));
    EXPECT_EQ(window->LogText(), QString()) << "only once per run";

    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("a")));
    EXPECT_EQ(loaded.password, QStringLiteral("pass a"));
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_F(PasswordStoreTest, PlainPasswordStaysAfterALoginWhenNoKeyringTakesIt)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    ConnectionProfile profile;
    profile.server = PeerServer(peer);
    profile.userName = QStringLiteral("user");
    profile.password = QStringLiteral("secret");
    ASSERT_EQ(profile.SaveProfile(QStringLiteral("plain")), ConnectionProfile::SaveResult::Saved);
    PasswordVault::ResetForTests();  // as if saved in an earlier run

    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"));
    window->Connect();
    ASSERT_TRUE(LooksConnected());
    EXPECT_EQ(StoredPassword(1), QStringLiteral("secret"));
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral("257 \"/home\" is the current directory\r\n"))
                                     + u'\n' + ConnectText::PasswordsInSettingsFile);
}

}  // namespace
