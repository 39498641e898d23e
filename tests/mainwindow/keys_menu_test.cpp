// The desktop keys, the panes' context menus and the local rename, on a scratch local folder.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/shortcut_table.h"
#include "mainwindow/small_dialogs.h"
#include "resources/resource_ids.h"
#include "tests/support/main_window_test_access.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"

#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QTreeView>
#include <QPlainTextEdit>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace {

TEST(ShortcutTableTest, EachKeyDoesOneThingAndTheOldOnesStay)
{
    QSet<int> seen;
    for (const ShortcutEntry& entry : ShortcutTable()) {
        EXPECT_FALSE(seen.contains(entry.keys.toCombined())) << QKeySequence(entry.keys).toString().toStdString();
        seen.insert(entry.keys.toCombined());
    }
    // The window's own keys (Enter opens, Esc is swallowed) are no shortcut's.
    for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        EXPECT_FALSE(seen.contains(QKeyCombination(key).toCombined())) << key;
    const std::pair<QKeyCombination, int> kept[] = {
        {Qt::CTRL | Qt::Key_D, MainControlId::Download},       {Qt::CTRL | Qt::Key_L, MainControlId::FocusLocalList},
        {Qt::CTRL | Qt::Key_O, MainControlId::Connect},        {Qt::CTRL | Qt::Key_P, MainControlId::Attributes},
        {Qt::CTRL | Qt::Key_R, MainControlId::FocusRemoteList}, {Qt::CTRL | Qt::Key_U, MainControlId::Upload},
    };
    for (const auto& [keys, command] : kept) {
        const auto table = ShortcutTable();
        const auto found = std::find_if(table.begin(), table.end(),
                                        [&](const ShortcutEntry& entry) { return entry.keys == keys; });
        ASSERT_NE(found, table.end());
        EXPECT_EQ(found->command, command);
    }
}

class KeysMenuTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(scratch.isValid());
        ASSERT_TRUE(QDir(scratch.path()).mkdir(QStringLiteral("sub")));
        WriteFile(QStringLiteral("a.txt"));
        window = std::make_unique<MainWindow>();
        InstallShortcutTable(*window);
        MainWindowTestAccess::ShowLocal(*window, scratch.path());
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        window->LocalList()->setFocus();
    }

    void WriteFile(const QString& name)
    {
        QFile file(Path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
    }
    QString Path(const QString& name) const { return scratch.path() + u'/' + name; }
    PaneView& Local() { return *window->LocalList(); }
    // The caret on the row, and the row alone selected (as a click leaves it).
    void Caret(const QString& text)
    {
        const int row = FindRow(Local(), text);
        ASSERT_GE(row, 0) << text.toStdString();
        Local().Tree().clearSelection();
        SelectRow(Local(), row);
        PutCaretOn(Local(), row);
    }
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key(key), modifiers);
    }
    static ScriptedPrompter::DialogScript RenameTo(const QString& name)
    {
        return [name](QDialog& dialog) {
            static_cast<RenameDialog&>(dialog).NameEdit()->setText(name);
            dialog.accept();
            return true;
        };
    }
    static ScriptedPrompter::DialogScript NewFolder(const QString& name)
    {
        return [name](QDialog& dialog) {
            static_cast<NewFolderDialog&>(dialog).NameEdit()->setText(name);
            dialog.accept();
            return true;
        };
    }
    // The texts of the menu a right-click at the row (-1: below the rows) opens.
    QStringList MenuTexts(PaneView& pane, int row, QMenu& menu)
    {
        QCoreApplication::processEvents();  // the pane lays its rows out when it is shown
        QTreeView& tree = pane.Tree();
        const QPoint place = row >= 0 ? tree.visualRect(pane.Model().index(row, 0)).center()
                                      : QPoint(2, tree.viewport()->height() - 2);
        MainWindowTestAccess::FillPaneMenu(*window, menu, &pane, place);
        QStringList texts;
        for (const QAction* action : menu.actions())
            if (!action->isSeparator())
                texts << action->text();
        return texts;
    }
    void Run(QMenu& menu, PaneView& pane, const QString& text)
    {
        for (const QAction* action : menu.actions())
            if (action->text() == text)
                return MainWindowTestAccess::RunPaneMenuEntry(*window, &pane, *action);
        FAIL() << text.toStdString();
    }
    int Row(PaneView& pane, const QString& text) { return FindRow(pane, text); }

    TempConfigDir config;
    ScriptedPrompter prompter;
    QTemporaryDir scratch;
    std::unique_ptr<MainWindow> window;
};

TEST_F(KeysMenuTest, KeysActOnTheLocalPaneAsItsButtonsWould)
{
    // F7: a new folder.
    prompter.QueueDialog(NewFolder(QStringLiteral("made")));
    Press(Qt::Key_F7);
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("made"))).isDir());
    EXPECT_TRUE(PaneTexts(Local()).contains(QStringLiteral("<made>")));

    // F2: the rename dialog, filled with the old name.
    Caret(QStringLiteral("a.txt"));
    QString offered;
    prompter.QueueDialog([&offered](QDialog& dialog) {
        offered = static_cast<RenameDialog&>(dialog).newName;
        static_cast<RenameDialog&>(dialog).NameEdit()->setText(QStringLiteral("b.txt"));
        dialog.accept();
        return true;
    });
    Press(Qt::Key_F2);
    EXPECT_EQ(offered, QStringLiteral("a.txt"));
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("b.txt"))));
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("a.txt"))));

    // Delete: the pane's "削", question included.
    Local().Tree().clearSelection();
    SelectRow(Local(), FindRow(Local(), QStringLiteral("b.txt")));
    prompter.QueueAnswer(true);
    Press(Qt::Key_Delete);
    EXPECT_FALSE(QFileInfo::exists(Path(QStringLiteral("b.txt"))));
    EXPECT_EQ(prompter.questions.size(), 1);

    // F5: what appeared meanwhile shows.
    WriteFile(QStringLiteral("later.txt"));
    Press(Qt::Key_F5);
    EXPECT_TRUE(PaneTexts(Local()).contains(QStringLiteral("later.txt")));

    // Enter opens a folder; Backspace and Alt+Up go back up.
    Caret(QStringLiteral("<sub>"));
    Press(Qt::Key_Return);
    ASSERT_EQ(window->LocalPath(), Path(QStringLiteral("sub")));
    Press(Qt::Key_Backspace);
    EXPECT_EQ(window->LocalPath(), scratch.path());
    Caret(QStringLiteral("<sub>"));
    Press(Qt::Key_Return);
    Press(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(window->LocalPath(), scratch.path());
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_F(KeysMenuTest, FocusKeysMoveBetweenPanesAndIntoThePathEdits)
{
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &window->RemoteList()->Tree());
    Press(Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), &window->LocalList()->Tree());
    Press(Qt::Key_F6);
    EXPECT_EQ(QApplication::focusWidget(), window->Control(MainControlId::LocalPath));
    // The edit keeps Backspace and Delete for its text.
    auto* edit = static_cast<QLineEdit*>(window->Control(MainControlId::LocalPath));
    edit->setCursorPosition(edit->text().size());
    const QString before = edit->text();
    Press(Qt::Key_Backspace);
    EXPECT_EQ(edit->text(), before.chopped(1));
    EXPECT_EQ(window->LocalPath(), scratch.path());

    window->RemoteList()->setFocus();
    Press(Qt::Key_D, Qt::AltModifier);
    EXPECT_EQ(QApplication::focusWidget(), window->Control(MainControlId::RemotePath));
    // Ctrl+L still goes to the local list.
    Press(Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(QApplication::focusWidget(), &window->LocalList()->Tree());

    // Disconnected, the remote pane's keys do nothing (its buttons are off).
    window->RemoteList()->setFocus();
    for (int key : {Qt::Key_Delete, Qt::Key_F2, Qt::Key_F7, Qt::Key_Backspace})
        Press(key);
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_TRUE(prompter.dialogTitles.isEmpty());
    EXPECT_EQ(window->LocalPath(), scratch.path());
}

TEST_F(KeysMenuTest, LocalMenuOffersWhatAppliesToTheRowAndRunsTheHandlers)
{
    QMenu fileMenu;
    EXPECT_EQ(MenuTexts(Local(), Row(Local(), QStringLiteral("a.txt")), fileMenu),
              (QStringList{QStringLiteral("新しいフォルダ"), QStringLiteral("削除"), QStringLiteral("名前の変更"),
                           QStringLiteral("最新の情報に更新"), QStringLiteral("パスをコピー")}));
    Run(fileMenu, Local(), QStringLiteral("パスをコピー"));
    EXPECT_EQ(QApplication::clipboard()->text(), Path(QStringLiteral("a.txt")));

    QMenu emptyMenu;
    EXPECT_EQ(MenuTexts(Local(), -1, emptyMenu),
              (QStringList{QStringLiteral("新しいフォルダ"), QStringLiteral("最新の情報に更新"),
                           QStringLiteral("パスをコピー")}));
    Run(emptyMenu, Local(), QStringLiteral("パスをコピー"));
    EXPECT_EQ(QApplication::clipboard()->text(), scratch.path());

    QMenu folderMenu;
    EXPECT_EQ(MenuTexts(Local(), Row(Local(), QStringLiteral("<sub>")), folderMenu).first(), QStringLiteral("開く"));
    prompter.QueueDialog(RenameTo(QStringLiteral("renamed")));
    Run(folderMenu, Local(), QStringLiteral("名前の変更"));
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("renamed"))).isDir());
    QMenu renamedMenu;
    MenuTexts(Local(), Row(Local(), QStringLiteral("<renamed>")), renamedMenu);
    Run(renamedMenu, Local(), QStringLiteral("開く"));
    EXPECT_EQ(window->LocalPath(), Path(QStringLiteral("renamed")));

    // The remote pane has nothing to offer before a connect.
    QMenu remoteMenu;
    EXPECT_TRUE(MenuTexts(*window->RemoteList(), -1, remoteMenu).isEmpty());
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_F(KeysMenuTest, RemoteMenuOffersServerWorkAndCopiesAnAddressWithoutThePassword)
{
    MainWindowTestAccess::SetConnectedState(*window, true);
    MainWindowTestAccess::SetRemotePath(*window, QStringLiteral("/pub/日本"));
    MainWindowTestAccess::SetRemoteLogin(*window, QStringLiteral("127.0.0.1"), 2121, QStringLiteral("anon ymous"));
    PaneView& remote = *window->RemoteList();
    std::vector<PaneRow> rows(3);
    rows[0].entry.name = QStringLiteral("..");
    rows[0].kind = PaneRowKind::Parent;
    rows[1].entry.name = QStringLiteral("dir");
    rows[1].entry.kind = EntryKind::Folder;
    rows[1].kind = PaneRowKind::Folder;
    rows[2].entry.name = QStringLiteral("f 1.txt");
    remote.SetRows(std::move(rows));
    ASSERT_EQ(PaneTexts(remote), (QStringList{QStringLiteral(".."), QStringLiteral("<dir>"), QStringLiteral("f 1.txt")}));
    QMenu fileMenu;
    EXPECT_EQ(MenuTexts(remote, 2, fileMenu),
              (QStringList{QStringLiteral("ダウンロード"), QStringLiteral("新しいフォルダ"), QStringLiteral("削除"),
                           QStringLiteral("名前の変更"), QStringLiteral("属性"), QStringLiteral("最新の情報に更新"),
                           QStringLiteral("パスをコピー")}));
    Run(fileMenu, remote, QStringLiteral("パスをコピー"));
    EXPECT_EQ(QApplication::clipboard()->text(),
              QStringLiteral("ftp://anon%20ymous@127.0.0.1:2121/pub/%E6%97%A5%E6%9C%AC/f%201.txt"));

    // A folder is not renamed on the server; ".." is opened and nothing else.
    QMenu folderMenu;
    EXPECT_FALSE(MenuTexts(remote, 1, folderMenu).contains(QStringLiteral("名前の変更")));
    QMenu parentMenu;
    EXPECT_EQ(MenuTexts(remote, 0, parentMenu),
              (QStringList{QStringLiteral("開く"), QStringLiteral("新しいフォルダ"), QStringLiteral("最新の情報に更新"),
                           QStringLiteral("パスをコピー")}));

    // Connected, the local pane offers the upload of its rows.
    QMenu localMenu;
    EXPECT_TRUE(MenuTexts(Local(), Row(Local(), QStringLiteral("a.txt")), localMenu).contains(QStringLiteral("アップロード")));
}

TEST_F(KeysMenuTest, LocalRenameNeverReplacesAndMovesByRelativePath)
{
    WriteFile(QStringLiteral("taken.txt"));
    window->RefreshPanes();
    Caret(QStringLiteral("a.txt"));
    prompter.QueueDialog(RenameTo(QStringLiteral("taken.txt")));
    window->RenameLocalEntry();
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("a.txt"))));
    EXPECT_TRUE(window->LogText().startsWith(QStringLiteral("リネームに失敗しました: "))) << window->LogText().toStdString();
    EXPECT_TRUE(window->LogText().contains(QStringLiteral("すでに存在します")));

    Caret(QStringLiteral("a.txt"));
    prompter.QueueDialog(RenameTo(QStringLiteral("sub/moved.txt")));
    window->RenameLocalEntry();
    EXPECT_TRUE(QFileInfo::exists(Path(QStringLiteral("sub/moved.txt"))));
    EXPECT_FALSE(PaneTexts(Local()).contains(QStringLiteral("a.txt")));

    // A cancelled dialog changes nothing.
    Caret(QStringLiteral("<sub>"));
    prompter.QueueDialog([](QDialog&) { return false; });
    window->RenameLocalEntry();
    EXPECT_TRUE(QFileInfo(Path(QStringLiteral("sub"))).isDir());
    EXPECT_EQ(prompter.unanswered, 0);
}

}  // namespace
