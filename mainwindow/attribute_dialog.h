#pragma once

#include "transfer/remote_entries.h"

#include <QDialog>
#include <QString>

#include <memory>

namespace Ui {
class AttributeDialogForm;
}

// The octal mode of a listing's mode string, read as a decimal number: special digit × 1000 +
// owner digit × 100 + group digit × 10 + others' digit ("-rwxr-x---" gives 750, "----r--r--"
// gives 44, "drwxrwxrwt" gives 1777). "s" and "t" are execute with set-user-ID, set-group-ID or
// sticky, "S" and "T" the special bit alone; missing places count as not set.
int PermissionsToNumber(const QString& permissions);

// Nine permission boxes in three columns (Owner, Group, All) and a label with the current mode.
// The fields go to the boxes when they are loaded and come back from the boxes when the dialog
// ends with OK; a cancelled dialog leaves them as loaded.
class AttributeDialog : public QDialog {
    Q_OBJECT

public:
    explicit AttributeDialog(QWidget* parent = nullptr);
    ~AttributeDialog() override;

    // Sets the nine fields and currentLabel from the permissions of the entry at the index.
    void LoadFromEntry(const RemoteEntryList& entries, int index);
    // Three digits, owner, group, all: "000" with every box clear, "600" for owner read and write;
    // four when the entry had set-user-ID, set-group-ID or sticky, which are kept ("1777").
    QString GetModeText() const;
    // Whether OK gives a mode to send: always when the entry's mode was known; when it was not
    // (a listing without modes), only once a box was changed, since the clear boxes stand for
    // nothing the file has and "000" would lock it.
    bool HasModeToSend() const { return modeKnown || GetModeText() != loadedMode; }

    // The box with the given control id (AttributeControlId), nullptr for other ids.
    QWidget* Control(int controlId) const;

    void done(int result) override;

    // 1 ticked, 0 not.
    int allRead = 0;
    int allWrite = 0;
    int allExecute = 0;
    int groupRead = 0;
    int groupWrite = 0;
    int groupExecute = 0;
    int ownerRead = 0;
    int ownerWrite = 0;
    int ownerExecute = 0;
    QString currentLabel;
    // The entry's set-user-ID (4), set-group-ID (2) and sticky (1) bits, kept as loaded.
    int specialBits = 0;

private:
    void FieldsToControls();
    void ControlsToFields();

    std::unique_ptr<Ui::AttributeDialogForm> ui;
    bool modeKnown = true;  // the listing gave the entry's mode
    QString loadedMode;     // the mode text the boxes started from
};
