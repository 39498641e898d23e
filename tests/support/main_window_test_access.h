#pragma once

#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_view.h"

#include <QAction>
#include <QItemSelectionModel>
#include <QTreeView>
#include <QMenu>
#include <QString>
#include <QStringList>

#include <functional>

// Reaches the window's private helpers, as a handler would. The one definition every test
// program uses (MainWindow befriends this type).
struct MainWindowTestAccess {
    // Makes the folder current on the local side and fills the pane, as a handler leaves it.
    static void ShowLocal(MainWindow& window, const QString& folder)
    {
        window.localPath = folder;
        window.ListLocalFolder(folder);
        window.ShowPaths();
    }
    // The server's folder as a connect would have taken it, without listing it.
    static void SetRemotePath(MainWindow& window, const QString& folder) { window.remotePath = folder; }
    static void ShowRemote(MainWindow& window, const QString& folder)
    {
        window.remotePath = folder;
        window.ListRemoteFolder(folder);
        window.ShowPaths();
    }
    static void WriteLog(MainWindow& window, const QString& text) { window.WriteLog(text); }
    // The window's session, once what a cancel left owing has been settled and the set-up queued
    // for it has been done (reading the state waits for that): the test may use it at once, on
    // the window's thread, as no code of the window may.
    static TransferSession& Session(MainWindow& window)
    {
        window.WaitForSettling();
        if (!window.worker.IsRunning())
            window.worker.State();
        return window.worker.session;
    }
    // Puts an entry at the end of a pane and of its entry list by hand, as a listing would have
    // shown it (a listing of the server's that is out of date, a local folder gone since).
    static void AddLocalEntry(MainWindow& window, const QString& name, EntryKind kind = EntryKind::File)
    {
        ListingEntry entry;
        entry.name = name;
        entry.kind = kind;
        AppendRow(*window.localList, entry);
    }
    static void AddRemoteEntry(MainWindow& window, const QString& name, EntryKind kind = EntryKind::File)
    {
        ListingEntry entry;
        entry.name = name;
        entry.kind = kind;
        window.remoteEntries.append(entry);
        AppendRow(*window.remoteList, entry);
    }
    // Lowers the caps on a listing's entries and on a folder walk, so that tests need no
    // million entries.
    static void SetListingLimits(MainWindow& window, qsizetype entries, qint64 walkEntries)
    {
        window.listingEntryLimit = entries;
        window.walkEntryLimit = walkEntries;
    }
    static void SetConnectedState(MainWindow& window, bool connected) { window.SetConnectedState(connected); }
    static void ShowModePressed(MainWindow& window, TransferModeButton mode) { window.ShowModePressed(mode); }
    // The transfer's box goes, as when the transfer ended outside any handler.
    static void EndTransferBox(MainWindow& window) { window.ShowTransferFigures(BatchProgress()); }
    static WaitDialog* ProgressBoxOf(MainWindow& window) { return window.progressBox.get(); }
    // Records the desktop notices instead of sending them.
    static void SetNoticeSender(MainWindow& window, std::function<void(const QString&, const QString&)> send)
    {
        window.sendNotice = std::move(send);
    }
    // The login a batch's extra connections repeat, as a connect leaves it.
    static void SetBatchLogin(MainWindow& window, const QString& host, quint16 port, const QString& user,
                              const QString& password)
    {
        window.batchLogin = {};
        window.batchLogin.host = host;
        window.batchLogin.port = port;
        window.batchLogin.user = user;
        window.batchLogin.password = password;
    }
    // Where the latest login went, as a connect leaves it.
    static void SetRemoteLogin(MainWindow& window, const QString& host, quint16 port, const QString& user)
    {
        window.remoteLogin = {host, port, user};
    }
    // The pane's context menu as a right-click on the row (-1: below the rows) would fill it,
    // and the work of one of its entries.
    static void FillPaneMenu(MainWindow& window, QMenu& menu, PaneView* pane, const QPoint& place)
    {
        window.FillPaneMenu(menu, pane, place);
    }
    static void RunPaneMenuEntry(MainWindow& window, PaneView* pane, const QAction& action)
    {
        const QVariantList data = action.data().toList();
        window.RunPaneMenuEntry(pane, data.value(0).toInt(), data.value(1).toInt());
    }

    // Puts a row into the pane by hand, the rows it shows kept (where it goes is the pane's
    // order); the caret goes back to the first row and nothing stays selected.
    static void AppendRow(PaneView& pane, const ListingEntry& entry)
    {
        std::vector<PaneRow> rows;
        for (int row = 0; row < pane.RowCount(); ++row)
            rows.push_back(pane.Model().RowAt(row));
        rows.push_back({entry, entry.kind == EntryKind::Folder ? PaneRowKind::Folder : PaneRowKind::File});
        pane.SetRows(std::move(rows), pane.Model().Folder());
    }
};

// A file row the pane shows without any listing behind it (an entry of no list).
inline void AppendRow(PaneView& pane, const QString& name)
{
    ListingEntry entry;
    entry.name = name;
    MainWindowTestAccess::AppendRow(pane, entry);
}

// The text the pane shows for the row in its name column.
inline QString RowText(const PaneView& pane, int row)
{
    return pane.Model().data(pane.Model().index(row, PaneModel::NameColumn)).toString();
}

// The texts of a pane's name column, top to bottom.
inline QStringList PaneTexts(const PaneView& pane)
{
    QStringList texts;
    for (int row = 0; row < pane.RowCount(); ++row)
        texts << RowText(pane, row);
    return texts;
}

// The first row showing the text (and of the kind, when one is given); -1 when none.
inline int FindRow(const PaneView& pane, const QString& text, std::optional<PaneRowKind> kind = std::nullopt)
{
    for (int row = 0; row < pane.RowCount(); ++row)
        if (RowText(pane, row) == text && (!kind || pane.Model().RowAt(row).kind == *kind))
            return row;
    return -1;
}

// The caret on the row, the selection left as it is.
inline void PutCaretOn(PaneView& pane, int row)
{
    pane.Tree().selectionModel()->setCurrentIndex(pane.Model().index(row, 0), QItemSelectionModel::NoUpdate);
}

// The row added to the selection.
inline void SelectRow(PaneView& pane, int row)
{
    pane.Tree().selectionModel()->select(pane.Model().index(row, 0),
                                         QItemSelectionModel::Select | QItemSelectionModel::Rows);
}
