#include "mainwindow/attribute_dialog.h"

#include "mainwindow/strings.h"
#include "resources/resource_ids.h"
#include "ui_attribute_dialog.h"

#include <QCheckBox>

namespace {

// Whether place `index` of the mode string holds one of the letters; a short text lacks its
// last places.
int IsSet(const QString& permissions, int index, QStringView letters)
{
    return index < permissions.size() && letters.contains(permissions[index]) ? 1 : 0;
}

// An execute place: "x", or "s"/"t" for execute together with a special bit ("S"/"T" are the
// special bit without execute).
int IsExecutable(const QString& permissions, int index, QChar special)
{
    return IsSet(permissions, index, u"x") || IsSet(permissions, index, QString(special));
}

int Digit(int read, int write, int execute)
{
    return (read ? 4 : 0) + (write ? 2 : 0) + (execute ? 1 : 0);
}

int TripleDigit(const QString& permissions, int first, QChar special)
{
    return Digit(IsSet(permissions, first, u"r"), IsSet(permissions, first + 1, u"w"),
                 IsExecutable(permissions, first + 2, special));
}

// Set-user-ID 4, set-group-ID 2, sticky 1, as the leading digit of a four-digit mode.
int SpecialDigit(const QString& permissions)
{
    return Digit(IsSet(permissions, 3, u"sS"), IsSet(permissions, 6, u"sS"),
                 IsSet(permissions, 9, u"tT"));
}

}  // namespace

int PermissionsToNumber(const QString& permissions)
{
    return SpecialDigit(permissions) * 1000 + TripleDigit(permissions, 1, u's') * 100 +
           TripleDigit(permissions, 4, u's') * 10 + TripleDigit(permissions, 7, u't');
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
    const QString permissions = entries.at(index).ModeText();
    ownerRead = IsSet(permissions, 1, u"r");
    ownerWrite = IsSet(permissions, 2, u"w");
    ownerExecute = IsExecutable(permissions, 3, u's');
    groupRead = IsSet(permissions, 4, u"r");
    groupWrite = IsSet(permissions, 5, u"w");
    groupExecute = IsExecutable(permissions, 6, u's');
    allRead = IsSet(permissions, 7, u"r");
    allWrite = IsSet(permissions, 8, u"w");
    allExecute = IsExecutable(permissions, 9, u't');
    specialBits = SpecialDigit(permissions);
    modeKnown = !permissions.isEmpty();
    currentLabel = FilesText::CurrentAttributes.arg(modeKnown ? QString::number(PermissionsToNumber(permissions))
                                                             : FilesText::UnknownAttributes);
    loadedMode = GetModeText();
    FieldsToControls();
}

QString AttributeDialog::GetModeText() const
{
    QString mode = QStringLiteral("%1%2%3")
                       .arg(Digit(ownerRead, ownerWrite, ownerExecute))
                       .arg(Digit(groupRead, groupWrite, groupExecute))
                       .arg(Digit(allRead, allWrite, allExecute));
    // Three digits would clear set-user-ID, set-group-ID and sticky (a shared "/tmp"-like
    // folder would lose its sticky bit); the boxes do not show them, so they are kept.
    if (specialBits != 0)
        mode.prepend(QString::number(specialBits));
    return mode;
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
