#pragma once

#include "mainwindow/main_window.h"

#include <QListWidget>
#include <QString>
#include <QStringList>

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
    // Lowers the caps on a listing's entries and on a folder walk, so that tests need no
    // million entries.
    static void SetListingLimits(MainWindow& window, qsizetype entries, qint64 walkEntries)
    {
        window.listingEntryLimit = entries;
        window.walkEntryLimit = walkEntries;
    }
    static void SetConnectedState(MainWindow& window, bool connected) { window.SetConnectedState(connected); }
    static void ShowModePressed(MainWindow& window, TransferModeButton mode) { window.ShowModePressed(mode); }
};

// The texts of a pane, top to bottom.
inline QStringList PaneTexts(const QListWidget& list)
{
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row)->text();
    return texts;
}
