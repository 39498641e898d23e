#include "mainwindow/small_dialogs.h"

#include "mainwindow/dialog_units.h"
#include "ui_new_folder_dialog.h"
#include "ui_rename_dialog.h"

NewFolderDialog::NewFolderDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::NewFolderDialogForm>())
{
    ui->setupUi(this);
    resize(DialogUnitsToPixels(*this, 133, 37).expandedTo(minimumSizeHint()));
}

NewFolderDialog::~NewFolderDialog() = default;

QLineEdit* NewFolderDialog::NameEdit() const
{
    return ui->folderNameEdit;
}

void NewFolderDialog::showEvent(QShowEvent* event)
{
    ui->folderNameEdit->setText(folderName);
    QDialog::showEvent(event);
}

void NewFolderDialog::accept()
{
    folderName = ui->folderNameEdit->text();
    QDialog::accept();
}

RenameDialog::RenameDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::RenameDialogForm>())
{
    ui->setupUi(this);
    resize(DialogUnitsToPixels(*this, 122, 47).expandedTo(minimumSizeHint()));
}

RenameDialog::~RenameDialog() = default;

QLineEdit* RenameDialog::NameEdit() const
{
    return ui->newNameEdit;
}

void RenameDialog::showEvent(QShowEvent* event)
{
    ui->newNameEdit->setText(newName);
    ui->newNameEdit->selectAll();
    QDialog::showEvent(event);
}

void RenameDialog::accept()
{
    newName = ui->newNameEdit->text();
    QDialog::accept();
}
