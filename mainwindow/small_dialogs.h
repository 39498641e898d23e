#pragma once

#include <QDialog>
#include <QString>

#include <memory>

class QLineEdit;

namespace Ui {
class NewFolderDialogForm;
class RenameDialogForm;
}  // namespace Ui

// Asks for the name of a new folder. After OK, folderName holds the edit's text as typed (not
// trimmed, possibly empty); after cancel it keeps what the caller set.
class NewFolderDialog : public QDialog {
    Q_OBJECT

public:
    explicit NewFolderDialog(QWidget* parent = nullptr);
    ~NewFolderDialog() override;

    QString folderName;

    // The name edit, for tests that type into it.
    QLineEdit* NameEdit() const;

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    std::unique_ptr<Ui::NewFolderDialogForm> ui;
};

// Asks for the new name (or a relative path to move to) of a remote file. The caller sets
// newName to the current name before the run; after OK it holds the edit's text as typed.
class RenameDialog : public QDialog {
    Q_OBJECT

public:
    explicit RenameDialog(QWidget* parent = nullptr);
    ~RenameDialog() override;

    QString newName;

    QLineEdit* NameEdit() const;

protected:
    void showEvent(QShowEvent* event) override;
    void accept() override;

private:
    std::unique_ptr<Ui::RenameDialogForm> ui;
};
