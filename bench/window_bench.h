// What the window benchmarks share: the window shown on two folders, a prompter that says yes
// to the batch question, and selecting a row by its text.
#pragma once

#include "mainwindow/main_window.h"
#include "platform/prompter.h"

#include <QDir>
#include <QFile>
#include <QListWidget>

struct MainWindowTestAccess {
    // Both panes on the given folders; the server goes to remote first where changeRemote says.
    static void Show(MainWindow& window, const QString& local, const QString& remote, bool changeRemote = true)
    {
        window.localPath = local;
        window.remotePath = remote;
        if (changeRemote)
            window.session.ChangeDir(remote);
        window.ListLocalFolder(local);
        window.ListRemoteFolder(remote);
        window.ShowPaths();
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

inline bool Select(QListWidget& list, const QString& text)
{
    list.clearSelection();
    const auto found = list.findItems(text, Qt::MatchExactly);
    if (found.isEmpty())
        return false;
    found.first()->setSelected(true);
    return true;
}

// A folder the server's own user may write into.
inline bool MakeOpenFolder(const QString& path)
{
    return QDir().mkpath(path) && QFile::setPermissions(path, QFileDevice::Permissions(0x7777));
}

}  // namespace bench
