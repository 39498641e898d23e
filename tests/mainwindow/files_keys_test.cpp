// The desktop keys and the context menu on the remote pane, against the real servers.
#include "mainwindow/shortcut_table.h"
#include "tests/mainwindow/files_fixture.h"

#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>

namespace {

class RemoteKeysTest : public RemoteFilesTest {
protected:
    // A key pressed in the window, which a wait box of the step before may have left inactive.
    void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier)
    {
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : window.get(), Qt::Key(key), modifiers);
    }
};

TEST_P(RemoteKeysTest, KeysAndTheMenuRunTheRemoteHandlers)
{
    PutRemoteFolder(folder + QStringLiteral("/sub"));
    PutRemoteFile(QStringLiteral("f.txt"), "x");
    Relist();
    MainWindowTestAccess::SetConnectedState(*window, true);
    MainWindowTestAccess::SetRemoteLogin(*window, server->host, server->port, server->user);
    InstallShortcutTable(*window);
    window->show();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    RemoteList().setFocus();

    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("made")));
    Press(Qt::Key_F7);
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("made"))).isDir());
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("<made>")));

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("f.txt")));
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("g.txt")));
    Press(Qt::Key_F2);
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("g.txt"))));

    PutRemoteFile(QStringLiteral("later.txt"), "y");
    Press(Qt::Key_F5);
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("later.txt")));

    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("later.txt")}));
    prompter.QueueAnswer(true);
    Press(Qt::Key_Delete);
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("later.txt"))));

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<sub>")));
    Press(Qt::Key_Return);
    ASSERT_EQ(window->RemotePath(), RemoteFolder(QStringLiteral("sub")));
    Press(Qt::Key_Backspace);
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<sub>")));
    Press(Qt::Key_Return);
    Press(Qt::Key_Up, Qt::AltModifier);
    EXPECT_EQ(window->RemotePath(), RemoteFolder());

    // The menu's refresh lists the pane again; its path is an address without the password.
    PutRemoteFile(QStringLiteral("menu.txt"), "z");
    QMenu menu;
    MainWindowTestAccess::FillPaneMenu(*window, menu, &RemoteList(), QPoint(2, RemoteList().Tree().viewport()->height() - 2));
    for (const QAction* action : menu.actions())
        if (action->text() == QStringLiteral("最新の情報に更新") || action->text() == QStringLiteral("パスをコピー"))
            MainWindowTestAccess::RunPaneMenuEntry(*window, &RemoteList(), *action);
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("menu.txt")));
    const QString copied = QApplication::clipboard()->text();
    EXPECT_TRUE(copied.startsWith(QStringLiteral("ftp://"))) << copied.toStdString();
    EXPECT_TRUE(copied.endsWith(RemoteFolder())) << copied.toStdString();
    if (!server->password.isEmpty()) {
        EXPECT_FALSE(copied.contains(server->password)) << copied.toStdString();
    }
    EXPECT_FALSE(copied.contains(u':' + server->password + u'@')) << copied.toStdString();
    EXPECT_EQ(prompter.unanswered, 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteKeysTest, ::testing::ValuesIn(AllServers()));

}  // namespace
