// What the window benchmarks share: the window shown on two folders, a prompter that says yes
// to the batch question, selecting a row by its text, lftp runs and medians.
#pragma once

#include "mainwindow/main_window.h"
#include "mainwindow/pane_view.h"
#include "platform/prompter.h"

#include <QDir>
#include <QFile>
#include <QItemSelectionModel>
#include <QProcess>
#include <QTreeView>

#include <algorithm>
#include <cstdio>

struct MainWindowTestAccess {
    // The window's session, settled and with its queued set-up done, used on this thread.
    static TransferSession& Session(MainWindow& window)
    {
        window.WaitForSettling();
        window.worker.State();
        return window.worker.session;
    }
    // Both panes on the given folders; the server goes to remote first where changeRemote says.
    static void Show(MainWindow& window, const QString& local, const QString& remote, bool changeRemote = true)
    {
        window.localPath = local;
        window.remotePath = remote;
        if (changeRemote)
            Session(window).ChangeDir(remote);
        window.ListLocalFolder(local);
        window.ListRemoteFolder(remote);
        window.ShowPaths();
    }
    // The login a batch's extra connections repeat, as the window's connect keeps it.
    static void SetLogin(MainWindow& window, const QString& host, quint16 port, const QString& user,
                         const QString& password)
    {
        window.batchLogin = {};
        window.batchLogin.host = host;
        window.batchLogin.port = port;
        window.batchLogin.user = user;
        window.batchLogin.password = password;
    }
};

namespace bench {

// Says yes to the batch question; nothing else is asked.
class YesPrompter : public Prompter {
public:
    void ShowMessage(const QString&) override {}
    bool AskYesNo(const QString&) override { return true; }
    bool RunDialog(QDialog&) override { return false; }
};

// Selects the one row that shows the text ("<name>" for a folder).
inline bool Select(PaneView& pane, const QString& text)
{
    pane.Tree().clearSelection();
    for (int row = 0; row < pane.RowCount(); ++row) {
        const QModelIndex index = pane.Model().index(row, 0);
        if (index.data(Qt::DisplayRole).toString() == text) {
            pane.Tree().selectionModel()->select(index, QItemSelectionModel::Select | QItemSelectionModel::Rows);
            return true;
        }
    }
    return false;
}

// A folder the server's own user may write into.
inline bool MakeOpenFolder(const QString& path)
{
    return QDir().mkpath(path) && QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
}

// Runs one lftp command line against the server (passive, no TLS); true when lftp succeeded.
inline bool RunLftp(const QString& host, quint16 port, const QString& user, const QString& password,
                    const QString& command)
{
    QProcess process;
    process.start(QStringLiteral("lftp"),
                  {QStringLiteral("-u"), user + u',' + password, QStringLiteral("-p"), QString::number(port),
                   QStringLiteral("-e"),
                   QStringLiteral("set ftp:ssl-allow no; set ftp:passive-mode on; %1; quit").arg(command), host});
    process.waitForFinished(-1);
    if (process.exitCode() != 0)
        std::fprintf(stderr, "%s", process.readAllStandardError().constData());
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

template <typename List>
double Median(List times)
{
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

}  // namespace bench
