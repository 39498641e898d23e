// Transfer modes, uploads and downloads.
#include "engine/local_name.h"
#include "transfer/byte_sums.h"
#include "mainwindow/listing.h"
#include "mainwindow/local_tree.h"
#include "mainwindow/main_window.h"
#include "mainwindow/outcome.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/progress_texts.h"
#include "mainwindow/remote_tree.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"
#include "settings/settings_store.h"

#include <QHash>
#include <QListWidget>
#include <QScopeGuard>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <utility>

void MainWindow::SelectAsciiMode()
{
    // The type is the worker's to read while a transfer runs.
    if (worker.IsRunning())
        return;
    ShowModePressed(TransferModeButton::Ascii);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
    session.SetTypeAscii();
}

void MainWindow::SelectBinaryMode()
{
    if (worker.IsRunning())
        return;
    ShowModePressed(TransferModeButton::Binary);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
    session.SetTypeBinary();
}

void MainWindow::SelectAutoMode()
{
    // The type stays as it is until the next transfer chooses one for its file.
    ShowModePressed(TransferModeButton::Auto);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, true);
}

namespace {

// The folder inside a tree: the tree's path, and below it the relative path when there is one.
QString InTree(const QString& top, const QString& relative)
{
    return relative.isEmpty() ? top : top + u'/' + relative;
}

// The listed size of a file entry, 0 when the listing gives none.
qint64 ListedSize(const RemoteEntryList& entries, const QString& name)
{
    const int index = FindEntry(entries, name);
    return index >= 0 ? qMax<qint64>(entries[index].listed.size, 0) : 0;
}

// The texts and kinds of the rows, kept apart from the pane that may change while a batch runs.
QList<PaneEntry> SelectedEntries(const QListWidget& list, const QList<int>& rows)
{
    QList<PaneEntry> entries;
    for (int row : rows) {
        const QListWidgetItem* item = list.item(row);
        entries.append({item->text(), KindOf(item)});
    }
    return entries;
}

// Goes through the selection in its order, files by onFile and folders by onTree with the
// tree walked for them, until one of them says the batch was cancelled (false).
template <typename Tree, typename OnFile, typename OnTree>
void RunSelection(const QList<PaneEntry>& items, const QList<Tree>& trees, const OnFile& onFile, const OnTree& onTree)
{
    for (const PaneEntry& item : items) {
        bool goesOn = true;
        if (item.kind == PaneEntryKind::File) {
            goesOn = onFile(item.text);
        } else if (item.kind == PaneEntryKind::Folder) {
            for (const Tree& tree : trees)
                if (tree.name == FolderNameOf(item.text))
                    goesOn = onTree(tree);
        }
        if (!goesOn)
            return;
    }
}

}  // namespace

void MainWindow::UploadSelection()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    const QList<int> rows = SelectedRows(*localList);
    if (rows.isEmpty())
        return;

    // The local pane stays usable during the batch: what it shows may change meanwhile, the
    // batch keeps to what was selected where.
    const QList<PaneEntry> items = SelectedEntries(*localList, rows);
    const QString fromFolder = localPath;
    const QString toFolder = remotePath;

    // Folders go whole; the question counts what they hold, all levels down.
    struct Tree {
        QString name;
        LocalTreeListing listing;
    };
    QList<Tree> trees;
    qint64 folderCount = 0;
    qint64 fileCount = 0;
    qint64 byteCount = 0;
    for (const PaneEntry& item : std::as_const(items)) {
        if (item.kind == PaneEntryKind::File) {
            ++fileCount;
            byteCount = AddBytes(byteCount, LocalFileInfo(JoinPath(fromFolder, item.text)).size());
        } else if (item.kind == PaneEntryKind::Folder && IsPlainName(FolderNameOf(item.text))) {
            Tree tree{FolderNameOf(item.text), ListLocalTree(JoinPath(fromFolder, FolderNameOf(item.text)))};
            folderCount += 1 + tree.listing.folders.size();
            fileCount += tree.listing.files.size();
            byteCount = AddBytes(byteCount, tree.listing.bytes);
            trees.append(std::move(tree));
        }
    }
    const QString question = trees.isEmpty()
        ? FilesText::UploadQuestion.arg(rows.size())
        : FilesText::FolderUploadQuestion.arg(QString::number(folderCount), QString::number(fileCount),
                                              ByteSizeText(byteCount));
    if (!Prompter::Current().AskYesNo(question))
        return;

    const RemoteEntryList listed = remoteEntries;
    BatchTally tally;
    qint64 fileNumber = 0;
    qint64 bytesDone = 0;
    QString cutShort;  // what became of the file a cancel cut short
    session.HoldTransferOptions(AppFtpSession::TransferOptions::Read());
    const auto afterBatch = qScopeGuard([this] {
        session.SetBatchLine(QString());
        session.HoldTransferOptions(std::nullopt);
    });
    std::optional<decltype(KeepBatchBox())> batchBox;
    if (!trees.isEmpty())
        batchBox.emplace(KeepBatchBox());
    // The whole batch is one piece of server work, so the files follow each other on the worker
    // without waiting for the window in between. One file; false when the batch was cancelled.
    const auto upload = [&](const QString& localDir, const QString& remoteDir, const QString& name,
                            const RemoteEntryList& entries, bool byPath, qint64 size) {
        if (!trees.isEmpty())
            session.SetBatchLine(BatchProgressText(++fileNumber, fileCount, bytesDone, byteCount));
        const bool stored = session.UploadFile(localDir, remoteDir, name, entries, byPath);
        if (session.IsCancelled()) {
            // A new file that was cut short is gone again; one that replaced another says so.
            cutShort = session.TransferFailure();
            return false;
        }
        bytesDone = AddBytes(bytesDone, size);
        tally.Count(stored || session.TransferFailure().isEmpty(), session.TransferFailure());
        PostLog(stored ? session.WithVerification(FilesText::UploadSucceededLine.arg(name))
                       : FilesText::UploadFailedLine.arg(name));
        return true;
    };
    // A folder tree: each folder made (or, when it is there already, listed for the overwrite
    // question) before its files go, by paths from the folder the batch started in.
    const auto uploadTree = [&](const Tree& tree) {
        if (!tree.listing.complete)
            tally.Count(false, FilesText::FolderNotRead.arg(JoinPath(fromFolder, tree.name)));
        QHash<QString, QList<LocalTreeFile>> filesIn;
        for (const LocalTreeFile& file : tree.listing.files)
            filesIn[file.path.section(u'/', 0, -2)].append(file);
        QStringList folders{QString()};
        folders += tree.listing.folders;
        for (const QString& relative : std::as_const(folders)) {
            const QString localDir = InTree(JoinPath(fromFolder, tree.name), relative);
            const QString remoteDir = InTree(JoinPath(toFolder, tree.name), relative);
            RemoteEntryList entries;
            const bool ready = session.MakeDir(remoteDir) || ListRemoteFolderAt(session, remoteDir, toFolder, entries);
            if (session.IsCancelled())
                return false;
            if (!ready) {
                // A folder too large to list whole is left alone: its names could not be checked.
                const QString reason = entries.cut ? FilesText::WalkTooLarge.arg(entries.size())
                                                   : FailureReason(session);
                tally.Count(false, remoteDir + QStringLiteral(": ") + reason);
                continue;
            }
            for (const LocalTreeFile& file : std::as_const(filesIn[relative]))
                if (!upload(localDir, remoteDir, file.path.section(u'/', -1), entries, true, file.size))
                    return false;
        }
        return true;
    };

    const bool finished = RunServerWork([&] {
        RunSelection(
            items, trees,
            [&](const QString& name) {
                return upload(fromFolder, toFolder, name, listed, false, LocalFileInfo(JoinPath(fromFolder, name)).size());
            },
            uploadTree);
    });
    if (!finished) {
        if (!cutShort.isEmpty())
            WriteLog(MainText::Cancelled + u'\n' + cutShort);
        return ShowPaths();
    }
    ListRemoteFolder(remotePath);
    WriteOutcome(tally.Summary(session.GetReplyText()));
    ShowPaths();
}

void MainWindow::DownloadSelection()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    const QList<int> rows = SelectedRows(*remoteList);
    if (rows.isEmpty())
        return;

    const QList<PaneEntry> items = SelectedEntries(*remoteList, rows);
    // Files go to the folder shown when the batch started, whatever the local pane shows later.
    const QString toFolder = localPath;
    const QString fromFolder = remotePath;

    // Folders go whole: each is walked before the question counts what they hold.
    struct Tree {
        QString name;
        QString unique;
        RemoteTree walked;
    };
    QList<Tree> trees;
    qint64 folderCount = 0;
    qint64 fileCount = 0;
    qint64 byteCount = 0;
    for (const PaneEntry& item : std::as_const(items)) {
        if (item.kind == PaneEntryKind::File) {
            ++fileCount;
            byteCount = AddBytes(byteCount, ListedSize(remoteEntries, item.text));
        } else if (item.kind == PaneEntryKind::Folder && IsPlainName(FolderNameOf(item.text))) {
            const int index = FindEntry(remoteEntries, item.text, true);
            trees.append({FolderNameOf(item.text), index >= 0 ? remoteEntries[index].listed.unique : QString(), {}});
        }
    }
    if (!trees.isEmpty()) {
        bool walked = true;
        bool tooLarge = false;
        const qint64 walkLimit = walkEntryLimit;
        if (!RunServerWork([&] {
                for (Tree& tree : trees)
                    if (walked) {
                        walked = WalkRemoteTree(session, JoinPath(fromFolder, tree.name), tree.unique, fromFolder,
                                                tree.walked, walkLimit);
                        tooLarge = tree.walked.tooLarge;
                    }
            }))
            return ShowPaths();
        if (!walked) {
            WriteLog(tooLarge ? FilesText::WalkTooLarge.arg(walkLimit)
                              : FilesText::ListingFailed.arg(FailureReason(session)));
            return ShowPaths();
        }
        for (const Tree& tree : std::as_const(trees)) {
            folderCount += tree.walked.folders.size();
            fileCount += tree.walked.files;
            byteCount = AddBytes(byteCount, tree.walked.bytes);
        }
    }
    const QString question = trees.isEmpty()
        ? FilesText::DownloadQuestion.arg(rows.size())
        : FilesText::FolderDownloadQuestion.arg(QString::number(folderCount), QString::number(fileCount),
                                                ByteSizeText(byteCount));
    if (!Prompter::Current().AskYesNo(question))
        return;

    const RemoteEntryList listed = remoteEntries;
    BatchTally tally;
    qint64 fileNumber = 0;
    qint64 bytesDone = 0;
    session.HoldTransferOptions(AppFtpSession::TransferOptions::Read());
    const auto afterBatch = qScopeGuard([this] {
        session.SetBatchLine(QString());
        session.HoldTransferOptions(std::nullopt);
    });
    std::optional<decltype(KeepBatchBox())> batchBox;
    if (!trees.isEmpty())
        batchBox.emplace(KeepBatchBox());
    // As for uploads, the whole batch is one piece of server work. One file; false when the
    // batch was cancelled.
    const auto download = [&](const QString& localDir, const QString& remoteDir, const QString& name,
                              const RemoteEntryList& entries) {
        if (!trees.isEmpty())
            session.SetBatchLine(BatchProgressText(++fileNumber, fileCount, bytesDone, byteCount));
        const bool retrieved = session.DownloadFile(localDir, remoteDir, name, entries);
        if (session.IsCancelled())
            return false;
        bytesDone = AddBytes(bytesDone, ListedSize(entries, name));
        tally.Count(retrieved || session.TransferFailure().isEmpty(), session.TransferFailure());
        PostLog(retrieved ? session.WithVerification(FilesText::DownloadSucceededLine.arg(name))
                          : FilesText::DownloadFailed);
        return true;
    };
    const auto downloadTree = [&](const Tree& tree) {
        // Folders that could not be used, with why: what lies below them is not made either
        // (below a link it would land wherever the link leads).
        QList<std::pair<QString, QString>> refused;
        for (const RemoteTreeFolder& folder : tree.walked.folders) {
            const QString localDir = InTree(JoinPath(toFolder, tree.name), folder.relative);
            const auto below = std::find_if(refused.cbegin(), refused.cend(), [&](const auto& failed) {
                return localDir.startsWith(failed.first + u'/');
            });
            if (below != refused.cend()) {
                tally.Count(false, below->second);
                continue;
            }
            // A real folder that is there already takes the files in; a link (whoever made it,
            // wherever it leads) or anything else in the way is a failure for this folder, and
            // its files stay on the server.
            if (!MakeLocalFolder(localDir)) {
                const int made = errno;
                const LocalFileInfo info(localDir);
                if (info.isSymLink() || !info.isDir()) {
                    errno = made;
                    refused.append({localDir, info.isSymLink() ? FilesText::ReasonFolderIsLink.arg(localDir)
                                                               : LocalFailureReason(localDir)});
                    tally.Count(false, refused.last().second);
                    continue;
                }
            }
            for (const RemoteEntry& entry : folder.entries) {
                if (entry.isDirectory || entry.listed.kind != EntryKind::File)
                    continue;
                if (!download(localDir, folder.path, entry.name, folder.entries))
                    return false;
            }
        }
        return true;
    };

    const bool finished = RunServerWork([&] {
        RunSelection(
            items, trees, [&](const QString& name) { return download(toFolder, fromFolder, name, listed); },
            downloadTree);
    });
    // The local folder is as the batch left it, also after a cancel; the pane shows it so.
    ListLocalFolder(localPath);
    if (finished)
        WriteLog(tally.Summary(session.GetReplyText()));
    ShowPaths();
}
