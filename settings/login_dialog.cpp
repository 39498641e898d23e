#include "settings/login_dialog.h"

#include "platform/prompter.h"
#include "settings/settings_store.h"
#include "settings/strings.h"
#include "ui_login_dialog.h"

#include <QLineEdit>
#include <QPushButton>

LoginDialog::LoginDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::LoginDialogForm>())
{
    ui->setupUi(this);
    setWindowTitle(SettingsText::LoginCaption);
    // The profile name and the texts are capped where the store would read them back as empty.
    for (QLineEdit* edit : {ui->profileList->lineEdit(), ui->serverEdit, ui->userNameEdit,
                            ui->passwordEdit, ui->localInitDirEdit, ui->remoteInitDirEdit})
        edit->setMaxLength(SettingsStore::MaxTextLength);
    ui->buttonBox->button(QDialogButtonBox::Ok)->setText(SettingsText::Ok);
    ui->buttonBox->button(QDialogButtonBox::Cancel)->setText(SettingsText::Cancel);

    connect(ui->buttonBox, &QDialogButtonBox::accepted, this, &LoginDialog::accept);
    connect(ui->buttonBox, &QDialogButtonBox::rejected, this, &LoginDialog::reject);
    connect(ui->saveButton, &QPushButton::clicked, this, &LoginDialog::OnSave);
    connect(ui->deleteButton, &QPushButton::clicked, this, &LoginDialog::OnDelete);
    connect(ui->profileList, &QComboBox::activated, this, &LoginDialog::OnProfilePicked);

    // Start: the list on line 0, then slot 1's texts (the password only when passwords are
    // kept).
    FillList();
    ui->profileList->setCurrentIndex(0);
    savePassword = SettingsStore::ReadSavePassword();
    // A password that is not shown is not fetched from the keyring either.
    fields.LoadProfile(ConnectionProfile::ReadProfileName(1), savePassword);
    ShowFields();
}

LoginDialog::~LoginDialog() = default;

void LoginDialog::ReadControls()
{
    fields.server = ui->serverEdit->text();
    fields.userName = ui->userNameEdit->text();
    fields.password = ui->passwordEdit->text();
    fields.localInitDir = ui->localInitDirEdit->text();
    fields.remoteInitDir = ui->remoteInitDirEdit->text();
    fields.encryption = ui->encryptionCombo->currentIndex();
    fields.charset = ui->charsetCombo->currentText();
    savePassword = ui->savePasswordCheck->isChecked();
}

void LoginDialog::ShowFields()
{
    ui->serverEdit->setText(fields.server);
    ui->userNameEdit->setText(fields.userName);
    ui->passwordEdit->setText(fields.password);
    ui->localInitDirEdit->setText(fields.localInitDir);
    ui->remoteInitDirEdit->setText(fields.remoteInitDir);
    ui->encryptionCombo->setCurrentIndex(fields.encryption);
    ui->charsetCombo->setCurrentIndex(qMax(0, ConnectionProfile::Charsets.indexOf(fields.charset)));
    ui->savePasswordCheck->setChecked(savePassword);
}

void LoginDialog::FillList()
{
    ui->profileList->clear();
    for (int slot = 1; slot <= ConnectionProfile::SlotCount; ++slot)
        ui->profileList->addItem(ConnectionProfile::ReadProfileName(slot));
    // Adding to an empty combo box selects the first line; the list starts with none.
    ui->profileList->setCurrentIndex(-1);
}

void LoginDialog::OnSave()
{
    const QString name = ui->profileList->currentText();
    if (name.isEmpty()) {
        Prompter::Current().ShowMessage(SettingsText::EnterProfileName);
        return;
    }
    ReadControls();
    // Only the stored copy loses the password; the box keeps showing what was typed.
    if (!savePassword)
        fields.password.clear();
    if (fields.SaveProfile(name) == ConnectionProfile::SaveResult::NoFreeSlot)
        Prompter::Current().ShowMessage(SettingsText::NoFreeProfileSlot);
    FillList();
}

void LoginDialog::OnDelete()
{
    ConnectionProfile::DeleteProfile(ui->profileList->currentText());
    FillList();
    ui->profileList->setCurrentIndex(0);
    ReadControls();
    fields = ConnectionProfile();
    ShowFields();
}

void LoginDialog::OnProfilePicked(int line)
{
    const QString name = ui->profileList->itemText(line);
    ReadControls();
    if (name.isEmpty()) {
        fields = ConnectionProfile();
    } else {
        fields.LoadProfile(name, savePassword);
    }
    ShowFields();
}

void LoginDialog::ShowPreset(const LoginPreset& preset)
{
    const bool slotInRange = preset.profileSlot >= 1 && preset.profileSlot <= ConnectionProfile::SlotCount;
    ui->profileList->setCurrentIndex(slotInRange ? preset.profileSlot - 1 : -1);
    fields = preset.fields;
    ShowFields();
}

void LoginDialog::accept()
{
    ReadControls();
    SettingsStore::WriteSavePassword(savePassword);
    QDialog::accept();
}
