// Renaming a local entry, through the rename dialog the remote pane uses.
#include "engine/local_name.h"
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "transfer/outcome.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/small_dialogs.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"

#include <QDir>
#include <QListWidget>

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>

namespace {

// Renames without ever replacing what has the new name: a rename over a file would delete it
// without a question. False with errno set on failure (EEXIST for a taken name).
bool RenameWithoutReplacing(const QByteArray& from, const QByteArray& to)
{
    if (::renameat2(AT_FDCWD, from.constData(), AT_FDCWD, to.constData(), RENAME_NOREPLACE) == 0)
        return true;
    if (errno != EINVAL && errno != ENOSYS)
        return false;
    // A file system that cannot refuse by itself: look first (a race with another program
    // remains there, and only there).
    struct stat existing {};
    if (::lstat(to.constData(), &existing) == 0) {
        errno = EEXIST;
        return false;
    }
    return std::rename(from.constData(), to.constData()) == 0;
}

}  // namespace

void MainWindow::RenameLocalEntry()
{
    if (OpensTypedFolder())
        return;
    const QModelIndex caret = localList->currentIndex();
    if (!caret.isValid())
        return;
    const auto kind = PaneEntryKind(caret.data(PaneKindRole).toInt());
    if (kind == PaneEntryKind::Parent)
        return;
    const QString text = caret.data(Qt::DisplayRole).toString();
    const QString oldName = kind == PaneEntryKind::Folder ? FolderNameOf(text) : text;

    RenameDialog dialog;
    dialog.newName = oldName;
    if (!Prompter::Current().RunDialog(dialog) || dialog.newName.isEmpty() || dialog.newName == oldName)
        return;
    // As on the server, the new name may be a path relative to the folder (a move).
    const QString from = JoinPath(localPath, oldName);
    const QString to = QDir::cleanPath(dialog.newName.startsWith(u'/') ? dialog.newName
                                                                      : JoinPath(localPath, dialog.newName));
    const QByteArray fromBytes = LocalPathBytes(from);
    const QByteArray toBytes = LocalPathBytes(to);
    if (fromBytes.isEmpty() || toBytes.isEmpty()) {
        WriteLog(ChromeText::LocalRenameFailed.arg(TransferText::ReasonUnsafeName.arg(dialog.newName)));
    } else if (!RenameWithoutReplacing(fromBytes, toBytes)) {
        const QString reason = errno == EEXIST ? ChromeText::NameTaken.arg(to) : LocalFailureReason(to);
        WriteLog(ChromeText::LocalRenameFailed.arg(reason));
    } else {
        WriteLog(ChromeText::LocalRenamed.arg(from, to));
    }
    ListLocalFolder(localPath);
    ShowPaths();
}
