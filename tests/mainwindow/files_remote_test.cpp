// The remote pane against real servers: opening folders and the parent, new folder, delete,
// permissions and rename.
#include "mainwindow/attribute_dialog.h"
#include "tests/mainwindow/files_fixture.h"

#include <QCheckBox>
#include <QFileInfo>
#include <QPlainTextEdit>

#include <gtest/gtest.h>

namespace {

ScriptedPrompter::DialogScript ConfirmAttributes(std::function<void(AttributeDialog&)> change = {})
{
    return [change](QDialog& dialog) {
        auto* attributes = qobject_cast<AttributeDialog*>(&dialog);
        if (!attributes)
            return false;
        if (change)
            change(*attributes);
        attributes->accept();
        return true;
    };
}

}  // namespace

using RemoteNavigationTest = RemoteFilesTest;

TEST_P(RemoteNavigationTest, OpensFoldersAndTheParentWithTheServersCurrentFolder)
{
    PutRemoteFolder(folder + QStringLiteral("/sub/deeper"));
    Relist();

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<sub>")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder(QStringLiteral("sub")));
    EXPECT_EQ(RemotePathEdit().text(), RemoteFolder(QStringLiteral("sub")));
    EXPECT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("<deeper>")}));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder(QStringLiteral("sub")));

    // Up from a deeper folder: CWD .. and the path the server reports.
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("..")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("<sub>")));

    // Up from a folder directly under the root lands at "/", which still lists "..".
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("..")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), QStringLiteral("/"));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), QStringLiteral("/"));
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("..")));

    // Down from the root: one separator.
    ASSERT_TRUE(PutCaret(RemoteList(), QLatin1Char('<') + folder + QLatin1Char('>')));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
}

TEST_P(RemoteNavigationTest, ARefusedFolderAFileOrAnEmptyPaneLeaveThePathAlone)
{
    PutRemoteFile(QStringLiteral("a.txt"), "a");
    Relist();
    MainWindowTestAccess::AddRemoteEntry(*window, QStringLiteral("gone"), EntryKind::Folder);
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<gone>")));
    const QString logBefore = window->LogText();
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder());
    EXPECT_FALSE(PaneTexts(RemoteList()).contains(QStringLiteral("<gone>")));
    EXPECT_EQ(window->LogText(), logBefore);  // a refused CWD is not reported

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("a.txt")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    RemoteList().SetRows({});
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
}

TEST_P(RemoteNavigationTest, EnterInTheRemoteListOpensItsCaretEntry)
{
    PutRemoteFolder(folder + QStringLiteral("/sub"));
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<sub>")));
    RemoteList().setFocus();
    window->OpenCaretEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder(QStringLiteral("sub")));
}

using RemoteFoldersTest = RemoteFilesTest;

TEST_P(RemoteFoldersTest, NewFolderIsMadeByNameAndARefusalIsLoggedWithoutRefill)
{
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("新しい")));
    window->NewRemoteFolder();
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("新しい"))).isDir());
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("<新しい>")));

    // The same name again is refused; the pane and the path edit stay as they were.
    const QStringList before = PaneTexts(RemoteList());
    AppendRow(RemoteList(), QStringLiteral("marker"));
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("新しい")));
    window->NewRemoteFolder();
    EXPECT_EQ(window->LogText(), QStringLiteral("ディレクトリ作成に失敗しました"));
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("marker")));
    EXPECT_EQ(RemotePathEdit().text(), RemoteFolder());

    prompter.QueueDialog(Cancel());
    window->NewRemoteFolder();
    EXPECT_EQ(prompter.unanswered, 0);
}

TEST_P(RemoteFoldersTest, DeleteWorksThroughTheSelectionAndLogsEachOutcome)
{
    PutRemoteFolder(folder + QStringLiteral("/empty"));
    PutRemoteFolder(folder + QStringLiteral("/full"));
    PutRemoteFile(QStringLiteral("full/inner.txt"), "x");
    PutRemoteFile(QStringLiteral("a.txt"), "a");
    PutRemoteFile(QStringLiteral("keep.txt"), "k");
    Relist();
    MainWindowTestAccess::AddRemoteEntry(*window, QStringLiteral("ghost.txt"));
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral(".."), QStringLiteral("<empty>"), QStringLiteral("<full>"),
                                           QStringLiteral("a.txt"), QStringLiteral("ghost.txt")}));

    prompter.QueueAnswer(false);
    window->DeleteRemoteEntries();
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("a.txt"))).exists());

    LogWatch log(*window);
    prompter.QueueAnswer(true);
    prompter.QueueAnswer(false);  // the full folder stays: no failure
    window->DeleteRemoteEntries();
    const QString question = QStringLiteral("5 個のファイルまたは\nディレクトリを削除しますか？");
    EXPECT_EQ(prompter.questions, (QStringList{question, question,
                                               QStringLiteral("フォルダ full とその中の 1 個の項目を削除しますか？")}));
    ASSERT_EQ(log.lines.size(), 4);
    EXPECT_EQ(log.lines.first(3), (QStringList{QStringLiteral("empty の削除が正常に終了しました"),
                                               RemoteFolder(QStringLiteral("a.txt")) + QStringLiteral(" の削除が正常に終了しました"),
                                               QStringLiteral("削除に失敗しました")}));
    // The batch ends on its failures and the server's word on the first (DELE of a file that is gone).
    EXPECT_TRUE(log.lines.last().startsWith(QStringLiteral("3 個中 1 個が失敗しました。最初の失敗: 55")))
        << log.lines.last().toStdString();
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("empty"))));
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("full/inner.txt"))));
    EXPECT_EQ(PaneTexts(RemoteList()),
              (QStringList{QStringLiteral(".."), QStringLiteral("<full>"), QStringLiteral("keep.txt")}));
}

TEST_P(RemoteFoldersTest, ATypedFolderIsOpenedInsteadOfActingOnTheOneShown)
{
    PutRemoteFolder(folder + QStringLiteral("/other"));
    PutRemoteFile(QStringLiteral("a.txt"), "a");
    PutRemoteFile(QStringLiteral("other/b.txt"), "b");
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("a.txt")}));

    // "削" with another folder typed: that folder is listed, nothing is asked or deleted.
    RemotePathEdit().setText(RemoteFolder(QStringLiteral("other/")));
    window->DeleteRemoteEntries();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("a.txt"))));
    EXPECT_EQ(window->RemotePath(), RemoteFolder(QStringLiteral("other")));
    EXPECT_EQ(RemotePathEdit().text(), RemoteFolder(QStringLiteral("other")));
    EXPECT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("b.txt")}));

    // A folder the server refuses leaves the pane and its path as they were, and says why.
    RemotePathEdit().setText(RemoteFolder(QStringLiteral("nope")));
    emit RemotePathEdit().returnPressed();
    EXPECT_EQ(window->RemotePath(), RemoteFolder(QStringLiteral("other")));
    EXPECT_EQ(RemotePathEdit().text(), RemoteFolder(QStringLiteral("other")));
    EXPECT_TRUE(window->LogText().startsWith(RemoteFolder(QStringLiteral("nope")) + QStringLiteral(" を開けません: 550")))
        << window->LogText().toStdString();
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder(QStringLiteral("other")));
}

TEST_P(RemoteFoldersTest, AListedFileNamedLikeAFolderIsTreatedAsAFile)
{
    PutRemoteFolder(folder + QStringLiteral("/x"));
    PutRemoteFile(QStringLiteral("<x>"), "file");
    PutRemoteFile(QStringLiteral("<..>"), "dots");
    Relist();
    ASSERT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("<x>"), QStringLiteral("<..>"),
                                                    QStringLiteral("<x>")}));
    auto file = [this] { return FindRow(RemoteList(), QStringLiteral("<x>"), PaneRowKind::File); };
    ASSERT_GE(file(), 0);

    PutCaretOn(RemoteList(), file());
    window->OpenRemoteEntry();
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder());

    ASSERT_TRUE(MainWindowTestAccess::Session(*window).ChangeDir(RemoteFolder())) << Reply();
    Relist();
    RemoteList().Tree().clearSelection();
    SelectRow(RemoteList(), file());
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("<x>"))), QByteArray("file"));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TransferSize(), 4);

    // Permissions go to the file itself, whatever its name looks like.
    const auto clearEveryBox = [](AttributeDialog& dialog) {
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            box->setChecked(false);
    };
    for (const QString& name : {QStringLiteral("<x>"), QStringLiteral("<..>")}) {
        const int row = FindRow(RemoteList(), name, PaneRowKind::File);
        ASSERT_GE(row, 0) << name.toStdString();
        PutCaretOn(RemoteList(), row);
        prompter.QueueDialog(ConfirmAttributes(clearEveryBox));
        window->ChangeAttributes();
        EXPECT_EQ(ModeOnDisk(InFolder(name)), 0) << name.toStdString();
    }
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("x"))), 0777);

    RemoteList().Tree().clearSelection();
    SelectRow(RemoteList(), file());
    prompter.QueueAnswer(true);
    window->DeleteRemoteEntries();
    EXPECT_FALSE(QFileInfo::exists(InFolder(QStringLiteral("<x>"))));
    EXPECT_TRUE(QFileInfo(InFolder(QStringLiteral("x"))).isDir());
}

using RemoteAttributesTest = RemoteFilesTest;

TEST_P(RemoteAttributesTest, OkWithoutChangesSendsTheListedModeAndShowsTheServersReply)
{
    PutRemoteFile(QStringLiteral("run.sh"), "#!/bin/sh\n", 0750);
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("run.sh")));
    QString label;
    prompter.QueueDialog(ConfirmAttributes([&](AttributeDialog& dialog) { label = dialog.currentLabel; }));
    window->ChangeAttributes();
    EXPECT_EQ(label, QStringLiteral("現在の属性：750"));
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("run.sh"))), 0750);
    EXPECT_TRUE(window->LogText().startsWith(QStringLiteral("200"))) << window->LogText().toStdString();
    EXPECT_EQ(prompter.dialogTitles, QStringList{QStringLiteral("Tallowin 属性変更")});
}

TEST_P(RemoteAttributesTest, SpecialBitsAreKeptAndClearingEveryBoxSendsZero)
{
    PutRemoteFile(QStringLiteral("suid"), "x", 04755);
    PutRemoteFile(QStringLiteral("open"), "x", 0666);
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("suid")));
    prompter.QueueDialog(ConfirmAttributes());
    window->ChangeAttributes();
    // "4755" goes out; vsftpd drops special bits of SITE CHMOD by design, the rest stays.
    const mode_t expected = GetParam() == QStringLiteral("vsftpd") ? 0755 : 04755;
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("suid"))), expected);

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("open")));
    prompter.QueueDialog(ConfirmAttributes([](AttributeDialog& dialog) {
        for (QCheckBox* box : dialog.findChildren<QCheckBox*>())
            box->setChecked(false);
    }));
    window->ChangeAttributes();
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("open"))), 0);
}

TEST_P(RemoteAttributesTest, AFolderIsSentByItsNameWithoutBrackets)
{
    PutRemoteFolder(folder + QStringLiteral("/docs"));
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<docs>")));
    prompter.QueueDialog(ConfirmAttributes([](AttributeDialog& dialog) {
        static_cast<QCheckBox*>(dialog.Control(AttributeControlId::AllWrite))->setChecked(false);
        static_cast<QCheckBox*>(dialog.Control(AttributeControlId::GroupWrite))->setChecked(false);
    }));
    window->ChangeAttributes();
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("docs"))), 0755);
}

TEST_P(RemoteAttributesTest, NothingHappensForTheParentAnUnlistedEntryACancelOrALostConnection)
{
    PutRemoteFile(QStringLiteral("f"), "x", 0644);
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("..")));
    window->ChangeAttributes();
    EXPECT_TRUE(prompter.dialogTitles.isEmpty());

    AppendRow(RemoteList(), QStringLiteral("ghost"));
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("ghost")));
    window->ChangeAttributes();
    EXPECT_EQ(window->LogText(), AsLogShows(QStringLiteral("指定されたファイルがリストにありません\r\n")));

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("f")));
    prompter.QueueDialog(Cancel());
    window->ChangeAttributes();
    EXPECT_EQ(ModeOnDisk(InFolder(QStringLiteral("f"))), 0644);

    MainWindowTestAccess::Session(*window).DisconnectFromServer();
    prompter.QueueDialog(ConfirmAttributes());
    window->ChangeAttributes();
    EXPECT_EQ(window->LogText(), AsLogShows(QStringLiteral("ChangeFileAttrib に失敗\r\n")));
    EXPECT_TRUE(PaneTexts(RemoteList()).contains(QStringLiteral("ghost")));  // not refilled
}

using RemoteRenameTest = RemoteFilesTest;

TEST_P(RemoteRenameTest, ARelativeNameMovesTheFileIntoASubfolder)
{
    PutRemoteFolder(folder + QStringLiteral("/sub"));
    PutRemoteFile(QStringLiteral("a.txt"), "a");
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("a.txt")));
    QString offered;
    prompter.QueueDialog([&](QDialog& dialog) {
        auto& rename = static_cast<RenameDialog&>(dialog);
        dialog.show();
        offered = rename.NameEdit()->text();
        rename.NameEdit()->setText(QStringLiteral("sub/a.txt"));
        dialog.accept();
        return true;
    });
    window->RenameRemoteEntry();
    EXPECT_EQ(offered, QStringLiteral("a.txt"));
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("sub/a.txt"))));
    EXPECT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("<sub>")}));
    EXPECT_EQ(prompter.dialogTitles, QStringList{QStringLiteral("Tallowin Rename or Move")});
}

TEST_P(RemoteRenameTest, FoldersAreNotRenamedAndRefusalsAreLogged)
{
    PutRemoteFolder(folder + QStringLiteral("/sub"));
    PutRemoteFile(QStringLiteral("a.txt"), "a");
    PutRemoteFile(QStringLiteral("b.txt"), "b");
    Relist();
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("<sub>")));
    window->RenameRemoteEntry();
    EXPECT_TRUE(prompter.dialogTitles.isEmpty());

    // RNTO refused: a folder that does not exist. The file stays, the failure is logged.
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("a.txt")));
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("nowhere/a.txt")));
    window->RenameRemoteEntry();
    EXPECT_EQ(window->LogText(), QStringLiteral("リネームに失敗しました"));
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("a.txt"))));

    // RNFR refused: the file went away behind the listing's back.
    QFile::remove(InFolder(QStringLiteral("b.txt")));
    MainWindowTestAccess::WriteLog(*window, QString());
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("b.txt")));
    prompter.QueueDialog(TypeAndConfirm(QStringLiteral("c.txt")));
    window->RenameRemoteEntry();
    EXPECT_EQ(window->LogText(), QStringLiteral("リネームに失敗しました"));

    // Cancel or an empty name: nothing is sent.
    prompter.QueueDialog(Cancel());
    prompter.QueueDialog(TypeAndConfirm(QString()));
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("a.txt")));
    MainWindowTestAccess::WriteLog(*window, QString());
    window->RenameRemoteEntry();
    window->RenameRemoteEntry();
    EXPECT_EQ(window->LogText(), QString());
    EXPECT_TRUE(QFileInfo::exists(InFolder(QStringLiteral("a.txt"))));
    EXPECT_EQ(prompter.unanswered, 0);
}

INSTANTIATE_TEST_SUITE_P(Servers, RemoteNavigationTest, ::testing::ValuesIn(AllServers()));
INSTANTIATE_TEST_SUITE_P(Servers, RemoteFoldersTest, ::testing::ValuesIn(AllServers()));
INSTANTIATE_TEST_SUITE_P(Servers, RemoteAttributesTest, ::testing::ValuesIn(AllServers()));
INSTANTIATE_TEST_SUITE_P(Servers, RemoteRenameTest, ::testing::ValuesIn(AllServers()));
