// The panes' context menus and the desktop keys. Both only pick the pane and call the handlers
// the buttons call; they decide nothing of their own about files.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/strings.h"
#include "mainwindow/window_chrome.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>

namespace {

// What a context menu entry does; kept on the action so that the choice can be run after the
// menu has gone.
enum PaneMenuEntry {
    OpenEntry,
    TransferEntry,
    NewFolderEntry,
    DeleteEntry,
    RenameEntry,
    AttributesEntry,
    RefreshEntry,
    CopyPathEntry,
};

PaneEntryKind KindAt(const QModelIndex& index)
{
    return PaneEntryKind(index.data(PaneKindRole).toInt());
}

// The selected rows other than "..": what a delete or a transfer would act on.
int ActionableRows(const QAbstractItemView& pane)
{
    int rows = 0;
    for (const QModelIndex& index : pane.selectionModel()->selectedIndexes())
        if (index.column() == 0 && KindAt(index) != PaneEntryKind::Parent)
            ++rows;
    return rows;
}

// The path a row stands for in the folder: the folder itself for ".." and for no row.
QString RowPath(const QString& folder, const QModelIndex& index)
{
    if (!index.isValid())
        return folder;
    const QString text = index.data(Qt::DisplayRole).toString();
    switch (KindAt(index)) {
    case PaneEntryKind::Parent: return folder;
    case PaneEntryKind::Folder: return JoinPath(folder, FolderNameOf(text));
    case PaneEntryKind::File: break;
    }
    return JoinPath(folder, text);
}

}  // namespace

QAbstractItemView* MainWindow::FocusedPane() const
{
    const QWidget* focus = focusWidget();
    if (focus == localList || focus == localPathEdit)
        return localList;
    if (focus == remoteList || focus == remotePathEdit)
        return remoteList;
    return lastFocusedPane;
}

void MainWindow::FocusLocalList()
{
    localList->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::FocusRemoteList()
{
    remoteList->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // Pressed by habit to dismiss things; the window ends only through its close request.
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            event->accept();
            OpenCaretEntry();
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::RefreshPanes()
{
    ListLocalFolder(localPath);
    ShowPaths();
    if (connectedShown)
        RefreshRemotePane();
}

void MainWindow::RefreshRemotePane()
{
    const ServerTask task(*this);
    if (!task || !connectedShown || !RemoteFolderKnown())
        return;
    const auto wait = ShowWaitText(FilesText::ListingWait);
    ListRemoteFolder(remotePath);
    ShowPaths();
}

void MainWindow::DeleteFocusedEntries()
{
    if (FocusedPane() == localList)
        DeleteLocalEntries();
    else if (connectedShown)
        DeleteRemoteEntries();
}

void MainWindow::RenameFocusedEntry()
{
    if (FocusedPane() == localList)
        RenameLocalEntry();
    else if (connectedShown)
        RenameRemoteEntry();
}

void MainWindow::NewFolderInFocusedPane()
{
    if (FocusedPane() == localList)
        NewLocalFolder();
    else if (connectedShown)
        NewRemoteFolder();
}

void MainWindow::OpenFocusedParent()
{
    OpenParentOf(FocusedPane());
}

void MainWindow::OpenParentOf(QAbstractItemView* pane)
{
    if (pane == remoteList && !connectedShown)
        return;
    // ".." is the pane's own way up, opened as a person would open it; at the root there is none.
    const QAbstractItemModel* model = pane->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        const QModelIndex index = model->index(row, 0);
        if (KindAt(index) != PaneEntryKind::Parent)
            continue;
        pane->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect);
        if (pane == localList)
            OpenLocalEntry();
        else
            OpenRemoteEntry();
        return;
    }
}

void MainWindow::FocusPathEdit()
{
    QLineEdit* edit = FocusedPane() == remoteList ? remotePathEdit : localPathEdit;
    edit->setFocus(Qt::ShortcutFocusReason);
    edit->selectAll();
}

void MainWindow::FocusOtherPane()
{
    const QWidget* focus = focusWidget();
    if (focus == localList)
        remoteList->setFocus(Qt::TabFocusReason);
    else if (focus == remoteList)
        localList->setFocus(Qt::TabFocusReason);
    else
        focusNextChild();
}

void MainWindow::ShowPaneMenu(QAbstractItemView* pane, const QPoint& place)
{
    QMenu menu(this);
    menu.setAccessibleName(pane == localList ? ChromeText::LocalMenuName : ChromeText::RemoteMenuName);
    FillPaneMenu(menu, pane, place);
    if (menu.isEmpty())
        return;
    // Run after the menu has gone, so that a handler's dialogs and boxes do not nest in its loop.
    const QAction* chosen = menu.exec(pane->viewport()->mapToGlobal(place));
    if (!chosen)
        return;
    const QVariantList data = chosen->data().toList();
    RunPaneMenuEntry(pane, data.value(0).toInt(), data.value(1).toInt());
}

void MainWindow::FillPaneMenu(QMenu& menu, QAbstractItemView* pane, const QPoint& place)
{
    const bool remote = pane == remoteList;
    const QModelIndex index = pane->indexAt(place);
    if (index.isValid()) {
        // The rows under the menu: the selection it was opened on, else the row alone.
        if (!pane->selectionModel()->isSelected(index))
            pane->selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
        pane->selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    const int row = index.isValid() ? index.row() : -1;
    const PaneEntryKind kind = index.isValid() ? KindAt(index) : PaneEntryKind::Parent;
    const bool entry = index.isValid() && kind != PaneEntryKind::Parent;
    const bool usable = !remote || (connectedShown && !remotePath.isEmpty());
    const bool rows = index.isValid() && ActionableRows(*pane) > 0;
    const auto add = [&](const QString& text, PaneMenuEntry what, bool applies) {
        if (!applies)
            return;
        QAction* action = menu.addAction(text);
        action->setData(QVariantList{int(what), row});
    };
    const bool opens = index.isValid() &&
        (kind != PaneEntryKind::File ||
         (remote && IsLinkEntry(remoteEntries, index.data(Qt::DisplayRole).toString())));
    add(ChromeText::MenuOpen, OpenEntry, usable && opens);
    add(remote ? ChromeText::MenuDownload : ChromeText::MenuUpload, TransferEntry, connectedShown && rows);
    menu.addSeparator();
    add(ChromeText::MenuNewFolder, NewFolderEntry, usable);
    add(ChromeText::MenuDelete, DeleteEntry, usable && rows);
    // The remote rename renames files only.
    add(ChromeText::MenuRename, RenameEntry, usable && entry && (!remote || kind == PaneEntryKind::File));
    add(ChromeText::MenuAttributes, AttributesEntry, remote && usable && entry);
    menu.addSeparator();
    add(ChromeText::MenuRefresh, RefreshEntry, usable);
    add(ChromeText::MenuCopyPath, CopyPathEntry, usable);
}

void MainWindow::RunPaneMenuEntry(QAbstractItemView* pane, int entry, int row)
{
    const bool remote = pane == remoteList;
    switch (PaneMenuEntry(entry)) {
    case OpenEntry: remote ? OpenRemoteEntry() : OpenLocalEntry(); return;
    case TransferEntry: remote ? DownloadSelection() : UploadSelection(); return;
    case NewFolderEntry: remote ? NewRemoteFolder() : NewLocalFolder(); return;
    case DeleteEntry: remote ? DeleteRemoteEntries() : DeleteLocalEntries(); return;
    case RenameEntry: remote ? RenameRemoteEntry() : RenameLocalEntry(); return;
    case AttributesEntry: ChangeAttributes(); return;
    case RefreshEntry:
        if (remote)
            return RefreshRemotePane();
        ListLocalFolder(localPath);
        ShowPaths();
        return;
    case CopyPathEntry: {
        const QModelIndex index = row >= 0 ? pane->model()->index(row, 0) : QModelIndex();
        const QString path = RowPath(remote ? remotePath : localPath, index);
        QApplication::clipboard()->setText(
            remote ? RemotePathUrl(remoteLogin.host, remoteLogin.port, remoteLogin.userName, path) : path);
        return;
    }
    }
}
