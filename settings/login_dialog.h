#pragma once

#include "settings/connection_profile.h"
#include "settings/login_preset.h"

#include <QDialog>

#include <memory>

namespace Ui {
class LoginDialogForm;
}

// The login dialog: the server, user name, password and two initial folders, typed in or picked
// from the ten profile slots, with buttons that save the typed texts as a profile or delete one.
// Built for one connect attempt; run it with Prompter::Current().RunDialog and, when that gives
// OK, read the fields. Save and Delete write the store at once; SavePass only on OK.
class LoginDialog : public QDialog {
    Q_OBJECT

public:
    explicit LoginDialog(QWidget* parent = nullptr);
    ~LoginDialog() override;

    // The dialog's fields. After OK they hold what the controls showed; the password is handed
    // over as typed even when it is not to be saved.
    ConnectionProfile fields;
    bool savePassword = false;

    void accept() override;

    // Shows the preset's texts in place of slot 1's, with its profile line selected (none for
    // slot 0, so that a name typed into the list saves the texts as a new profile).
    void ShowPreset(const LoginPreset& preset);

private:
    void ReadControls();
    void ShowFields();
    // Ten lines, one per slot in slot order, free slots as empty lines; no line selected.
    void FillList();

    void OnSave();
    void OnDelete();
    void OnProfilePicked(int line);

    std::unique_ptr<Ui::LoginDialogForm> ui;
};
