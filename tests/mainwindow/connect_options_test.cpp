// The "設定" button: the options sheet runs, and after OK the mode buttons follow the stored
// automatic-mode setting.
#include "tests/mainwindow/connect_fixture.h"

#include "settings/options_sheet.h"

namespace {

using OpenOptionsTest = ConnectTest;

// The next sheet ends with OK after the user leaves automatic mode as given.
void QueueSheetOk(ScriptedPrompter& prompter, bool autoMode)
{
    prompter.QueueDialog([autoMode](QDialog& dialog) {
        EXPECT_NE(qobject_cast<OptionsSheet*>(&dialog), nullptr);
        SettingsStore::WriteFlag(SettingName::AutoTransferMode, autoMode);
        return true;
    });
}

TEST_F(OpenOptionsTest, OkWithoutAutomaticModePressesAAndSetsTypeA)
{
    window->SelectBinaryMode();
    ASSERT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));
    QueueSheetOk(prompter, false);
    window->OpenOptions();
    EXPECT_EQ(prompter.dialogTitles, QStringList{QStringLiteral("Tallowin 設定")});
    EXPECT_EQ(window->PressedModeButton(), TransferModeButton::Ascii);
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE A"));
    for (const int id : {MainControlId::BinaryMode, MainControlId::AutoMode})
        EXPECT_FALSE(window->Control(id)->property("checked").toBool()) << id;
    EXPECT_TRUE(window->Control(MainControlId::AsciiMode)->property("checked").toBool());
}

TEST_F(OpenOptionsTest, OkWithAutomaticModePressesAutoAndKeepsTheType)
{
    window->SelectBinaryMode();
    QueueSheetOk(prompter, true);
    window->OpenOptions();
    EXPECT_EQ(window->PressedModeButton(), TransferModeButton::Auto);
    EXPECT_TRUE(window->Control(MainControlId::AutoMode)->property("checked").toBool());
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));
}

TEST_F(OpenOptionsTest, CancelChangesNothingInTheWindow)
{
    window->SelectBinaryMode();
    prompter.QueueDialog([](QDialog&) {
        SettingsStore::WriteFlag(SettingName::AutoTransferMode, true);
        return false;
    });
    window->OpenOptions();
    EXPECT_EQ(window->PressedModeButton(), TransferModeButton::Binary);
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TypeCommand(), QStringLiteral("TYPE I"));
}

}  // namespace
