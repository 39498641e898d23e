#pragma once

#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"

#include <QAction>
#include <QListWidget>
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
    // Puts an entry at the end of a pane and of its entry list by hand, as a listing would have
    // shown it (a listing of the server's that is out of date, a local folder gone since).
    static void AddLocalEntry(MainWindow& window, const QString& name, EntryKind kind = EntryKind::File)
    {
        AddEntry(*window.localList, window.localEntries, name, kind);
    }
    static void AddRemoteEntry(MainWindow& window, const QString& name, EntryKind kind = EntryKind::File)
    {
        AddEntry(*window.remoteList, window.remoteEntries, name, kind);
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
    static void FillPaneMenu(MainWindow& window, QMenu& menu, QAbstractItemView* pane, const QPoint& place)
    {
        window.FillPaneMenu(menu, pane, place);
    }
    static void RunPaneMenuEntry(MainWindow& window, QAbstractItemView* pane, const QAction& action)
    {
        const QVariantList data = action.data().toList();
        window.RunPaneMenuEntry(pane, data.value(0).toInt(), data.value(1).toInt());
    }

private:
    static void AddEntry(QListWidget& list, QVector<ListingEntry>& entries, const QString& name, EntryKind kind)
    {
        ListingEntry entry;
        entry.name = name;
        entry.kind = kind;
        const bool folder = kind == EntryKind::Folder;
        auto* item = new QListWidgetItem(folder ? FolderDisplayText(name) : name);
        item->setData(PaneKindRole, static_cast<int>(folder ? PaneEntryKind::Folder : PaneEntryKind::File));
        item->setData(PaneIndexRole, int(entries.size()));
        entries.append(entry);
        list.addItem(item);
    }
};

// The texts of a pane, top to bottom.
inline QStringList PaneTexts(const QListWidget& list)
{
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
}
