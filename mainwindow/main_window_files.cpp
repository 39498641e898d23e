// Opening, creating, deleting and renaming entries, and remote permissions.
#include "engine/local_name.h"
#include "mainwindow/attribute_dialog.h"
#include "mainwindow/listing.h"
#include "transfer/local_tree.h"
#include "mainwindow/main_window.h"
#include "transfer/outcome.h"
#include "mainwindow/pane_view.h"
#include "transfer/remote_delete_batch.h"
#include "transfer/remote_tree.h"
#include "transfer/strings.h"
#include "mainwindow/small_dialogs.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"

#include <QDir>
#include <QLineEdit>
#include <QTreeView>

#include <cerrno>
#include <unistd.h>

namespace {

// What is left of a path cut at its last "/": "/a/b" gives "/a", "/a" gives "".
QString ParentOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash < 0 ? QString() : path.left(slash);
}

const QString RootPath = QStringLiteral("/");

}  // namespace

namespace {

// A typed local folder as a clean absolute path; relative to the shown folder when it does not
// start at the root. Empty for an empty text.
QString TypedLocalFolder(const QString& typed, const QString& shown)
{
    if (typed.isEmpty())
        return {};
    return QDir::cleanPath(typed.startsWith(u'/') ? typed : JoinPath(shown, typed));
}

// A typed remote folder without a trailing "/" (the root stays "/").
QString TypedRemoteFolder(QString typed)
{
    while (typed.size() > 1 && typed.endsWith(u'/'))
        typed.chop(1);
    return typed;
}

}  // namespace

std::vector<PaneRow> MainWindow::SelectedLocalRows() const
{
    return localList->SelectedRows();
}

std::vector<PaneRow> MainWindow::SelectedRemoteRows() const
{
    return remoteList->SelectedRows();
}

std::optional<PaneRow> MainWindow::CaretRow(const PaneView& pane)
{
    const int row = pane.CurrentRow();
    if (row < 0)
        return std::nullopt;
    return pane.Model().RowAt(row);
}

PaneView* MainWindow::PaneWithFocus() const
{
    const QWidget* focus = focusWidget();
    if (!focus)
        return nullptr;
    if (localList->isAncestorOf(focus))
        return localList;
    if (remoteList->isAncestorOf(focus))
        return remoteList;
    return nullptr;
}

bool MainWindow::OpensTypedFolder()
{
    bool opened = false;
    const QString local = TypedLocalFolder(localPathEdit->text(), localPath);
    if (!local.isEmpty() && local != localPath) {
        OpenTypedLocalFolder();
        opened = true;
    }
    const QString remote = TypedRemoteFolder(remotePathEdit->text());
    if (!worker.IsRunning() && worker.State().connected && !remote.isEmpty() && remote != remotePath) {
        OpenTypedRemoteFolder();
        opened = true;
    }
    ShowPaths();  // an edit that only differed in its form shows the folder as listed
    return opened;
}

void MainWindow::OpenTypedLocalFolder()
{
    const QString folder = TypedLocalFolder(localPathEdit->text(), localPath);
    if (!folder.isEmpty()) {
        localPath = folder;
        if (!ListLocalFolder(localPath))
            WriteLog(TransferText::FolderNotRead.arg(localPath));
    }
    ShowPaths();
}

bool MainWindow::RemoteFolderKnown()
{
    if (!remotePath.isEmpty())
        return true;
    WriteLog(FilesText::RemoteFolderUnknown);
    return false;
}

namespace {

// The folder the server went to: as PWD says, else as typed when that names it whole; a relative
// one without PWD's word stays unknown (joined onto nothing it would name the root's).
QString FolderAfterChange(const QString& reported, const QString& typed)
{
    return !reported.isEmpty() ? reported : typed.startsWith(u'/') ? typed : QString();
}

}  // namespace

void MainWindow::OpenTypedRemoteFolder()
{
    const ServerTask task(*this);
    const QString folder = TypedRemoteFolder(remotePathEdit->text());
    if (!task || !worker.State().connected || folder.isEmpty() || folder == remotePath) {
        ShowPaths();
        return;
    }
    const auto wait = ShowWaitText(FilesText::ListingWait);
    bool changed = false;
    QString reported, failure;
    if (!RunServerWork([&](TransferSession& session) {
            changed = session.ChangeDir(folder);
            if (changed)
                reported = session.GetRemoteDir();
            else
                failure = FailureReason(session);
        })) {
        // Where the server is now is not known: the pane is listed again where it says it is.
        if (changed)
            remotePath = FolderAfterChange(reported, folder);
        ShowPaths();
        return;
    }
    if (!changed) {
        // The server stays where it was, and so do the pane and its path.
        WriteLog(FilesText::FolderNotOpened.arg(folder, failure));
        ShowPaths();
        return;
    }
    remotePath = FolderAfterChange(reported, folder);
    ListRemoteFolder(remotePath);
    ShowPaths();
}

void MainWindow::OpenLocalEntry()
{
    if (OpensTypedFolder())
        return;
    const std::optional<PaneRow> caret = CaretRow(*localList);
    const PaneRowKind kind = caret ? caret->kind : PaneRowKind::File;
    if (kind == PaneRowKind::Parent) {
        localPath = ParentOf(localPath);
        if (localPath.isEmpty())
            localPath = RootPath;
    } else if (kind == PaneRowKind::Folder) {
        localPath = JoinPath(localPath, caret->entry.name);
    } else {
        return;
    }
    // A folder that cannot be read is entered all the same and shows ".." alone.
    ListLocalFolder(localPath);
    ShowPaths();
}

void MainWindow::OpenRemoteEntry()
{
    if (OpensTypedFolder())
        return;
    const ServerTask task(*this);
    if (!task)
        return;
    const std::optional<PaneRow> caret = CaretRow(*remoteList);
    const PaneRowKind kind = caret ? caret->kind : PaneRowKind::File;
    const QString text = caret ? caret->entry.name : QString();
    const auto wait = ShowWaitText(FilesText::ListingWait);
    // A cancelled step leaves the pane as it was; a cancelled listing empties it (see
    // ListRemoteFolder).
    if (kind == PaneRowKind::Parent) {
        if (!remotePath.isEmpty() && ParentOf(remotePath).isEmpty()) {
            if (!RunServerWork([&](TransferSession& session) { session.ChangeDir(RootPath); }))
                return;
            remotePath = RootPath;
        } else {
            QString reported;
            if (!RunServerWork([&](TransferSession& session) {
                    session.ChangeDir(MainText::ParentEntry);
                    reported = session.GetRemoteDir();
                }))
                return;
            remotePath = reported;
        }
    } else if (kind == PaneRowKind::Folder) {
        // A refused CWD leaves the server where it was, so the path stays too: otherwise the
        // pane would show the old folder under the new name and downloads would ask for files
        // that are not there.
        const QString name = text;
        bool changed = false;
        if (!RunServerWork([&](TransferSession& session) { changed = session.ChangeDir(name); }))
            return;
        if (changed && !remotePath.isEmpty())
            remotePath = JoinPath(remotePath, name);
    } else if (caret && caret->entry.kind == EntryKind::Link) {
        // A link opens like a folder when it leads to one; refused (550), it stays a file for
        // transfers. Servers differ in the path they report after it (the target or the link),
        // and ".." goes up from that one.
        bool changed = false;
        QString reported;
        const bool done = RunServerWork([&](TransferSession& session) {
            changed = session.ChangeDir(text);
            if (changed)
                reported = session.GetRemoteDir();
        });
        if (!changed) {
            if (done)
                WriteLog(worker.State().replyText);
            return;
        }
        // An unknown path stays unknown: "/" + the link's name is not where the server is.
        remotePath = !reported.isEmpty() || remotePath.isEmpty() ? reported : JoinPath(remotePath, text);
        // Cancelled during PWD: the server is in the link's folder all the same, and the pane
        // follows it without a listing.
        if (!done)
            return ShowPaths();
    } else {
        return;
    }
    ListRemoteFolder(remotePath);
    ShowPaths();
}

void MainWindow::OpenCaretEntry()
{
    // Only folders, remote links and the parent open; a file is neither opened nor transferred.
    // The list itself has the keyboard: Enter in a pane's filter field opens nothing.
    const PaneView* list = PaneWithFocus();
    if (!list || focusWidget() != &list->Tree())
        return;
    const std::optional<PaneRow> caret = CaretRow(*list);
    if ((!caret || caret->kind == PaneRowKind::File) &&
        !(list == remoteList && caret && caret->entry.kind == EntryKind::Link))
        return;
    if (list == localList)
        OpenLocalEntry();
    else
        OpenRemoteEntry();
}

void MainWindow::NewLocalFolder()
{
    if (OpensTypedFolder())
        return;
    NewFolderDialog dialog;
    if (!Prompter::Current().RunDialog(dialog) || dialog.folderName.isEmpty())
        return;
    // A folder that cannot be made simply does not appear in the refilled pane.
    MakeLocalFolder(JoinPath(localPath, dialog.folderName));
    ListLocalFolder(localPath);
    ShowPaths();
}

void MainWindow::NewRemoteFolder()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder())
        return;
    NewFolderDialog dialog;
    if (!Prompter::Current().RunDialog(dialog) || dialog.folderName.isEmpty())
        return;
    bool made = false;
    if (!RunServerWork([&](TransferSession& session) { made = session.MakeDir(dialog.folderName); }))
        return;
    if (!made) {
        WriteLog(FilesText::MakeDirFailed);
        return;
    }
    ListRemoteFolder(remotePath);
    ShowPaths();
}

void MainWindow::DeleteLocalEntries()
{
    if (OpensTypedFolder())
        return;
    const std::vector<PaneRow> selected = SelectedLocalRows();
    if (selected.empty() ||
        !Prompter::Current().AskYesNo(FilesText::LocalDeleteQuestion.arg(qsizetype(selected.size()))))
        return;

    BatchTally tally;
    for (const PaneRow& item : selected) {
        const PaneRowKind kind = item.kind;
        if (kind == PaneRowKind::Parent)
            continue;
        if (kind == PaneRowKind::Folder) {
            const QString name = item.entry.name;
            const QString path = JoinPath(localPath, name);
            bool removed = ::rmdir(LocalPathBytes(path).constData()) == 0;
            if (!removed && (errno == ENOTEMPTY || errno == EEXIST)) {
                // A folder with contents goes whole only when the user agrees for this folder,
                // told how much is inside; "いいえ" keeps it and is no failure.
                const LocalTreeListing inside = ListLocalTree(path);
                if (!Prompter::Current().AskYesNo(
                        FilesText::FolderTreeDeleteQuestion.arg(name, QString::number(inside.Items()))))
                    continue;
                QString failure;
                removed = RemoveLocalTree(path, failure);
                tally.Count(removed, failure);
                continue;
            }
            tally.Count(removed, removed ? QString() : LocalFailureReason(path));
            continue;
        }
        const QString path = JoinPath(localPath, item.entry.name);
        const bool removed = ::unlink(LocalPathBytes(path).constData()) == 0;
        tally.Count(removed, removed ? QString() : LocalFailureReason(path));
        if (removed)
            WriteLog(FilesText::LocalDeleted.arg(path));
    }
    ListLocalFolder(localPath);
    WriteLog(tally.Summary(TransferText::DeleteCompleted));
    ShowPaths();
}

void MainWindow::DeleteRemoteEntries()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    const std::vector<PaneRow> selected = SelectedRemoteRows();
    if (selected.empty() ||
        !Prompter::Current().AskYesNo(FilesText::RemoteDeleteQuestion.arg(qsizetype(selected.size()))))
        return;

    QList<BatchItem> items;
    for (const PaneRow& item : selected)
        if (item.kind != PaneRowKind::Parent)
            items.append({item.entry.name, item.kind == PaneRowKind::Folder});
    // Empty folders go by RMD alone; the others are walked: one with contents goes whole only
    // when the user agrees for this folder, told how much is inside; "いいえ" keeps it and is no
    // failure. A cancelled batch stops before the next entry; the pane keeps its listing.
    RemoteDeleteBatch batch(remotePath, items, remoteEntries, walkEntryLimit);
    if (!RunServerWork([&](TransferSession& session) { batch.Plan(session); }))
        return ShowPaths();
    for (const RemoteDeleteBatch::TreeQuestion& tree : batch.Questions())
        batch.Agree(tree.tree, Prompter::Current().AskYesNo(
                                   FilesText::FolderTreeDeleteQuestion.arg(tree.name, QString::number(tree.items))));
    const BatchCallbacks reports = BatchReports();
    if (!RunServerWork([&](TransferSession& session) { batch.Run(session, reports); }))
        return ShowPaths();
    ListRemoteFolder(remotePath);
    WriteOutcome(batch.Tally().Summary(TransferText::DeleteCompleted));
    ShowPaths();
}

void MainWindow::ChangeAttributes()
{
    // The listing the boxes come from belongs to the folder shown.
    const ServerTask task(*this);
    if (!task || OpensTypedFolder())
        return;
    const std::optional<PaneRow> caret = CaretRow(*remoteList);
    if (!caret || caret->kind == PaneRowKind::Parent)
        return;
    const int index = FindEntry(remoteEntries, caret->entry.name, caret->kind == PaneRowKind::Folder);
    if (index < 0) {
        WriteLog(FilesText::EntryNotListed);
        return;
    }

    AttributeDialog dialog;
    dialog.LoadFromEntry(remoteEntries, index);
    if (!Prompter::Current().RunDialog(dialog))
        return;
    const QString name = remoteEntries[index].name;
    if (!dialog.HasModeToSend()) {
        WriteLog(FilesText::AttributesNotChanged);
        return;
    }
    const QString mode = dialog.GetModeText();
    bool changed = false;
    if (!RunServerWork([&](TransferSession& session) { changed = session.ChangeFileAttrib(name, mode); }))
        return;
    if (!changed) {
        WriteLog(FilesText::ChangeAttribFailed);
        return;
    }
    WriteLog(worker.State().replyText);
    ListRemoteFolder(remotePath);
}

void MainWindow::RenameRemoteEntry()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder())
        return;
    const std::optional<PaneRow> caret = CaretRow(*remoteList);
    if (!caret || caret->kind != PaneRowKind::File)
        return;
    const int index = FindEntry(remoteEntries, caret->entry.name);
    if (index < 0)
        return;

    const QString oldName = remoteEntries[index].name;
    RenameDialog dialog;
    dialog.newName = oldName;
    if (!Prompter::Current().RunDialog(dialog) || dialog.newName.isEmpty())
        return;
    const QString newName = dialog.newName;
    bool renamed = false;
    if (!RunServerWork([&](TransferSession& session) { renamed = session.RenameFile(oldName, newName); }))
        return;
    if (!renamed) {
        WriteLog(FilesText::RenameFailed);
        return;
    }
    ListRemoteFolder(remotePath);
    ShowPaths();
}
