#include "settings/options_sheet.h"

#include "platform/dialup_service.h"
#include "platform/prompter.h"
#include "settings/settings_store.h"
#include "settings/strings.h"
#include "ui_setting_page1.h"
#include "ui_setting_page2.h"
#include "ui_setting_page3.h"

#include <QDialogButtonBox>
#include <QIntValidator>
#include <QPushButton>
#include <QTabWidget>
#include <QVBoxLayout>

#include <limits>

namespace {
QString Name(const char* name)
{
    return QLatin1String(name);
}

// A stored time-out of 0 means the default of 90 seconds; the page shows and stores it as such.
constexpr qint32 DefaultConnectTimeout = 90;
}  // namespace

void SettingPage::Activate()
{
    if (shown)
        return;
    shown = true;
    LoadValues();
}

CSettingPage1::CSettingPage1(QWidget* parent)
    : SettingPage(parent), ui(std::make_unique<Ui::SettingPage1Form>())
{
    ui->setupUi(this);
    // A longer list would be stored but read back as empty.
    ui->extensionListEdit->setMaxLength(SettingsStore::MaxTextLength);
    connect(ui->autoTransferModeCheck, &QCheckBox::toggled, ui->extensionListEdit,
            &QWidget::setEnabled);
    ui->maxConnectionsSpin->setRange(1, SettingsStore::MaxConnectionLimit);
}

CSettingPage1::~CSettingPage1() = default;

void CSettingPage1::LoadValues()
{
    ui->connectDlgWithStartupCheck->setChecked(
        SettingsStore::ReadFlag(Name(SettingName::ConnectDlgWithStartup)));
    const bool autoTransferMode = SettingsStore::ReadFlag(Name(SettingName::AutoTransferMode));
    ui->autoTransferModeCheck->setChecked(autoTransferMode);
    ui->checkOverwriteCheck->setChecked(SettingsStore::ReadFlag(Name(SettingName::CheckOverwrite)));
    ui->keepTimestampsCheck->setChecked(SettingsStore::ReadFlagOr(Name(SettingName::KeepTimestamps), true));
    ui->verifyTransfersCheck->setChecked(SettingsStore::ReadFlagOr(Name(SettingName::VerifyTransfers), true));
    ui->maxConnectionsSpin->setValue(SettingsStore::ReadMaxConnections());
    ui->extensionListEdit->setEnabled(autoTransferMode);
    ui->extensionListEdit->setText(SettingsStore::ReadString(Name(SettingName::AutoTransferModeList)));
}

void CSettingPage1::StoreValues()
{
    SettingsStore::WriteFlag(Name(SettingName::ConnectDlgWithStartup),
                             ui->connectDlgWithStartupCheck->isChecked());
    SettingsStore::WriteFlag(Name(SettingName::AutoTransferMode),
                             ui->autoTransferModeCheck->isChecked());
    // Stored as typed: the transfer code reads the list's form.
    SettingsStore::WriteString(Name(SettingName::AutoTransferModeList),
                               ui->extensionListEdit->text());
    SettingsStore::WriteFlag(Name(SettingName::CheckOverwrite), ui->checkOverwriteCheck->isChecked());
    SettingsStore::WriteFlag(Name(SettingName::KeepTimestamps), ui->keepTimestampsCheck->isChecked());
    SettingsStore::WriteFlag(Name(SettingName::VerifyTransfers), ui->verifyTransfersCheck->isChecked());
    SettingsStore::WriteNumber(Name(SettingName::MaxConnections), ui->maxConnectionsSpin->value());
}

CSettingPage2::CSettingPage2(QWidget* parent)
    : SettingPage(parent), ui(std::make_unique<Ui::SettingPage2Form>())
{
    ui->setupUi(this);
    ui->connectTimeoutEdit->setValidator(new QIntValidator(
        std::numeric_limits<qint32>::min(), std::numeric_limits<qint32>::max(), this));
    ui->connectTimeoutEdit->setText(QStringLiteral("0"));
    connect(ui->useAutoDialUpCheck, &QCheckBox::toggled, ui->entryList, &QWidget::setEnabled);
}

CSettingPage2::~CSettingPage2() = default;

void CSettingPage2::LoadValues()
{
    const std::optional<QStringList> entries = DialUpService::Current().EnumerateEntries();
    listsEntries = entries && !entries->isEmpty();
    if (!entries)
        ui->entryList->addItem(SettingsText::DialUpListFailed);
    else if (entries->isEmpty())
        ui->entryList->addItem(SettingsText::NoDialUpEntries);
    else
        ui->entryList->addItems(*entries);

    // The stored values are loaded whatever the list holds, so that a confirm after a mere look
    // at this page keeps them.
    const bool useAutoDialUp = SettingsStore::ReadFlag(Name(SettingName::UseAutoDialUp));
    ui->useAutoDialUpCheck->setChecked(useAutoDialUp);
    ui->entryList->setEnabled(useAutoDialUp);

    storedDialUpName = SettingsStore::ReadString(Name(SettingName::AutoDialUpName));
    if (listsEntries && !storedDialUpName.isEmpty()) {
        // An entry that is gone selects nothing: choosing another one for the user would dial
        // it after a mere look at this page.
        for (int i = 0; i < ui->entryList->count(); ++i) {
            if (ui->entryList->item(i)->text() == storedDialUpName) {
                ui->entryList->setCurrentRow(i);
                break;
            }
        }
    }

    qint32 connectTimeout = SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout));
    if (connectTimeout == 0)
        connectTimeout = DefaultConnectTimeout;
    ui->connectTimeoutEdit->setText(QString::number(connectTimeout));
}

void CSettingPage2::StoreValues()
{
    SettingsStore::WriteFlag(Name(SettingName::UseAutoDialUp), ui->useAutoDialUpCheck->isChecked());

    SettingsStore::WriteString(Name(SettingName::AutoDialUpName), ChosenDialUpName());

    // Text that is not a whole number (empty, a lone "-") counts as 0, the default. Negative
    // numbers are stored as they are.
    qint32 connectTimeout = ui->connectTimeoutEdit->text().toInt();
    if (connectTimeout == 0)
        connectTimeout = DefaultConnectTimeout;
    SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), connectTimeout);
}

QString CSettingPage2::ChosenDialUpName() const
{
    // A message line is no entry name: without entries to choose from, or with none chosen
    // (the stored one is gone), the stored name stays.
    if (!listsEntries)
        return storedDialUpName;
    const QList<QListWidgetItem*> selected = ui->entryList->selectedItems();
    return selected.isEmpty() ? storedDialUpName : selected.first()->text();
}

bool CSettingPage2::CheckValues()
{
    // The store reads back no text longer than this; such a name would be lost silently.
    if (ChosenDialUpName().size() <= SettingsStore::MaxTextLength)
        return true;
    Prompter::Current().ShowMessage(SettingsText::DialUpNameTooLong);
    return false;
}

CSettingPage3::CSettingPage3(QWidget* parent)
    : SettingPage(parent), ui(std::make_unique<Ui::SettingPage3Form>())
{
    ui->setupUi(this);
}

CSettingPage3::~CSettingPage3() = default;

void CSettingPage3::LoadValues()
{
    ui->usePasvCheck->setChecked(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
    ui->useListCheck->setChecked(SettingsStore::ReadFlag(Name(SettingName::UseLIST)));
}

void CSettingPage3::StoreValues()
{
    SettingsStore::WriteFlag(Name(SettingName::UsePASV), ui->usePasvCheck->isChecked());
    SettingsStore::WriteFlag(Name(SettingName::UseLIST), ui->useListCheck->isChecked());
}

OptionsSheet::OptionsSheet(QWidget* parent) : QDialog(parent), tabs(new QTabWidget(this))
{
    setWindowTitle(SettingsText::OptionsCaption);
    setModal(true);
    tabs->addTab(new CSettingPage1, SettingsText::Page1Tab);
    tabs->addTab(new CSettingPage2, SettingsText::Page2Tab);
    tabs->addTab(new CSettingPage3, SettingsText::Page3Tab);
    tabs->setCurrentIndex(0);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setText(SettingsText::Ok);
    buttons->button(QDialogButtonBox::Cancel)->setText(SettingsText::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &OptionsSheet::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &OptionsSheet::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(tabs);
    layout->addWidget(buttons);

    // The sheet opens on its first page; the others load when their tab is first chosen.
    static_cast<SettingPage*>(tabs->widget(0))->Activate();
    connect(tabs, &QTabWidget::currentChanged, this, [this](int index) {
        if (auto* page = qobject_cast<SettingPage*>(tabs->widget(index)))
            page->Activate();
    });
}

OptionsSheet::~OptionsSheet() = default;

bool OptionsSheet::Run()
{
    return Prompter::Current().RunDialog(*this);
}

void OptionsSheet::accept()
{
    // Nothing is stored unless everything can be: the sheet stays open on the page to mend.
    for (int i = 0; i < tabs->count(); ++i) {
        auto* page = qobject_cast<SettingPage*>(tabs->widget(i));
        if (page && page->WasShown() && !page->CheckValues()) {
            tabs->setCurrentIndex(i);
            return;
        }
    }
    for (int i = 0; i < tabs->count(); ++i) {
        auto* page = qobject_cast<SettingPage*>(tabs->widget(i));
        if (page && page->WasShown())
            page->StoreValues();
    }
    QDialog::accept();
}
