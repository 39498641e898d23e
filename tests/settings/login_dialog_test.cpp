#include "settings/connection_profile.h"
#include "settings/control_ids.h"
#include "settings/login_dialog.h"
#include "settings/registry_key.h"
#include "settings/settings_store.h"
#include "settings/strings.h"
#include "tests/support/qt_printers.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include <gtest/gtest.h>

namespace {

ConnectionProfile Profile(const QString& tag)
{
    return {tag + QStringLiteral(".example"), tag + QStringLiteral("-user"),
            tag + QStringLiteral("-pass"), QStringLiteral("/home/") + tag,
            QStringLiteral("/srv/") + tag};
}

QString StoredString(const char* format, int slot)
{
    RegistryKey key;
    QString text;
    key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
    key.QueryString(QString::asprintf(format, slot), text);
    return text;
}

// The dialog as a person sees and works it, control by control.
struct LoginControls {
    explicit LoginControls(LoginDialog& dialog)
        : list(FindControl<QComboBox>(dialog, LoginControlId::ProfileList)),
          server(FindControl<QLineEdit>(dialog, LoginControlId::Server)),
          userName(FindControl<QLineEdit>(dialog, LoginControlId::UserName)),
          password(FindControl<QLineEdit>(dialog, LoginControlId::Password)),
          localInitDir(FindControl<QLineEdit>(dialog, LoginControlId::LocalInitDir)),
          remoteInitDir(FindControl<QLineEdit>(dialog, LoginControlId::RemoteInitDir)),
          savePassword(FindControl<QCheckBox>(dialog, LoginControlId::SavePassword)),
          save(FindControl<QPushButton>(dialog, LoginControlId::Save)),
          remove(FindControl<QPushButton>(dialog, LoginControlId::Delete))
    {
    }

    bool Complete() const
    {
        return list && server && userName && password && localInitDir && remoteInitDir
               && savePassword && save && remove;
    }

    QStringList Lines() const
    {
        QStringList lines;
        for (int i = 0; i < list->count(); ++i)
            lines << list->itemText(i);
        return lines;
    }

    void Type(const ConnectionProfile& profile)
    {
        server->setText(profile.server);
        userName->setText(profile.userName);
        password->setText(profile.password);
        localInitDir->setText(profile.localInitDir);
        remoteInitDir->setText(profile.remoteInitDir);
    }

    ConnectionProfile Shown() const
    {
        return {server->text(), userName->text(), password->text(), localInitDir->text(),
                remoteInitDir->text()};
    }

    void Pick(int line)
    {
        list->setCurrentIndex(line);
        emit list->activated(line);
    }

    void SaveAs(const QString& name)
    {
        list->setEditText(name);
        save->click();
    }

    QComboBox* list;
    QLineEdit* server;
    QLineEdit* userName;
    QLineEdit* password;
    QLineEdit* localInitDir;
    QLineEdit* remoteInitDir;
    QCheckBox* savePassword;
    QPushButton* save;
    QPushButton* remove;
};

void ExpectProfile(const ConnectionProfile& actual, const ConnectionProfile& expected)
{
    EXPECT_EQ(actual.server, expected.server);
    EXPECT_EQ(actual.userName, expected.userName);
    EXPECT_EQ(actual.password, expected.password);
    EXPECT_EQ(actual.localInitDir, expected.localInitDir);
    EXPECT_EQ(actual.remoteInitDir, expected.remoteInitDir);
}

class LoginDialogTest : public ::testing::Test {
protected:
    void SaveSlots(int count)
    {
        for (int i = 1; i <= count; ++i)
            ASSERT_EQ(Profile(QStringLiteral("p%1").arg(i)).SaveProfile(QStringLiteral("p%1").arg(i)),
                      ConnectionProfile::SaveResult::Saved);
    }

    TempConfigDir config;
    ScriptedPrompter prompter;
};

TEST_F(LoginDialogTest, FreshStoreShowsTenEmptyLinesAndEmptyFields)
{
    LoginDialog dialog;
    LoginControls controls(dialog);
    ASSERT_TRUE(controls.Complete());
    EXPECT_EQ(dialog.windowTitle(), SettingsText::LoginCaption);
    EXPECT_EQ(controls.Lines(), QStringList(10, QString()));
    EXPECT_EQ(controls.list->currentIndex(), 0);
    EXPECT_EQ(controls.list->currentText(), QString());
    ExpectProfile(controls.Shown(), ConnectionProfile());
    EXPECT_FALSE(controls.savePassword->isChecked());
    EXPECT_EQ(controls.password->echoMode(), QLineEdit::Password);
}

TEST_F(LoginDialogTest, StartLoadsSlotOneWithItsPasswordOnlyWhenPasswordsAreKept)
{
    SaveSlots(2);
    {
        LoginDialog dialog;
        LoginControls controls(dialog);
        EXPECT_EQ(controls.list->currentText(), QStringLiteral("p1"));
        ConnectionProfile expected = Profile(QStringLiteral("p1"));
        expected.password.clear();
        ExpectProfile(controls.Shown(), expected);
        EXPECT_FALSE(controls.savePassword->isChecked());
    }
    SettingsStore::WriteSavePassword(true);
    LoginDialog dialog;
    LoginControls controls(dialog);
    ExpectProfile(controls.Shown(), Profile(QStringLiteral("p1")));
    EXPECT_TRUE(controls.savePassword->isChecked());
}

TEST_F(LoginDialogTest, SaveWithTenFullSlotsShowsTheLimitAndWritesNothing)
{
    SaveSlots(10);
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.Type(Profile(QStringLiteral("extra")));
    controls.SaveAs(QStringLiteral("extra"));

    EXPECT_EQ(prompter.messages, QStringList{SettingsText::NoFreeProfileSlot});
    for (int slot = 1; slot <= 10; ++slot) {
        EXPECT_EQ(ConnectionProfile::ReadProfileName(slot), QStringLiteral("p%1").arg(slot));
        EXPECT_EQ(StoredString(SettingName::ServerN, slot), QStringLiteral("p%1.example").arg(slot));
    }
    EXPECT_EQ(controls.Lines().size(), 10);
    EXPECT_EQ(controls.list->currentText(), QString());
}

TEST_F(LoginDialogTest, SaveWithoutANameAsksForOneAndStoresNothing)
{
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.Type(Profile(QStringLiteral("x")));
    controls.SaveAs(QString());
    EXPECT_EQ(prompter.messages, QStringList{SettingsText::EnterProfileName});
    EXPECT_EQ(StoredString(SettingName::ServerN, 1), QString());
    ExpectProfile(controls.Shown(), Profile(QStringLiteral("x")));
}

TEST_F(LoginDialogTest, RepeatedNameFillsTheLowestFreeSlotAndPickingEitherLoadsIt)
{
    SaveSlots(2);
    ConnectionProfile::DeleteProfile(QStringLiteral("p1"));
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.savePassword->setChecked(true);
    controls.Type(Profile(QStringLiteral("again")));
    controls.SaveAs(QStringLiteral("p2"));

    EXPECT_TRUE(prompter.messages.isEmpty());
    QStringList expected(10, QString());
    expected[0] = expected[1] = QStringLiteral("p2");
    EXPECT_EQ(controls.Lines(), expected);
    EXPECT_EQ(controls.list->currentIndex(), -1);
    EXPECT_EQ(controls.list->currentText(), QString());
    ExpectProfile(controls.Shown(), Profile(QStringLiteral("again")));

    controls.Type(ConnectionProfile());
    controls.Pick(1);
    ExpectProfile(controls.Shown(), Profile(QStringLiteral("again")));
    controls.Pick(0);
    ExpectProfile(controls.Shown(), Profile(QStringLiteral("again")));
}

TEST_F(LoginDialogTest, DeletingSlotThreeLeavesItsLineEmptyAndTheNextSaveRefillsIt)
{
    SaveSlots(5);
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.Pick(2);
    EXPECT_EQ(controls.list->currentText(), QStringLiteral("p3"));
    controls.remove->click();

    QStringList expected{QStringLiteral("p1"), QStringLiteral("p2"), QString(),
                         QStringLiteral("p4"), QStringLiteral("p5")};
    expected << QStringList(5, QString());
    EXPECT_EQ(controls.Lines(), expected);
    EXPECT_EQ(controls.list->currentIndex(), 0);
    ExpectProfile(controls.Shown(), ConnectionProfile());
    for (const char* format : {SettingName::SettingNameN, SettingName::ServerN, SettingName::NameN,
                               SettingName::PassN, SettingName::LocalInitDirN,
                               SettingName::RemoteInitDirN})
        EXPECT_EQ(StoredString(format, 3), QString()) << format;

    controls.Type(Profile(QStringLiteral("new")));
    controls.SaveAs(QStringLiteral("new"));
    EXPECT_EQ(ConnectionProfile::ReadProfileName(3), QStringLiteral("new"));
    EXPECT_EQ(StoredString(SettingName::ServerN, 3), QStringLiteral("new.example"));
    EXPECT_EQ(ConnectionProfile::ReadProfileName(6), QString());
}

TEST_F(LoginDialogTest, PickingAFreeLineEmptiesTheTexts)
{
    SaveSlots(1);
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.Type(Profile(QStringLiteral("typed")));
    controls.Pick(4);
    ExpectProfile(controls.Shown(), ConnectionProfile());
}

TEST_F(LoginDialogTest, PasswordIsKeptOnlyWhileTheBoxIsOnButAlwaysHandedOver)
{
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.savePassword->setChecked(true);
    controls.Type(Profile(QStringLiteral("kept")));
    controls.SaveAs(QStringLiteral("kept"));
    EXPECT_EQ(StoredString(SettingName::PassN, 1), QStringLiteral("kept-pass"));

    // Box off: a stored password is not shown when its profile is picked.
    controls.savePassword->setChecked(false);
    controls.Pick(0);
    EXPECT_EQ(controls.password->text(), QString());
    EXPECT_EQ(controls.server->text(), QStringLiteral("kept.example"));

    // Box off: the saved copy has no password, the box still shows it, and OK hands it over.
    controls.Type(Profile(QStringLiteral("bare")));
    controls.SaveAs(QStringLiteral("bare"));
    EXPECT_EQ(ConnectionProfile::ReadProfileName(2), QStringLiteral("bare"));
    EXPECT_EQ(StoredString(SettingName::PassN, 2), QString());
    EXPECT_EQ(controls.password->text(), QStringLiteral("bare-pass"));

    prompter.QueueDialog([](QDialog& d) {
        d.accept();
        return d.result() == QDialog::Accepted;
    });
    ASSERT_TRUE(Prompter::Current().RunDialog(dialog));
    ExpectProfile(dialog.fields, Profile(QStringLiteral("bare")));
    EXPECT_FALSE(dialog.savePassword);
    EXPECT_FALSE(SettingsStore::ReadSavePassword());
}

TEST_F(LoginDialogTest, OkStoresTheBoxAndCancelLeavesItButKeepsSaves)
{
    {
        LoginDialog dialog;
        LoginControls controls(dialog);
        controls.savePassword->setChecked(true);
        controls.Type(Profile(QStringLiteral("kept")));
        controls.SaveAs(QStringLiteral("kept"));
        dialog.reject();
    }
    EXPECT_FALSE(SettingsStore::ReadSavePassword());
    EXPECT_EQ(ConnectionProfile::ReadProfileName(1), QStringLiteral("kept"));

    LoginDialog dialog;
    FindControl<QCheckBox>(dialog, LoginControlId::SavePassword)->setChecked(true);
    dialog.accept();
    EXPECT_TRUE(SettingsStore::ReadSavePassword());
}

TEST_F(LoginDialogTest, TextsAndNamesStopAtNinetyNineCharactersSoTheyReadBack)
{
    const QString tooLong(120, QChar(u'名'));
    LoginDialog dialog;
    LoginControls controls(dialog);
    controls.Type({tooLong, tooLong, tooLong, tooLong, tooLong});
    controls.savePassword->setChecked(true);
    controls.SaveAs(tooLong);

    const QString kept = tooLong.left(99);
    EXPECT_EQ(ConnectionProfile::ReadProfileName(1), kept);
    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(kept));
    ExpectProfile(loaded, {kept, kept, kept, kept, kept});
    EXPECT_EQ(ConnectionProfile::FindProfileSlot(QString()), 2) << "slot 1 is not free";
}

TEST(ConnectionProfileTest, SlotWhoseServerCannotBeReadLoadsEmpty)
{
    TempConfigDir config;
    ASSERT_EQ(Profile(QStringLiteral("a")).SaveProfile(QStringLiteral("a")),
              ConnectionProfile::SaveResult::Saved);
    {
        RegistryKey key;
        key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        key.SetString(QStringLiteral("Server1"), QString(100, QChar(u's')));
    }
    ConnectionProfile loaded = Profile(QStringLiteral("before"));
    EXPECT_TRUE(loaded.LoadProfile(QStringLiteral("a")));
    ExpectProfile(loaded, ConnectionProfile());

    ConnectionProfile untouched = Profile(QStringLiteral("before"));
    EXPECT_FALSE(untouched.LoadProfile(QStringLiteral("missing")));
    ExpectProfile(untouched, Profile(QStringLiteral("before")));
    EXPECT_FALSE(ConnectionProfile::DeleteProfile(QStringLiteral("missing")));
}

}  // namespace

namespace {

void PressKey(QWidget* target, Qt::Key key)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QApplication::sendEvent(target, &press);
}

TEST_F(LoginDialogTest, EnterConfirmsAndEscapeCancelsFromTheFields)
{
    for (bool fromList : {false, true}) {
        LoginDialog dialog;
        LoginControls controls(dialog);
        dialog.show();
        QWidget* field = fromList ? static_cast<QWidget*>(controls.list->lineEdit()) : controls.server;
        field->setFocus();
        PressKey(field, Qt::Key_Return);
        EXPECT_EQ(dialog.result(), QDialog::Accepted) << "from the list: " << fromList;
        EXPECT_FALSE(dialog.isVisible());

        LoginDialog other;
        other.show();
        PressKey(FindControl<QLineEdit>(other, LoginControlId::UserName), Qt::Key_Escape);
        EXPECT_EQ(other.result(), QDialog::Rejected);
        EXPECT_FALSE(other.isVisible());
    }
}

}  // namespace

// The encryption choice: labelled for assistive tools, three choices in the stored order, kept
// per slot, and "if available" for a slot stored before the choice existed.
TEST_F(LoginDialogTest, EncryptionChoiceIsStoredPerSlotAndDefaultsToIfAvailable)
{
    SaveSlots(1);  // saved by this version: Encryption1 = 1
    {
        // A slot of an older version: no encryption value at all.
        RegistryKey key;
        key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        for (const char* format : {SettingName::SettingNameN, SettingName::ServerN, SettingName::NameN})
            key.SetString(QString::asprintf(format, 2), QStringLiteral("old"));
    }
    LoginDialog dialog;
    LoginControls controls(dialog);
    auto* encryption = FindControl<QComboBox>(dialog, LoginControlId::Encryption);
    ASSERT_NE(encryption, nullptr);
    const QStringList choices = {QStringLiteral("なし (平文の FTP)"), QStringLiteral("TLS を使えれば使う"),
                                 QStringLiteral("TLS が必須")};
    QStringList shown;
    for (int i = 0; i < encryption->count(); ++i)
        shown << encryption->itemText(i);
    EXPECT_EQ(shown, choices);
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("encryptionLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("暗号化"));
    EXPECT_EQ(label->buddy(), encryption);
    EXPECT_EQ(encryption->currentIndex(), 1);

    controls.Pick(1);
    EXPECT_EQ(encryption->currentIndex(), 1);  // absent reads as 1
    encryption->setCurrentIndex(2);
    controls.Type(Profile(QStringLiteral("strict")));
    controls.SaveAs(QStringLiteral("strict"));
    encryption->setCurrentIndex(0);
    controls.Pick(2);  // slot 3, where "strict" went
    EXPECT_EQ(encryption->currentIndex(), 2);
    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("strict")));
    EXPECT_EQ(loaded.encryption, 2);
    {
        RegistryKey key;
        key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        key.SetNumber(QStringLiteral("Encryption3"), 7);  // out of range: the default
    }
    ASSERT_TRUE(loaded.LoadProfile(QStringLiteral("strict")));
    EXPECT_EQ(loaded.encryption, 1);

    encryption->setCurrentIndex(0);
    dialog.accept();
    EXPECT_EQ(dialog.fields.encryption, 0);
}

// The server's character set: labelled for assistive tools, four choices that are also the stored
// texts, each kept per slot; "自動" for a slot without the value or with one this version does
// not know.
TEST_F(LoginDialogTest, CharsetChoiceIsStoredPerSlotAndDefaultsToAutomatic)
{
    {
        // A slot of an older version: no character set value at all.
        RegistryKey key;
        key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        for (const char* format : {SettingName::SettingNameN, SettingName::ServerN, SettingName::NameN})
            key.SetString(QString::asprintf(format, 1), QStringLiteral("old"));
    }
    LoginDialog dialog;
    LoginControls controls(dialog);
    auto* charset = FindControl<QComboBox>(dialog, LoginControlId::Charset);
    ASSERT_NE(charset, nullptr);
    const QStringList choices = {QStringLiteral("自動"), QStringLiteral("UTF-8"), QStringLiteral("Shift_JIS"),
                                 QStringLiteral("EUC-JP")};
    QStringList shown;
    for (int i = 0; i < charset->count(); ++i)
        shown << charset->itemText(i);
    EXPECT_EQ(shown, choices);
    auto* label = dialog.findChild<QLabel*>(QStringLiteral("charsetLabel"));
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text(), QStringLiteral("文字コード"));
    EXPECT_EQ(label->buddy(), charset);
    EXPECT_EQ(charset->currentText(), QStringLiteral("自動"));

    for (int i = 1; i < choices.size(); ++i) {
        charset->setCurrentIndex(i);
        controls.Type(Profile(choices[i]));
        controls.SaveAs(choices[i]);
        EXPECT_EQ(StoredString(SettingName::CharsetN, i + 1), choices[i]);
    }
    charset->setCurrentIndex(0);
    for (int i = 1; i < choices.size(); ++i) {
        controls.Pick(i);
        EXPECT_EQ(charset->currentText(), choices[i]);
    }
    controls.Pick(0);
    EXPECT_EQ(charset->currentText(), QStringLiteral("自動"));  // absent

    {
        RegistryKey key;
        key.Open(RegistryRoot::CurrentUser, QLatin1String(SettingKey::Profiles));
        key.SetString(QStringLiteral("Charset3"), QStringLiteral("ISO-2022-JP"));
    }
    ConnectionProfile loaded;
    ASSERT_TRUE(loaded.LoadProfile(choices[2]));
    EXPECT_EQ(loaded.charset, QStringLiteral("自動"));

    charset->setCurrentIndex(3);
    dialog.accept();
    EXPECT_EQ(dialog.fields.charset, QStringLiteral("EUC-JP"));
}

TEST_F(LoginDialogTest, APresetFillsTheFieldsAndSelectsItsProfileOrNone)
{
    SaveSlots(3);
    LoginPreset preset;
    preset.fields = Profile(QStringLiteral("link"));
    preset.fields.encryption = 2;
    preset.profileSlot = 2;
    LoginDialog dialog;
    LoginControls controls(dialog);
    auto* encryption = FindControl<QComboBox>(dialog, LoginControlId::Encryption);
    dialog.ShowPreset(preset);
    EXPECT_EQ(controls.list->currentText(), QStringLiteral("p2"));
    ExpectProfile(controls.Shown(), preset.fields);
    EXPECT_EQ(encryption->currentText(), QStringLiteral("TLS が必須"));

    // No profile: no line selected, so that a name typed in saves a new one with the link's
    // texts; the password goes into the store only through that save.
    preset.profileSlot = 0;
    preset.fields.encryption = 1;
    dialog.ShowPreset(preset);
    EXPECT_EQ(controls.list->currentIndex(), -1);
    EXPECT_EQ(encryption->currentText(), QStringLiteral("TLS を使えれば使う"));
    dialog.accept();
    ExpectProfile(dialog.fields, preset.fields);
    EXPECT_EQ(StoredString(SettingName::PassN, 4), QString());
    controls.savePassword->setChecked(true);
    controls.SaveAs(QStringLiteral("from link"));
    EXPECT_EQ(StoredString(SettingName::PassN, 4), QStringLiteral("link-pass"));
}
