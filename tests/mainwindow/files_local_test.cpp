// The local pane: opening folders and the parent, Enter and double-click, new folder, delete.
#include "tests/mainwindow/files_fixture.h"

#include <QFileInfo>

#include <gtest/gtest.h>

using LocalFilesTest = FilesTest;

TEST_F(LocalFilesTest, OpensAFolderAndTheParentByPathArithmetic)
{
    ASSERT_TRUE(QDir(Scratch()).mkdir(QStringLiteral("sub")));
    MainWindowTestAccess::ShowLocal(*window, Scratch());

    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("<sub>")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("sub")));
    EXPECT_EQ(LocalPathEdit().text(), Scratch(QStringLiteral("sub")));
    EXPECT_EQ(PaneTexts(LocalList()), QStringList{QStringLiteral("..")});

    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("..")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch());
    EXPECT_TRUE(PaneTexts(LocalList()).contains(QStringLiteral("<sub>")));
}

TEST_F(LocalFilesTest, TheRootHasOneSeparatorAndNoParentEntry)
{
    // The scratch folder's first component is a folder directly under the root.
    const QString top = QLatin1Char('/') + Scratch().section(QLatin1Char('/'), 1, 1);
    MainWindowTestAccess::ShowLocal(*window, top);
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("..")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), QStringLiteral("/"));
    EXPECT_FALSE(PaneTexts(LocalList()).contains(QStringLiteral("..")));

    ASSERT_TRUE(PutCaret(LocalList(), QLatin1Char('<') + top.mid(1) + QLatin1Char('>')));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), top);
}

TEST_F(LocalFilesTest, AFileAnEmptyPaneOrAnUnreadableFolder)
{
    WriteFile(Scratch(QStringLiteral("a.txt")), "a");
    MainWindowTestAccess::ShowLocal(*window, Scratch());

    // A typed path takes effect even when the caret is on a file, and nothing else happens.
    LocalPathEdit().setText(Scratch(QStringLiteral("typed")));
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("a.txt")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("typed")));
    EXPECT_TRUE(PaneTexts(LocalList()).contains(QStringLiteral("a.txt")));

    // A folder that cannot be read is entered all the same and shows ".." alone.
    LocalPathEdit().setText(Scratch());
    LocalList().clear();
    AddEntry(LocalList(), QStringLiteral("<gone>"), PaneEntryKind::Folder);
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("<gone>")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("gone")));
    EXPECT_EQ(PaneTexts(LocalList()), QStringList{QStringLiteral("..")});

    LocalList().clear();
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("gone")));
}

TEST_F(LocalFilesTest, EnterOrDoubleClickOpensTheCaretEntryOfTheFocusedListOnly)
{
    ASSERT_TRUE(QDir(Scratch()).mkdir(QStringLiteral("sub")));
    WriteFile(Scratch(QStringLiteral("a.txt")), "a");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("<sub>")));

    LocalPathEdit().setFocus();
    window->OpenCaretEntry();
    EXPECT_EQ(window->LocalPath(), Scratch());

    LocalList().setFocus();
    window->OpenCaretEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("sub")));

    // A file is neither opened nor transferred; the paths are not even read back.
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("a.txt")));
    LocalPathEdit().setText(QStringLiteral("/elsewhere"));
    window->OpenCaretEntry();
    EXPECT_EQ(window->LocalPath(), Scratch());
    EXPECT_TRUE(prompter.questions.isEmpty());
}

TEST_F(LocalFilesTest, NewFolderIsMadeInTheTypedFolderUnlessCancelledOrEmpty)
{
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    prompter.QueueDialog(Cancel());
    prompter.QueueDialog(TypeAndConfirm(QString()));
    LocalPathEdit().setText(QStringLiteral("/not/read/back"));
    window->NewLocalFolder();
    window->NewLocalFolder();
    EXPECT_EQ(window->LocalPath(), Scratch());
    EXPECT_EQ(QDir(Scratch()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("新しい")));
    LocalPathEdit().setText(Scratch());
    window->NewLocalFolder();
    EXPECT_TRUE(QFileInfo(Scratch(QStringLiteral("新しい"))).isDir());
    EXPECT_TRUE(PaneTexts(LocalList()).contains(QStringLiteral("<新しい>")));
    EXPECT_EQ(prompter.dialogTitles.last(), QStringLiteral("Tallowin CreateDirectory"));
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_F(LocalFilesTest, DeleteAsksOnceCountingEverySelectedEntryAndRemovesFilesAndEmptyFolders)
{
    QDir dir(Scratch());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("sub")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("full/inner")));
    WriteFile(Scratch(QStringLiteral("a.txt")), "a");
    WriteFile(Scratch(QStringLiteral("b.txt")), "b");
    MainWindowTestAccess::ShowLocal(*window, Scratch());

    // No selection: no question. No for an answer: nothing goes.
    LocalList().clearSelection();
    window->DeleteLocalEntries();
    EXPECT_TRUE(prompter.questions.isEmpty());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral(".."), QStringLiteral("<sub>"),
                                          QStringLiteral("<full>"), QStringLiteral("a.txt")}));
    prompter.QueueAnswer(false);
    MainWindowTestAccess::WriteLog(*window, QStringLiteral("before"));
    window->DeleteLocalEntries();
    EXPECT_EQ(prompter.questions, QStringList{QStringLiteral("4 個のファイルを削除しますか？")});
    EXPECT_TRUE(QFile::exists(Scratch(QStringLiteral("a.txt"))));
    EXPECT_EQ(window->LogText(), QStringLiteral("before"));

    prompter.QueueAnswer(true);
    window->DeleteLocalEntries();
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("a.txt"))));
    EXPECT_FALSE(dir.exists(QStringLiteral("sub")));
    EXPECT_TRUE(dir.exists(QStringLiteral("full/inner")));  // nothing inside a folder is removed
    EXPECT_TRUE(QFile::exists(Scratch(QStringLiteral("b.txt"))));
    EXPECT_EQ(window->LogText(), QStringLiteral("削除が完了しました"));
    EXPECT_EQ(PaneTexts(LocalList()),
              (QStringList{QStringLiteral(".."), QStringLiteral("<full>"), QStringLiteral("b.txt")}));
}

TEST_F(LocalFilesTest, DeletingAFileLogsItsFullPath)
{
    WriteFile(Scratch(QStringLiteral("a.txt")), "a");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("a.txt")}));
    // Seen only until the closing line replaces it, so watch every write.
    LogWatch log(*window);
    prompter.QueueAnswer(true);
    window->DeleteLocalEntries();
    EXPECT_EQ(log.lines, (QStringList{Scratch(QStringLiteral("a.txt")) + QStringLiteral(" を削除しました"),
                                      QStringLiteral("削除が完了しました")}));
}

TEST_F(LocalFilesTest, AFileNamedLikeAFolderIsTreatedAsAFile)
{
    QDir dir(Scratch());
    ASSERT_TRUE(dir.mkdir(QStringLiteral("x")));
    WriteFile(Scratch(QStringLiteral("<x>")), "file");
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_EQ(PaneTexts(LocalList()), (QStringList{QStringLiteral(".."), QStringLiteral("<x>"), QStringLiteral("<x>")}));
    QListWidgetItem* file = FindEntryItem(LocalList(), QStringLiteral("<x>"), PaneEntryKind::File);
    ASSERT_NE(file, nullptr);

    // Opening a file does nothing, even when its text looks like a folder's.
    LocalList().setCurrentItem(file, QItemSelectionModel::NoUpdate);
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch());

    MainWindowTestAccess::ShowLocal(*window, Scratch());
    file = FindEntryItem(LocalList(), QStringLiteral("<x>"), PaneEntryKind::File);
    ASSERT_NE(file, nullptr);
    LocalList().clearSelection();
    file->setSelected(true);
    prompter.QueueAnswer(true);
    window->DeleteLocalEntries();
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("<x>"))));
    EXPECT_TRUE(dir.exists(QStringLiteral("x")));
}
