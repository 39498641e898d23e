// The panes' context menus and the desktop keys. Both only pick the pane and call the handlers
// the buttons call; they decide nothing of their own about files.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_view.h"
#include "mainwindow/strings.h"
#include "mainwindow/window_chrome.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QTreeView>
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

// The selected rows other than "..": what a delete or a transfer would act on.
int ActionableRows(const PaneView& pane)
{
    int rows = 0;
    for (const PaneRow& row : pane.SelectedRows())
        if (row.kind != PaneRowKind::Parent)
            ++rows;
    return rows;
}

// The path a row stands for in the folder: the folder itself for ".." and for no row.
QString RowPath(const QString& folder, const PaneView& pane, int row)
{
    if (row < 0 || row >= pane.RowCount())
        return folder;
    const PaneRow& shown = pane.Model().RowAt(row);
    return shown.kind == PaneRowKind::Parent ? folder : JoinPath(folder, shown.entry.name);
}

}  // namespace

PaneView* MainWindow::FocusedPane() const
{
    const QWidget* focus = focusWidget();
    if (focus == localPathEdit)
        return localList;
    if (focus == remotePathEdit)
        return remoteList;
    if (PaneView* pane = PaneWithFocus())
        return pane;
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

void MainWindow::OpenParentOf(PaneView* pane)
{
    if (pane == remoteList && !connectedShown)
        return;
    // ".." is the pane's own way up, opened as a person would open it; at the root there is none.
    // The model keeps it first in any order and through any filter.
    if (pane->RowCount() == 0 || pane->Model().RowAt(0).kind != PaneRowKind::Parent)
        return;
    pane->Tree().selectionModel()->setCurrentIndex(pane->Model().index(0, 0),
                                                   QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    if (pane == localList)
        OpenLocalEntry();
    else
        OpenRemoteEntry();
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
    if (focus == &localList->Tree())
        remoteList->setFocus(Qt::TabFocusReason);
    else if (focus == &remoteList->Tree())
        localList->setFocus(Qt::TabFocusReason);
    else
        focusNextChild();
}

void MainWindow::ShowPaneMenu(PaneView* pane, const QPoint& place)
{
    QMenu menu(this);
    menu.setAccessibleName(pane == localList ? ChromeText::LocalMenuName : ChromeText::RemoteMenuName);
    FillPaneMenu(menu, pane, place);
    if (menu.isEmpty())
        return;
    // Run after the menu has gone, so that a handler's dialogs and boxes do not nest in its loop.
    const QAction* chosen = menu.exec(pane->Tree().viewport()->mapToGlobal(place));
    if (!chosen)
        return;
    const QVariantList data = chosen->data().toList();
    RunPaneMenuEntry(pane, data.value(0).toInt(), data.value(1).toInt());
}

void MainWindow::FillPaneMenu(QMenu& menu, PaneView* pane, const QPoint& place)
{
    const bool remote = pane == remoteList;
    QTreeView& tree = pane->Tree();
    const QModelIndex index = tree.indexAt(place);
    if (index.isValid()) {
        // The rows under the menu: the selection it was opened on, else the row alone.
        if (!tree.selectionModel()->isRowSelected(index.row()))
            tree.selectionModel()->select(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        tree.selectionModel()->setCurrentIndex(index, QItemSelectionModel::NoUpdate);
    }
    const int row = index.isValid() ? index.row() : -1;
    const std::optional<PaneRow> shown = index.isValid() ? std::optional(pane->Model().RowAt(row)) : std::nullopt;
    const PaneRowKind kind = shown ? shown->kind : PaneRowKind::Parent;
    const bool entry = shown && kind != PaneRowKind::Parent;
    const bool usable = !remote || (connectedShown && !remotePath.isEmpty());
    const bool rows = index.isValid() && ActionableRows(*pane) > 0;
    const auto add = [&](const QString& text, PaneMenuEntry what, bool applies) {
        if (!applies)
            return;
        QAction* action = menu.addAction(text);
        action->setData(QVariantList{int(what), row});
    };
    const bool opens = shown && (kind != PaneRowKind::File || (remote && shown->entry.kind == EntryKind::Link));
    add(ChromeText::MenuOpen, OpenEntry, usable && opens);
    add(remote ? ChromeText::MenuDownload : ChromeText::MenuUpload, TransferEntry, connectedShown && rows);
    menu.addSeparator();
    add(ChromeText::MenuNewFolder, NewFolderEntry, usable);
    add(ChromeText::MenuDelete, DeleteEntry, usable && rows);
    // The remote rename renames files only.
    add(ChromeText::MenuRename, RenameEntry, usable && entry && (!remote || kind == PaneRowKind::File));
    add(ChromeText::MenuAttributes, AttributesEntry, remote && usable && entry);
    menu.addSeparator();
    add(ChromeText::MenuRefresh, RefreshEntry, usable);
    add(ChromeText::MenuCopyPath, CopyPathEntry, usable);
}

void MainWindow::RunPaneMenuEntry(PaneView* pane, int entry, int row)
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
        const QString path = RowPath(remote ? remotePath : localPath, *pane, row);
        QApplication::clipboard()->setText(
            remote ? RemotePathUrl(remoteLogin.host, remoteLogin.port, remoteLogin.userName, path) : path);
        return;
    }
    }
}
