#include "settings/control_ids.h"
#include "settings/options_sheet.h"
#include "settings/settings_store.h"
#include "settings/strings.h"
#include "tests/support/qt_printers.h"
#include "tests/support/scripted_dialup.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QLabel>
#include <QListWidget>
#include <QSpinBox>
#include <QTabWidget>

#include <gtest/gtest.h>

namespace {

QString Name(const char* name)
{
    return QLatin1String(name);
}

// Control ids are per page (pages 1 and 2 both have 1014 and 1025): look inside the page.
template <typename Control>
Control* PageControl(const OptionsSheet& sheet, int page, int id)
{
    return FindControl<Control>(*sheet.Tabs()->widget(page), id);
}

QStringList Lines(const QListWidget& list)
{
    QStringList lines;
    for (int i = 0; i < list.count(); ++i)
        lines << list.item(i)->text();
    return lines;
}

QString SelectedLine(const QListWidget& list)
{
    const QList<QListWidgetItem*> selected = list.selectedItems();
    return selected.isEmpty() ? QString() : selected.first()->text();
}

class OptionsSheetTest : public ::testing::Test {
protected:
    // Runs the sheet as the main window does; the script may work the controls before OK.
    bool RunAndConfirm(OptionsSheet& sheet, std::function<void(OptionsSheet&)> work = {})
    {
        prompter.QueueDialog([work](QDialog& dialog) {
            if (work)
                work(static_cast<OptionsSheet&>(dialog));
            dialog.accept();
            return dialog.result() == QDialog::Accepted;
        });
        return sheet.Run();
    }

    void StoreDialUpValues()
    {
        SettingsStore::WriteFlag(Name(SettingName::UseAutoDialUp), true);
        SettingsStore::WriteString(Name(SettingName::AutoDialUpName), QStringLiteral("office"));
        SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), 30);
    }

    void ExpectDialUpValues(bool use, const QString& name, qint32 timeout)
    {
        EXPECT_EQ(SettingsStore::ReadFlag(Name(SettingName::UseAutoDialUp)), use);
        EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoDialUpName)), name);
        EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), timeout);
    }

    TempConfigDir config;
    ScriptedPrompter prompter;
    ScriptedDialUp dialUp;
};

TEST_F(OptionsSheetTest, OpensOnTheFirstPageWithItsTabs)
{
    OptionsSheet sheet;
    EXPECT_EQ(sheet.windowTitle(), SettingsText::OptionsCaption);
    ASSERT_EQ(sheet.Tabs()->count(), 3);
    EXPECT_EQ(sheet.Tabs()->tabText(0), SettingsText::Page1Tab);
    EXPECT_EQ(sheet.Tabs()->tabText(1), SettingsText::Page2Tab);
    EXPECT_EQ(sheet.Tabs()->tabText(2), SettingsText::Page3Tab);
    EXPECT_EQ(sheet.Tabs()->currentIndex(), 0);
    EXPECT_TRUE(qobject_cast<CSettingPage1*>(sheet.Tabs()->widget(0)));
    EXPECT_TRUE(qobject_cast<CSettingPage2*>(sheet.Tabs()->widget(1)));
    EXPECT_TRUE(qobject_cast<CSettingPage3*>(sheet.Tabs()->widget(2)));
}

TEST_F(OptionsSheetTest, PagesNeverShownWriteNothing)
{
    StoreDialUpValues();
    SettingsStore::WriteFlag(Name(SettingName::UsePASV), true);
    SettingsStore::WriteFlag(Name(SettingName::CheckOverwrite), true);
    OptionsSheet sheet;
    EXPECT_TRUE(RunAndConfirm(sheet));

    EXPECT_FALSE(dialUp.calls.contains(QStringLiteral("enumerate")));
    ExpectDialUpValues(true, QStringLiteral("office"), 30);
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::CheckOverwrite)));
}

TEST_F(OptionsSheetTest, CancelWritesNothing)
{
    OptionsSheet sheet;
    prompter.QueueDialog([](QDialog& dialog) {
        auto& sheet = static_cast<OptionsSheet&>(dialog);
        PageControl<QCheckBox>(sheet, 0, SettingPage1ControlId::CheckOverwrite)->setChecked(true);
        sheet.Tabs()->setCurrentIndex(2);
        PageControl<QCheckBox>(sheet, 2, SettingPage3ControlId::UsePASV)->setChecked(true);
        dialog.reject();
        return dialog.result() == QDialog::Accepted;
    });
    EXPECT_FALSE(sheet.Run());
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::CheckOverwrite)));
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
}

TEST_F(OptionsSheetTest, FirstPageLoadsAndStoresItsValues)
{
    SettingsStore::WriteFlag(Name(SettingName::ConnectDlgWithStartup), true);
    SettingsStore::WriteFlag(Name(SettingName::AutoTransferMode), true);
    SettingsStore::WriteString(Name(SettingName::AutoTransferModeList), QStringLiteral("txt htm"));
    OptionsSheet sheet;
    auto* startup = PageControl<QCheckBox>(sheet, 0, SettingPage1ControlId::ConnectDlgWithStartup);
    auto* automatic = PageControl<QCheckBox>(sheet, 0, SettingPage1ControlId::AutoTransferMode);
    auto* extensions = PageControl<QLineEdit>(sheet, 0, SettingPage1ControlId::ExtensionList);
    auto* overwrite = PageControl<QCheckBox>(sheet, 0, SettingPage1ControlId::CheckOverwrite);
    ASSERT_TRUE(startup && automatic && extensions && overwrite);
    EXPECT_TRUE(startup->isChecked());
    EXPECT_TRUE(automatic->isChecked());
    EXPECT_TRUE(extensions->isEnabled());
    EXPECT_EQ(extensions->text(), QStringLiteral("txt htm"));
    EXPECT_FALSE(overwrite->isChecked());

    EXPECT_TRUE(RunAndConfirm(sheet, [&](OptionsSheet&) {
        startup->setChecked(false);
        extensions->setText(QStringLiteral("  c,h  "));  // stored as typed
        overwrite->setChecked(true);
    }));
    EXPECT_FALSE(SettingsStore::ReadFlag(Name(SettingName::ConnectDlgWithStartup)));
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::AutoTransferMode)));
    EXPECT_EQ(SettingsStore::ReadString(Name(SettingName::AutoTransferModeList)),
              QStringLiteral("  c,h  "));
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::CheckOverwrite)));
}

TEST_F(OptionsSheetTest, TransferCheckIsOnUntilStoredOff)
{
    {
        OptionsSheet sheet;
        auto* verify = PageControl<QCheckBox>(sheet, 0, SettingPage1ControlId::VerifyTransfers);
        ASSERT_TRUE(verify);
        EXPECT_EQ(verify->text(), QStringLiteral("転送後にファイルを照合する"));
        EXPECT_EQ(verify->accessibleName(), verify->text());
        EXPECT_TRUE(verify->isChecked());  // nothing stored yet
        EXPECT_TRUE(RunAndConfirm(sheet, [&](OptionsSheet&) { verify->setChecked(false); }));
    }
    EXPECT_FALSE(SettingsStore::ReadFlagOr(Name(SettingName::VerifyTransfers), true));
    OptionsSheet again;
    EXPECT_FALSE(PageControl<QCheckBox>(again, 0, SettingPage1ControlId::VerifyTransfers)->isChecked());
}

TEST_F(OptionsSheetTest, ConnectionCountIsTwoUntilStoredAndStaysWithinOneToEight)
{
    EXPECT_EQ(SettingsStore::ReadMaxConnections(), 2);  // nothing stored yet
    {
        OptionsSheet sheet;
        auto* count = PageControl<QSpinBox>(sheet, 0, SettingPage1ControlId::MaxConnections);
        ASSERT_TRUE(count);
        EXPECT_EQ(count->accessibleName(), QStringLiteral("同時接続数"));
        bool labelled = false;
        for (const QLabel* label : sheet.findChildren<QLabel*>())
            labelled = labelled || (label->buddy() == count && label->text() == QStringLiteral("同時接続数"));
        EXPECT_TRUE(labelled);
        EXPECT_EQ(count->value(), 2);
        EXPECT_EQ(count->minimum(), 1);
        EXPECT_EQ(count->maximum(), 8);
        EXPECT_TRUE(RunAndConfirm(sheet, [&](OptionsSheet&) { count->setValue(5); }));
    }
    EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::MaxConnections)), 5);
    EXPECT_EQ(PageControl<QSpinBox>(OptionsSheet(), 0, SettingPage1ControlId::MaxConnections)->value(), 5);
    // A value written by hand outside the range is brought within it.
    SettingsStore::WriteNumber(Name(SettingName::MaxConnections), 40);
    EXPECT_EQ(SettingsStore::ReadMaxConnections(), 8);
    SettingsStore::WriteNumber(Name(SettingName::MaxConnections), 0);
    EXPECT_EQ(SettingsStore::ReadMaxConnections(), 1);
}

TEST_F(OptionsSheetTest, ExtensionBoxFollowsItsCheckBox)
{
    OptionsSheet sheet;
    auto* automatic = PageControl<QCheckBox>(sheet, 0, SettingPage1ControlId::AutoTransferMode);
    auto* extensions = PageControl<QLineEdit>(sheet, 0, SettingPage1ControlId::ExtensionList);
    ASSERT_TRUE(automatic && extensions);
    EXPECT_FALSE(extensions->isEnabled());
    automatic->click();
    EXPECT_TRUE(extensions->isEnabled());
    automatic->click();
    EXPECT_FALSE(extensions->isEnabled());
    EXPECT_EQ(extensions->maxLength(), 99) << "a longer list would read back as empty";
}

TEST_F(OptionsSheetTest, TimeOutZeroIsStoredAsNinetyOthersAsTyped)
{
    dialUp.entries = {QStringLiteral("office")};
    for (const auto& [typed, stored] : {std::pair{"0", 90}, {"45", 45}, {"-1", -1}, {"", 90}}) {
        OptionsSheet sheet;
        EXPECT_TRUE(RunAndConfirm(sheet, [typed = typed](OptionsSheet& s) {
            s.Tabs()->setCurrentIndex(1);
            PageControl<QLineEdit>(s, 1, SettingPage2ControlId::ConnectTimeout)
                ->setText(QLatin1String(typed));
        }));
        EXPECT_EQ(SettingsStore::ReadNumber(Name(SettingName::ConnectTimeout)), stored) << typed;
    }
}

TEST_F(OptionsSheetTest, DialUpPageListsEntriesSortedAndSelectsTheStoredOne)
{
    StoreDialUpValues();
    dialUp.entries = {QStringLiteral("travel"), QStringLiteral("office"), QStringLiteral("home")};
    OptionsSheet sheet;
    sheet.Tabs()->setCurrentIndex(1);
    auto* list = PageControl<QListWidget>(sheet, 1, SettingPage2ControlId::EntryList);
    auto* use = PageControl<QCheckBox>(sheet, 1, SettingPage2ControlId::UseAutoDialUp);
    auto* timeout = PageControl<QLineEdit>(sheet, 1, SettingPage2ControlId::ConnectTimeout);
    ASSERT_TRUE(list && use && timeout);
    EXPECT_EQ(Lines(*list),
              (QStringList{QStringLiteral("home"), QStringLiteral("office"), QStringLiteral("travel")}));
    EXPECT_EQ(SelectedLine(*list), QStringLiteral("office"));
    EXPECT_TRUE(use->isChecked());
    EXPECT_TRUE(list->isEnabled());
    EXPECT_EQ(timeout->text(), QStringLiteral("30"));

    use->click();
    EXPECT_FALSE(list->isEnabled());
    EXPECT_TRUE(RunAndConfirm(sheet, [&](OptionsSheet&) { list->setCurrentRow(2); }));
    ExpectDialUpValues(false, QStringLiteral("travel"), 30);
}

TEST_F(OptionsSheetTest, StoredEntryThatIsGoneSelectsNothingAndOkKeepsIt)
{
    StoreDialUpValues();
    dialUp.entries = {QStringLiteral("mobile"), QStringLiteral("home")};
    OptionsSheet sheet;
    EXPECT_TRUE(RunAndConfirm(sheet, [](OptionsSheet& s) {
        s.Tabs()->setCurrentIndex(1);
        EXPECT_EQ(SelectedLine(*PageControl<QListWidget>(s, 1, SettingPage2ControlId::EntryList)),
                  QString());
    }));
    ExpectDialUpValues(true, QStringLiteral("office"), 30);
}

TEST_F(OptionsSheetTest, EntryNameTheStoreCannotHoldIsRefusedAndNothingIsStored)
{
    StoreDialUpValues();
    const QString longName(SettingsStore::MaxTextLength + 1, u'n');
    dialUp.entries = {QStringLiteral("home"), longName};
    OptionsSheet sheet;
    prompter.QueueDialog([&](QDialog& dialog) {
        sheet.Tabs()->setCurrentIndex(1);
        auto* list = PageControl<QListWidget>(sheet, 1, SettingPage2ControlId::EntryList);
        list->setCurrentRow(list->count() - 1);
        PageControl<QCheckBox>(sheet, 1, SettingPage2ControlId::UseAutoDialUp)->click();
        dialog.accept();
        EXPECT_NE(dialog.result(), QDialog::Accepted);  // OK did not close the sheet
        dialog.reject();
        return false;
    });
    EXPECT_FALSE(sheet.Run());
    EXPECT_EQ(prompter.messages, QStringList{SettingsText::DialUpNameTooLong});
    ExpectDialUpValues(true, QStringLiteral("office"), 30);
}

TEST_F(OptionsSheetTest, NoStoredEntryNameStillLoadsTheFlagAndTimeOut)
{
    SettingsStore::WriteFlag(Name(SettingName::UseAutoDialUp), true);
    SettingsStore::WriteNumber(Name(SettingName::ConnectTimeout), 30);
    dialUp.entries = {QStringLiteral("office")};
    OptionsSheet sheet;
    sheet.Tabs()->setCurrentIndex(1);
    auto* list = PageControl<QListWidget>(sheet, 1, SettingPage2ControlId::EntryList);
    EXPECT_EQ(SelectedLine(*list), QString());
    EXPECT_EQ(PageControl<QLineEdit>(sheet, 1, SettingPage2ControlId::ConnectTimeout)->text(),
              QStringLiteral("30"));
    EXPECT_TRUE(RunAndConfirm(sheet));
    ExpectDialUpValues(true, QString(), 30);
}

TEST_F(OptionsSheetTest, MessageLineNeverReplacesTheStoredValues)
{
    StoreDialUpValues();
    for (bool fails : {true, false}) {
        dialUp.enumerationFails = fails;
        OptionsSheet sheet;
        sheet.Tabs()->setCurrentIndex(1);
        auto* list = PageControl<QListWidget>(sheet, 1, SettingPage2ControlId::EntryList);
        EXPECT_EQ(Lines(*list), QStringList{fails ? SettingsText::DialUpListFailed
                                                  : SettingsText::NoDialUpEntries});
        EXPECT_TRUE(PageControl<QCheckBox>(sheet, 1, SettingPage2ControlId::UseAutoDialUp)->isChecked());
        EXPECT_EQ(PageControl<QLineEdit>(sheet, 1, SettingPage2ControlId::ConnectTimeout)->text(),
                  QStringLiteral("30"));
        // Even a message line the user selected is not an entry name.
        EXPECT_TRUE(RunAndConfirm(sheet, [list](OptionsSheet&) { list->setCurrentRow(0); }));
        ExpectDialUpValues(true, QStringLiteral("office"), 30);
    }
}

TEST_F(OptionsSheetTest, PassiveModeIsStoredAndTheListBoxKeepsItsValue)
{
    SettingsStore::WriteFlag(Name(SettingName::UseLIST), true);
    OptionsSheet sheet;
    sheet.Tabs()->setCurrentIndex(2);
    auto* pasv = PageControl<QCheckBox>(sheet, 2, SettingPage3ControlId::UsePASV);
    auto* list = PageControl<QCheckBox>(sheet, 2, SettingPage3ControlId::UseLIST);
    ASSERT_TRUE(pasv && list);
    EXPECT_FALSE(list->isEnabled());
    EXPECT_TRUE(list->isChecked());
    EXPECT_TRUE(RunAndConfirm(sheet, [pasv](OptionsSheet&) { pasv->click(); }));
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::UsePASV)));
    EXPECT_TRUE(SettingsStore::ReadFlag(Name(SettingName::UseLIST)));
}

}  // namespace
