// The main window by itself: start states, buttons, the log, shortcuts and closing.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "tests/support/main_window_test_access.h"
#include "mainwindow/shortcut_table.h"
#include "resources/resource_ids.h"
#include "settings/login_dialog.h"
#include "settings/settings_store.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"

#include <QLineEdit>
#include <QTreeView>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <optional>


namespace {

// The buttons that need a connection; "接続" is the opposite of them.
constexpr int ConnectedOnly[] = {MainControlId::Disconnect, MainControlId::RemoteNew,  MainControlId::RemoteOpen,
                                 MainControlId::RemoteDelete, MainControlId::Upload,   MainControlId::Download,
                                 MainControlId::Attributes, MainControlId::Rename};
// Buttons no state change touches.
constexpr int AlwaysEnabled[] = {MainControlId::LocalNew, MainControlId::LocalOpen, MainControlId::LocalDelete,
                                 MainControlId::Options,  MainControlId::AsciiMode, MainControlId::BinaryMode,
                                 MainControlId::AutoMode};

class WindowTest : public ::testing::Test {
protected:
    void StoreNumber(const char* name, std::optional<int> value)
    {
        if (value)
            SettingsStore::WriteNumber(QString::fromLatin1(name), *value);
    }

    bool Enabled(MainWindow& window, int id) { return window.Control(id)->isEnabled(); }
    bool Pressed(MainWindow& window, int id) { return static_cast<QPushButton*>(window.Control(id))->isChecked(); }

    // Shows the window and waits until it has the keyboard, as a person would see it.
    void ShowActive(MainWindow& window)
    {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }

    TempConfigDir config;
    ScriptedPrompter prompter;
};

TEST_F(WindowTest, StartsAtTheLocalRootWithTheBannerAndDisconnectedButtons)
{
    MainWindow window;

    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tallowin"));
    EXPECT_FALSE(window.windowIcon().isNull());
    EXPECT_EQ(window.LocalPath(), QStringLiteral("/"));
    EXPECT_TRUE(window.RemotePath().isEmpty());
    EXPECT_EQ(static_cast<QLineEdit*>(window.Control(MainControlId::LocalPath))->text(), QStringLiteral("/"));
    EXPECT_TRUE(static_cast<QLineEdit*>(window.Control(MainControlId::RemotePath))->text().isEmpty());
    EXPECT_EQ(window.LogText(), QStringLiteral("Tallowin Version 1.0.0.1"));
    EXPECT_EQ(window.focusWidget(), window.Control(MainControlId::LogBox));

    // The root is listed as ListLocalFolder lists it, with no "..".
    PaneView expected(PaneSide::Local);
    ASSERT_TRUE(ListLocalFolder(expected, QStringLiteral("/")));
    ASSERT_GT(window.LocalList()->RowCount(), 0);
    EXPECT_EQ(PaneTexts(*window.LocalList()), PaneTexts(expected));
    EXPECT_FALSE(PaneTexts(*window.LocalList()).contains(QStringLiteral("..")));
    EXPECT_EQ(window.RemoteList()->RowCount(), 0);

    EXPECT_TRUE(Enabled(window, MainControlId::Connect));
    for (int id : ConnectedOnly)
        EXPECT_FALSE(Enabled(window, id)) << id;
    for (int id : AlwaysEnabled)
        EXPECT_TRUE(Enabled(window, id)) << id;
    EXPECT_TRUE(prompter.dialogTitles.isEmpty());
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(WindowTest, AutoModeLooksPressedOnlyWhenStoredAsOne)
{
    const std::optional<int> stored[] = {1, 0, 2, -1, std::nullopt};
    for (const std::optional<int>& value : stored) {
        TempConfigDir fresh;
        StoreNumber(SettingName::AutoTransferMode, value);
        MainWindow window;
        // Nothing stored is a first start, which turns automatic mode on.
        const bool autoMode = value == 1 || !value;
        SCOPED_TRACE(value ? *value : 999);
        EXPECT_EQ(Pressed(window, MainControlId::AutoMode), autoMode);
        EXPECT_EQ(Pressed(window, MainControlId::AsciiMode), !autoMode);
        EXPECT_FALSE(Pressed(window, MainControlId::BinaryMode));
        EXPECT_EQ(window.PressedModeButton(), autoMode ? TransferModeButton::Auto : TransferModeButton::Ascii);
    }
}

TEST_F(WindowTest, StoredOneOpensTheLoginOverTheShownWindow)
{
    StoreNumber(SettingName::ConnectDlgWithStartup, 1);
    MainWindow window;
    bool windowShownFirst = false;
    prompter.QueueDialog([&window, &windowShownFirst](QDialog&) {
        windowShownFirst = window.isVisible();
        return false;
    });
    EXPECT_TRUE(prompter.dialogTitles.isEmpty());
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(prompter.dialogTitles.size(), 1);
    EXPECT_TRUE(windowShownFirst);
    EXPECT_EQ(prompter.unanswered, 0);
    EXPECT_TRUE(Enabled(window, MainControlId::Connect));
}

TEST_F(WindowTest, AStartLinkOpensTheLoginFilledInOnceWhateverTheStartSetting)
{
    StoreNumber(SettingName::ConnectDlgWithStartup, 0);
    LoginPreset preset;
    preset.fields.server = QStringLiteral("127.0.0.1:2121");
    preset.fields.userName = QStringLiteral("user");
    preset.fields.password = QStringLiteral("from-link");
    MainWindow window;
    window.SetStartLogin(preset);
    QStringList shown;
    const auto readFields = [&shown](QDialog& dialog) {
        auto* login = static_cast<LoginDialog*>(&dialog);
        login->accept();
        shown = QStringList{login->fields.server, login->fields.userName, login->fields.password};
        return false;
    };
    prompter.QueueDialog(readFields);
    window.show();
    QCoreApplication::processEvents();
    EXPECT_EQ(shown, (QStringList{QStringLiteral("127.0.0.1:2121"), QStringLiteral("user"),
                                  QStringLiteral("from-link")}));

    // The next 接続 shows the dialog as usual: the link's password is gone.
    prompter.QueueDialog(readFields);
    window.Connect();
    EXPECT_EQ(shown, (QStringList{QString(), QString(), QString()}));
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_F(WindowTest, NoConnectAtStartUnlessStoredAsOne)
{
    for (int value : {0, 2}) {
        TempConfigDir fresh;
        StoreNumber(SettingName::ConnectDlgWithStartup, value);
        MainWindow window;
        window.show();
        QCoreApplication::processEvents();
        EXPECT_TRUE(prompter.dialogTitles.isEmpty()) << value;
        EXPECT_EQ(prompter.unanswered, 0);
    }
}

TEST_F(WindowTest, ConnectedStateSwapsTheConnectionButtonsOnly)
{
    MainWindow window;
    MainWindowTestAccess::SetConnectedState(window, true);
    EXPECT_FALSE(Enabled(window, MainControlId::Connect));
    for (int id : ConnectedOnly)
        EXPECT_TRUE(Enabled(window, id)) << id;
    for (int id : AlwaysEnabled)
        EXPECT_TRUE(Enabled(window, id)) << id;

    MainWindowTestAccess::SetConnectedState(window, false);
    EXPECT_TRUE(Enabled(window, MainControlId::Connect));
    for (int id : ConnectedOnly)
        EXPECT_FALSE(Enabled(window, id)) << id;
}

TEST_F(WindowTest, LogShowsOnlyTheLatestMessage)
{
    MainWindow window;
    MainWindowTestAccess::WriteLog(window, QStringLiteral("226 Transfer complete.\r\n"));
    MainWindowTestAccess::WriteLog(window, QStringLiteral("a.txt のダウンロードが正常に終了しました"));
    EXPECT_EQ(window.LogText(), QStringLiteral("a.txt のダウンロードが正常に終了しました"));
    const auto* logBox = static_cast<QPlainTextEdit*>(window.Control(MainControlId::LogBox));
    EXPECT_TRUE(logBox->isReadOnly());
}

TEST_F(WindowTest, FocusShortcutsMoveTheKeyboardToEachList)
{
    MainWindow window;
    InstallShortcutTable(window);
    ShowActive(window);

    QTest::keyClick(&window, Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), &window.RemoteList()->Tree());
    QTest::keyClick(&window, Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), &window.LocalList()->Tree());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_R, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), &window.RemoteList()->Tree());

    // Also from the edits, which have Ctrl bindings of their own.
    for (int edit : {MainControlId::LocalPath, MainControlId::RemotePath, MainControlId::LogBox}) {
        window.Control(edit)->setFocus();
        QTest::keyClick(window.Control(edit), Qt::Key_L, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), &window.LocalList()->Tree()) << edit;
        window.Control(edit)->setFocus();
        QTest::keyClick(window.Control(edit), Qt::Key_R, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), &window.RemoteList()->Tree()) << edit;
    }

    // Tab from a path edit goes on to the list below it.
    for (const auto& [edit, list] : {std::pair{MainControlId::LocalPath, window.LocalList()},
                                    std::pair{MainControlId::RemotePath, window.RemoteList()}}) {
        window.Control(edit)->setFocus();
        QTest::keyClick(window.Control(edit), Qt::Key_Tab);
        EXPECT_EQ(QApplication::focusWidget(), &list->Tree()) << edit;
    }
}

TEST_F(WindowTest, ConnectShortcutWorksWhileItsButtonIsDisabled)
{
    MainWindow window;
    InstallShortcutTable(window);
    ShowActive(window);
    MainWindowTestAccess::SetConnectedState(window, true);
    ASSERT_FALSE(Enabled(window, MainControlId::Connect));
    prompter.QueueDialog([](QDialog&) { return false; });

    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(prompter.dialogTitles.size(), 1);
    prompter.QueueDialog([](QDialog&) { return false; });
    window.Control(MainControlId::LocalPath)->setFocus();
    QTest::keyClick(window.Control(MainControlId::LocalPath), Qt::Key_O, Qt::ControlModifier);
    EXPECT_EQ(prompter.dialogTitles.size(), 2);
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_F(WindowTest, EscapeLeavesTheWindowOpenAndCloseEndsIt)
{
    MainWindow window;
    ShowActive(window);
    QTest::keyClick(&window, Qt::Key_Escape);
    QCoreApplication::processEvents();
    EXPECT_TRUE(window.isVisible());

    // The close request disconnects first, which leaves the disconnected buttons.
    MainWindowTestAccess::SetConnectedState(window, true);
    EXPECT_TRUE(window.close());
    EXPECT_FALSE(window.isVisible());
    EXPECT_EQ(window.result(), QDialog::Rejected);
    EXPECT_TRUE(Enabled(window, MainControlId::Connect));
    EXPECT_FALSE(Enabled(window, MainControlId::Disconnect));
}

TEST_F(WindowTest, ModeButtonKeepsItsLookUntilTheProgramChangesIt)
{
    MainWindow window;
    ShowActive(window);
    auto* ascii = static_cast<QPushButton*>(window.Control(MainControlId::AsciiMode));
    auto* binary = static_cast<QPushButton*>(window.Control(MainControlId::BinaryMode));

    MainWindowTestAccess::ShowModePressed(window, TransferModeButton::Binary);
    QTest::mouseClick(binary, Qt::LeftButton);
    EXPECT_TRUE(binary->isChecked());
    EXPECT_FALSE(ascii->isChecked());

    MainWindowTestAccess::ShowModePressed(window, TransferModeButton::Ascii);
    EXPECT_TRUE(ascii->isChecked());
    EXPECT_FALSE(binary->isChecked());
}

}  // namespace
