// The local pane: opening folders and the parent, Enter and double-click, new folder, delete.
#include "tests/mainwindow/files_fixture.h"

#include <QFileInfo>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

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

    // A typed path is opened and listed even when the caret is on a file, and nothing else
    // happens; an unreadable one is entered all the same and the log says so.
    ASSERT_TRUE(QDir(Scratch()).mkdir(QStringLiteral("typed")));
    WriteFile(Scratch(QStringLiteral("typed/b.txt")), "b");
    LocalPathEdit().setText(Scratch(QStringLiteral("typed/")));
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("a.txt")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("typed")));
    EXPECT_EQ(LocalPathEdit().text(), Scratch(QStringLiteral("typed")));
    EXPECT_EQ(PaneTexts(LocalList()), (QStringList{QStringLiteral(".."), QStringLiteral("b.txt")}));
    LocalPathEdit().setText(QStringLiteral("missing"));  // relative to the folder shown
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("typed/missing")));
    EXPECT_EQ(PaneTexts(LocalList()), QStringList{QStringLiteral("..")});
    EXPECT_EQ(window->LogText(), Scratch(QStringLiteral("typed/missing")) + QStringLiteral(" を開けません"));

    // Enter in the path edit opens the typed folder.
    LocalPathEdit().setText(Scratch());
    emit LocalPathEdit().returnPressed();
    EXPECT_EQ(window->LocalPath(), Scratch());
    EXPECT_TRUE(PaneTexts(LocalList()).contains(QStringLiteral("a.txt")));

    // A folder that cannot be read is entered all the same and shows ".." alone.
    LocalList().SetRows({});
    MainWindowTestAccess::AddLocalEntry(*window, QStringLiteral("gone"), EntryKind::Folder);
    ASSERT_TRUE(PutCaret(LocalList(), QStringLiteral("<gone>")));
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("gone")));
    EXPECT_EQ(PaneTexts(LocalList()), QStringList{QStringLiteral("..")});

    LocalList().SetRows({});
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
    window->NewLocalFolder();
    window->NewLocalFolder();
    EXPECT_EQ(window->LocalPath(), Scratch());
    EXPECT_EQ(QDir(Scratch()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList());

    // A typed folder that the pane does not show yet is only opened: no folder is made in a
    // place the user cannot see.
    ASSERT_TRUE(QDir(Scratch()).mkdir(QStringLiteral("other")));
    LocalPathEdit().setText(Scratch(QStringLiteral("other")));
    const qsizetype dialogsSoFar = prompter.dialogTitles.size();
    window->NewLocalFolder();
    EXPECT_EQ(window->LocalPath(), Scratch(QStringLiteral("other")));
    EXPECT_EQ(prompter.dialogTitles.size(), dialogsSoFar);

    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("新しい")));
    LocalPathEdit().setText(Scratch());
    window->NewLocalFolder();
    ASSERT_EQ(window->LocalPath(), Scratch());
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("新しい")));
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
    LocalList().Tree().clearSelection();
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
    prompter.QueueAnswer(false);  // the folder with contents stays
    window->DeleteLocalEntries();
    EXPECT_EQ(prompter.questions.last(), QStringLiteral("フォルダ full とその中の 1 個の項目を削除しますか？"));
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("a.txt"))));
    EXPECT_FALSE(dir.exists(QStringLiteral("sub")));
    EXPECT_TRUE(dir.exists(QStringLiteral("full/inner")));
    EXPECT_TRUE(QFile::exists(Scratch(QStringLiteral("b.txt"))));
    EXPECT_EQ(window->LogText(), QStringLiteral("削除が完了しました"));
    EXPECT_EQ(PaneTexts(LocalList()),
              (QStringList{QStringLiteral(".."), QStringLiteral("<full>"), QStringLiteral("b.txt")}));
}

TEST_F(LocalFilesTest, AFolderWithContentsGoesWholeAndNothingOutsideIsTouched)
{
    QDir dir(Scratch());
    ASSERT_TRUE(dir.mkpath(QStringLiteral("tree/a b/空")));
    ASSERT_TRUE(dir.mkpath(QStringLiteral("outside/kept")));
    WriteFile(Scratch(QStringLiteral("tree/a b/f.txt")), "f");
    WriteFile(Scratch(QStringLiteral("outside/kept/g.txt")), "g");
    // Links out of the tree, to its own top (a loop) and to nowhere go as links only.
    ASSERT_TRUE(QFile::link(Scratch(QStringLiteral("outside")), Scratch(QStringLiteral("tree/to-outside"))));
    ASSERT_TRUE(QFile::link(Scratch(QStringLiteral("outside/kept/g.txt")), Scratch(QStringLiteral("tree/a b/g-link"))));
    ASSERT_TRUE(QFile::link(Scratch(QStringLiteral("tree")), Scratch(QStringLiteral("tree/a b/loop"))));
    ASSERT_TRUE(QFile::link(Scratch(QStringLiteral("nowhere")), Scratch(QStringLiteral("tree/dangling"))));
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("<tree>")}));

    prompter.QueueAnswer(true);
    prompter.QueueAnswer(true);
    window->DeleteLocalEntries();
    // a b, 空, f.txt, g-link, loop, to-outside, dangling
    EXPECT_EQ(prompter.questions.last(), QStringLiteral("フォルダ tree とその中の 7 個の項目を削除しますか？"));
    EXPECT_FALSE(QFileInfo::exists(Scratch(QStringLiteral("tree"))));
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("outside/kept/g.txt"))), QByteArray("g"));
    EXPECT_EQ(window->LogText(), QStringLiteral("削除が完了しました"));
    EXPECT_EQ(PaneTexts(LocalList()), (QStringList{QStringLiteral(".."), QStringLiteral("<outside>")}));
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
    int file = FindRow(LocalList(), QStringLiteral("<x>"), PaneRowKind::File);
    ASSERT_GE(file, 0);

    // Opening a file does nothing, even when its text looks like a folder's.
    PutCaretOn(LocalList(), file);
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), Scratch());

    MainWindowTestAccess::ShowLocal(*window, Scratch());
    file = FindRow(LocalList(), QStringLiteral("<x>"), PaneRowKind::File);
    ASSERT_GE(file, 0);
    LocalList().Tree().clearSelection();
    SelectRow(LocalList(), file);
    prompter.QueueAnswer(true);
    window->DeleteLocalEntries();
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("<x>"))));
    EXPECT_TRUE(dir.exists(QStringLiteral("x")));
}
