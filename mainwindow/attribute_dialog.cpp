#include "mainwindow/attribute_dialog.h"

#include "mainwindow/strings.h"
#include "resources/resource_ids.h"
#include "ui_attribute_dialog.h"

#include <QCheckBox>

namespace {

// Whether place `index` of the mode string holds `letter`; a short text lacks its last places.
int IsSet(const QString& permissions, int index, QChar letter)
{
    return index < permissions.size() && permissions[index] == letter ? 1 : 0;
}

int Digit(int read, int write, int execute)
{
    return (read ? 4 : 0) + (write ? 2 : 0) + (execute ? 1 : 0);
}

int TripleDigit(const QString& permissions, int first)
{
    return Digit(IsSet(permissions, first, u'r'), IsSet(permissions, first + 1, u'w'),
                 IsSet(permissions, first + 2, u'x'));
}

}  // namespace

int PermissionsToNumber(const QString& permissions)
{
    return TripleDigit(permissions, 1) * 100 + TripleDigit(permissions, 4) * 10 +
           TripleDigit(permissions, 7);
}

AttributeDialog::AttributeDialog(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::AttributeDialogForm>())
{
    ui->setupUi(this);
    setWindowTitle(FilesText::AttributeCaption);
    FieldsToControls();
}

AttributeDialog::~AttributeDialog() = default;

void AttributeDialog::LoadFromEntry(const RemoteEntryList& entries, int index)
{
    const QString& permissions = entries.at(index).permissions;
    ownerRead = IsSet(permissions, 1, u'r');
    ownerWrite = IsSet(permissions, 2, u'w');
    ownerExecute = IsSet(permissions, 3, u'x');
    groupRead = IsSet(permissions, 4, u'r');
    groupWrite = IsSet(permissions, 5, u'w');
    groupExecute = IsSet(permissions, 6, u'x');
    allRead = IsSet(permissions, 7, u'r');
    allWrite = IsSet(permissions, 8, u'w');
    allExecute = IsSet(permissions, 9, u'x');
    currentLabel = FilesText::CurrentAttributes.arg(PermissionsToNumber(permissions));
    FieldsToControls();
}

QString AttributeDialog::GetModeText() const
{
    return QStringLiteral("%1%2%3")
        .arg(Digit(ownerRead, ownerWrite, ownerExecute))
        .arg(Digit(groupRead, groupWrite, groupExecute))
        .arg(Digit(allRead, allWrite, allExecute));
}

QWidget* AttributeDialog::Control(int controlId) const
{
    switch (controlId) {
    case AttributeControlId::CurrentLabel: return ui->currentLabel;
    case AttributeControlId::OwnerRead: return ui->ownerReadBox;
    case AttributeControlId::OwnerWrite: return ui->ownerWriteBox;
    case AttributeControlId::OwnerExecute: return ui->ownerExecuteBox;
    case AttributeControlId::GroupRead: return ui->groupReadBox;
    case AttributeControlId::GroupWrite: return ui->groupWriteBox;
    case AttributeControlId::GroupExecute: return ui->groupExecuteBox;
    case AttributeControlId::AllRead: return ui->allReadBox;
    case AttributeControlId::AllWrite: return ui->allWriteBox;
    case AttributeControlId::AllExecute: return ui->allExecuteBox;
    default: return nullptr;
    }
}

void AttributeDialog::done(int result)
{
    // Like a dialog's data exchange: only OK copies the boxes back into the fields.
    if (result == QDialog::Accepted)
        ControlsToFields();
    QDialog::done(result);
}

void AttributeDialog::FieldsToControls()
{
    ui->currentLabel->setText(currentLabel);
    ui->ownerReadBox->setChecked(ownerRead != 0);
    ui->ownerWriteBox->setChecked(ownerWrite != 0);
    ui->ownerExecuteBox->setChecked(ownerExecute != 0);
    ui->groupReadBox->setChecked(groupRead != 0);
    ui->groupWriteBox->setChecked(groupWrite != 0);
    ui->groupExecuteBox->setChecked(groupExecute != 0);
    ui->allReadBox->setChecked(allRead != 0);
    ui->allWriteBox->setChecked(allWrite != 0);
    ui->allExecuteBox->setChecked(allExecute != 0);
}

void AttributeDialog::ControlsToFields()
{
    ownerRead = ui->ownerReadBox->isChecked() ? 1 : 0;
    ownerWrite = ui->ownerWriteBox->isChecked() ? 1 : 0;
    ownerExecute = ui->ownerExecuteBox->isChecked() ? 1 : 0;
    groupRead = ui->groupReadBox->isChecked() ? 1 : 0;
    groupWrite = ui->groupWriteBox->isChecked() ? 1 : 0;
    groupExecute = ui->groupExecuteBox->isChecked() ? 1 : 0;
    allRead = ui->allReadBox->isChecked() ? 1 : 0;
    allWrite = ui->allWriteBox->isChecked() ? 1 : 0;
    allExecute = ui->allExecuteBox->isChecked() ? 1 : 0;
}
