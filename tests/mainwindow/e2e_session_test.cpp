// One whole session through the window against a real server, as a person would work it:
// connect with a saved profile, go into a folder, upload, download, compare checksums, make and
// remove a folder, rename, change permissions, delete, disconnect.
#include "mainwindow/attribute_dialog.h"
#include "mainwindow/strings.h"
#include "settings/connection_profile.h"
#include "settings/login_dialog.h"
#include "settings/settings_store.h"
#include "tests/mainwindow/files_fixture.h"
#include "tests/support/no_keyring.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFileInfo>
#include <QRandomGenerator>

#include <gtest/gtest.h>

namespace {

QByteArray Checksum(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result();
}

// Picks the saved profile in the login dialog and confirms it.
ScriptedPrompter::DialogScript PickProfile(const QString& name)
{
    return [name](QDialog& dialog) {
        auto* login = qobject_cast<LoginDialog*>(&dialog);
        auto* profiles = dialog.findChild<QComboBox*>(QStringLiteral("profileList"));
        if (!login || !profiles)
            return false;
        const int line = profiles->findText(name);
        if (line < 0)
            return false;
        profiles->setCurrentIndex(line);
        emit profiles->activated(line);
        dialog.accept();
        return true;
    };
}

}  // namespace

// The session's own folder is the remote start folder of the profile, so the server's root stays
// untouched by everything but the set-up.
class EndToEndTest : public RemoteFilesTest {
protected:
    void SetUp() override
    {
        RemoteFilesTest::SetUp();
        if (IsSkipped())
            return;
        // Start from a window that was never connected.
        window = std::make_unique<MainWindow>();
    }

    NoKeyring noKeyring;
};

TEST_P(EndToEndTest, AWholeSessionThroughTheWindow)
{
    ConnectionProfile profile;
    profile.server = QStringLiteral("%1:%2").arg(server->host).arg(server->port);
    profile.userName = server->user;
    profile.password = server->password;
    profile.localInitDir = Scratch() + QLatin1Char('/');
    profile.remoteInitDir = RemoteFolder();
    ASSERT_EQ(profile.SaveProfile(QStringLiteral("e2e")), ConnectionProfile::SaveResult::Saved);
    // The profile was saved with its password, so picking it fills all three fields.
    SettingsStore::WriteSavePassword(true);
    SettingsStore::WriteFlag(SettingName::UsePASV, true);

    prompter.QueueDialog(PickProfile(QStringLiteral("e2e")));
    prompter.QueueCheckedAnswer(true);  // going on in clear text
    window->Connect();
    ASSERT_EQ(window->RemotePath(), RemoteFolder())
        << window->LogText().toStdString() << prompter.messages.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(window->LocalPath(), Scratch());
    // The profile asks for TLS when the server offers it, and these plain servers refuse it: the
    // session goes on in clear once the person said yes, and says so. The saved password stayed in the store: the log says
    // so below its message.
    EXPECT_EQ(window->LogText(), QStringLiteral("use PASV.\n") + ConnectText::NotEncrypted + u'\n'
                                     + ConnectText::PasswordsInSettingsFile);
    EXPECT_FALSE(window->Control(MainControlId::Connect)->isEnabled());
    EXPECT_TRUE(window->Control(MainControlId::Upload)->isEnabled());

    // A remote folder to work in, and into it.
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("作業")));
    window->NewRemoteFolder();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<作業>")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder(QStringLiteral("作業")));

    // Upload a binary file.
    QByteArray data(3 * 1024 * 1024 + 17, Qt::Uninitialized);
    QRandomGenerator(42).fillRange(reinterpret_cast<quint32*>(data.data()), data.size() / 4);
    WriteFile(Scratch(QStringLiteral("data bin.dat")), data);
    window->SelectBinaryMode();
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("data bin.dat")}));
    prompter.QueueAnswer(true);
    window->UploadSelection();
    ASSERT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("data bin.dat"))) << window->LogText().toStdString();

    // Download it into a new local folder and compare.
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("back")));
    window->NewLocalFolder();
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("<back>")));
    window->OpenLocalEntry();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("data bin.dat")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(window->LogText(), QStringLiteral("ダウンロードが完了しました"));
    const QByteArray sent = Checksum(Scratch(QStringLiteral("data bin.dat")));
    EXPECT_EQ(Checksum(Scratch(QStringLiteral("back/data bin.dat"))), sent);
    EXPECT_EQ(Checksum(InFolder(QStringLiteral("作業/data bin.dat"))), sent);

    // Make a folder and remove it again.
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("tmp")));
    window->NewRemoteFolder();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<tmp>")}));
    prompter.QueueAnswer(true);
    window->DeleteRemoteEntries();
    EXPECT_FALSE(PaneTexts(RemoteList()).contains(QStringLiteral("<tmp>")));
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("作業/tmp"))));

    // Rename, then permissions: owner read and write only.
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("data bin.dat")));
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("renamed.dat")));
    window->RenameRemoteEntry();
    ASSERT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("renamed.dat")));
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("renamed.dat")));
    prompter.QueueDialog([](QDialog& dialog) {
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            box->setChecked(false);
        auto& attributes = static_cast<AttributeDialog&>(dialog);
        static_cast<QCheckBox*>(attributes.Control(AttributeControlId::OwnerRead))->setChecked(true);
        static_cast<QCheckBox*>(attributes.Control(AttributeControlId::OwnerWrite))->setChecked(true);
        dialog.accept();
        return true;
    });
    window->ChangeAttributes();
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("作業/renamed.dat"))), 0600);

    // Delete the file, go up and remove the emptied folder.
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("renamed.dat")}));
    prompter.QueueAnswer(true);
    window->DeleteRemoteEntries();
    EXPECT_EQ(PaneTexts(RemoteList()), QStringList{QStringLiteral("..")});
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("..")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<作業>")}));
    prompter.QueueAnswer(true);
    window->DeleteRemoteEntries();
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("作業"))));

    window->Disconnect();
    EXPECT_TRUE(window->RemotePath().isEmpty());
    EXPECT_EQ(RemoteList().RowCount(), 0);
    EXPECT_TRUE(window->Control(MainControlId::Connect)->isEnabled());
    EXPECT_FALSE(window->Control(MainControlId::Upload)->isEnabled());
    EXPECT_EQ(prompter.unanswered, 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, EndToEndTest, ::testing::ValuesIn(AllServers()));
