// Opening, creating, deleting and renaming entries, and remote permissions.
#include "mainwindow/attribute_dialog.h"
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/small_dialogs.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"

#include <QDir>
#include <QFile>
#include <QListWidget>

namespace {

// The text of the pane's caret entry (the one with the focus mark, selected or not); empty when
// the pane is empty.
QString CaretText(const QListWidget& list)
{
    const QListWidgetItem* item = list.currentItem();
    return item ? item->text() : QString();
}

PaneEntryKind CaretKind(const QListWidget& list)
{
    return KindOf(list.currentItem());
}

// What is left of a path cut at its last "/": "/a/b" gives "/a", "/a" gives "".
QString ParentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

const QString RootPath = QStringLiteral("/");

}  // namespace

void MainWindow::OpenLocalEntry()
{
    ReadBackPaths();
    const QString text = CaretText(*localList);
    const PaneEntryKind kind = CaretKind(*localList);
    if (kind == PaneEntryKind::Parent) {
        localPath = ParentOf(localPath);
        if (localPath.isEmpty())
            localPath = RootPath;
    } else if (kind == PaneEntryKind::Folder) {
        localPath = JoinPath(localPath, FolderNameOf(text));
    } else {
        return;
    }
    // A folder that cannot be read is entered all the same and shows ".." alone.
    ListLocalFolder(localPath);
    ShowPaths();
}

void MainWindow::OpenRemoteEntry()
{
    ReadBackPaths();
    const QString text = CaretText(*remoteList);
    const PaneEntryKind kind = CaretKind(*remoteList);
    const auto wait = ShowWaitText(FilesText::ListingWait);
    if (kind == PaneEntryKind::Parent) {
        if (ParentOf(remotePath).isEmpty()) {
            remotePath = RootPath;
            session.ChangeDir(RootPath);
        } else {
            session.ChangeDir(MainText::ParentEntry);
            remotePath = session.GetRemoteDir();
        }
    } else if (kind == PaneEntryKind::Folder) {
        // A refused CWD leaves the server where it was, so the path stays too: otherwise the
        // pane would show the old folder under the new name and downloads would ask for files
        // that are not there.
        const QString name = FolderNameOf(text);
        if (session.ChangeDir(name))
            remotePath = JoinPath(remotePath, name);
    } else {
        return;
    }
    ListRemoteFolder(remotePath);
    ShowPaths();
}

void MainWindow::OpenCaretEntry()
{
    // Only folders and the parent open; a file is neither opened nor transferred.
    QWidget* focus = focusWidget();
    QListWidget* list = focus == localList ? localList : focus == remoteList ? remoteList : nullptr;
    if (!list)
        return;
    if (CaretKind(*list) == PaneEntryKind::File)
        return;
    if (list == localList)
        OpenLocalEntry();
    else
        OpenRemoteEntry();
}

void MainWindow::NewLocalFolder()
{
    NewFolderDialog dialog;
    if (!Prompter::Current().RunDialog(dialog) || dialog.folderName.isEmpty())
        return;
    ReadBackPaths();
    // A folder that cannot be made simply does not appear in the refilled pane.
    QDir().mkdir(JoinPath(localPath, dialog.folderName));
    ListLocalFolder(localPath);
    ShowPaths();
}

void MainWindow::NewRemoteFolder()
{
    NewFolderDialog dialog;
    if (!Prompter::Current().RunDialog(dialog) || dialog.folderName.isEmpty())
        return;
    ReadBackPaths();
    if (!session.MakeDir(dialog.folderName)) {
        WriteLog(FilesText::MakeDirFailed);
        return;
    }
    ListRemoteFolder(remotePath);
    ShowPaths();
}

void MainWindow::DeleteLocalEntries()
{
    ReadBackPaths();
    const QList<int> rows = SelectedRows(*localList);
    if (rows.isEmpty() ||
        !Prompter::Current().AskYesNo(FilesText::LocalDeleteQuestion.arg(rows.size())))
        return;

    for (int row : rows) {
        const QListWidgetItem* item = localList->item(row);
        const QString text = item->text();
        const PaneEntryKind kind = KindOf(item);
        if (kind == PaneEntryKind::Parent)
            continue;
        if (kind == PaneEntryKind::Folder) {
            // Only an empty folder goes; nothing inside is removed first.
            QDir().rmdir(JoinPath(localPath, FolderNameOf(text)));
            continue;
        }
        const QString path = JoinPath(localPath, text);
        if (QFile::remove(path))
            WriteLog(FilesText::LocalDeleted.arg(path));
    }
    ListLocalFolder(localPath);
    WriteLog(FilesText::DeleteCompleted);
    ShowPaths();
}

void MainWindow::DeleteRemoteEntries()
{
    ReadBackPaths();
    const QList<int> rows = SelectedRows(*remoteList);
    if (rows.isEmpty() ||
        !Prompter::Current().AskYesNo(FilesText::RemoteDeleteQuestion.arg(rows.size())))
        return;

    for (int row : rows) {
        const QListWidgetItem* item = remoteList->item(row);
        const QString text = item->text();
        const PaneEntryKind kind = KindOf(item);
        if (kind == PaneEntryKind::Parent)
            continue;
        if (kind == PaneEntryKind::Folder) {
            const QString name = FolderNameOf(text);
            WriteLog(session.RemoveDir(name) ? FilesText::RemoteDeleted.arg(name)
                                             : FilesText::RemoveDirFailed);
        } else {
            const QString path = JoinPath(remotePath, text);
            WriteLog(session.DeleteRemoteFile(path) ? FilesText::RemoteDeleted.arg(path)
                                                    : FilesText::DeleteFailed);
        }
    }
    ListRemoteFolder(remotePath);
    WriteLog(FilesText::DeleteCompleted);
    ShowPaths();
}

void MainWindow::ChangeAttributes()
{
    // The path edits are not read: the listing the boxes come from belongs to remotePath.
    const QString text = CaretText(*remoteList);
    const PaneEntryKind kind = CaretKind(*remoteList);
    if (text.isEmpty() || kind == PaneEntryKind::Parent)
        return;
    const int index = FindEntry(remoteEntries, text, kind == PaneEntryKind::Folder);
    if (index < 0) {
        WriteLog(FilesText::EntryNotListed);
        return;
    }

    AttributeDialog dialog;
    dialog.LoadFromEntry(remoteEntries, index);
    if (!Prompter::Current().RunDialog(dialog))
        return;
    const QString name = remoteEntries[index].name;
    if (!session.ChangeFileAttrib(remoteEntries[index].isDirectory ? FolderNameOf(name) : name,
                                  dialog.GetModeText())) {
        WriteLog(FilesText::ChangeAttribFailed);
        return;
    }
    WriteLog(session.GetReplyText());
    ListRemoteFolder(remotePath);
}

void MainWindow::RenameRemoteEntry()
{
    const QString text = CaretText(*remoteList);
    if (text.isEmpty() || CaretKind(*remoteList) != PaneEntryKind::File)
        return;
    const int index = FindEntry(remoteEntries, text);
    if (index < 0)
        return;

    const QString oldName = remoteEntries[index].name;
    RenameDialog dialog;
    dialog.newName = oldName;
    if (!Prompter::Current().RunDialog(dialog) || dialog.newName.isEmpty())
        return;
    ReadBackPaths();
    if (!session.RenameFile(oldName, dialog.newName)) {
        WriteLog(FilesText::RenameFailed);
        return;
    }
    ListRemoteFolder(remotePath);
    ShowPaths();
}
