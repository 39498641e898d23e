// Transfer modes, uploads and downloads.
#include "engine/local_name.h"
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/progress_texts.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"
#include "settings/settings_store.h"
#include "transfer/download_batch.h"
#include "transfer/upload_batch.h"

#include <optional>

void MainWindow::SelectAsciiMode()
{
    // The type is the worker's to read while a transfer runs.
    if (worker.IsRunning())
        return;
    ShowModePressed(TransferModeButton::Ascii);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
    worker.Prepare([](TransferSession& session) { session.SetTypeAscii(); });
}

void MainWindow::SelectBinaryMode()
{
    if (worker.IsRunning())
        return;
    ShowModePressed(TransferModeButton::Binary);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
    worker.Prepare([](TransferSession& session) { session.SetTypeBinary(); });
}

void MainWindow::SelectAutoMode()
{
    // The type stays as it is until the next transfer chooses one for its file.
    ShowModePressed(TransferModeButton::Auto);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, true);
}

namespace {

// The items a batch acts on: files and folders by their bare names, the parent left out.
QList<BatchItem> BatchItems(const std::vector<PaneRow>& rows)
{
    QList<BatchItem> items;
    for (const PaneRow& row : rows)
        if (row.kind != PaneRowKind::Parent)
            items.append({row.entry.name, row.kind == PaneRowKind::Folder});
    return items;
}

// Local files dropped from elsewhere, each from its own folder: a folder (or a link to one)
// goes whole. A path that is no longer there goes as a file, and its failure is logged.
QList<BatchItem> DroppedItems(const QStringList& paths)
{
    QList<BatchItem> items;
    for (QString path : paths) {
        while (path.size() > 1 && path.endsWith(u'/'))
            path.chop(1);
        const qsizetype slash = path.lastIndexOf(u'/');
        if (slash < 0 || slash == path.size() - 1)
            continue;
        BatchItem item;
        item.name = path.mid(slash + 1);
        item.folder = slash == 0 ? QStringLiteral("/") : path.left(slash);
        item.isFolder = LocalFileInfo(path).isDir();
        items.append(item);
    }
    return items;
}

// The batch's outcome, and below it what the batch found of its connections.
QString WithNotices(const QString& outcome, const QStringList& notices)
{
    return notices.isEmpty() ? outcome : outcome + u'\n' + notices.join(u'\n');
}

}  // namespace

BatchConnections MainWindow::SpreadConnections()
{
    batchCancel.Reset();
    BatchConnections connections;
    connections.most = SettingsStore::ReadMaxConnections();
    connections.login = batchLogin;
    // The extra sessions ask their questions where the window's own does.
    connections.makeSession = [this] {
        auto extra = std::make_unique<TransferSession>();
        extra->SetQuestions(&questions);
        return extra;
    };
    connections.cancel = &batchCancel;
    return connections;
}

void MainWindow::UploadSelection()
{
    const std::vector<PaneRow> selected = SelectedLocalRows();
    UploadItems(BatchItems(selected), qsizetype(selected.size()));
}

void MainWindow::DownloadSelection()
{
    const std::vector<PaneRow> selected = SelectedRemoteRows();
    DownloadItems(BatchItems(selected), qsizetype(selected.size()));
}

void MainWindow::DropOnLocalPane(const PaneDrop& drop)
{
    // Files from a file manager are already on this machine: nothing to do with them here.
    if (drop.fromPane == PaneSide::Remote && connectedShown)
        DownloadItems(BatchItems(drop.rows), qsizetype(drop.rows.size()));
}

void MainWindow::DropOnRemotePane(const PaneDrop& drop)
{
    if (!connectedShown)
        return;
    if (drop.fromPane == PaneSide::Local) {
        UploadItems(BatchItems(drop.rows), qsizetype(drop.rows.size()));
    } else if (!drop.fromPane) {
        const QList<BatchItem> items = DroppedItems(drop.localPaths);
        UploadItems(items, items.size());
    }
}

void MainWindow::UploadItems(const QList<BatchItem>& items, qsizetype shown)
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    if (shown == 0)
        return;

    // The local pane stays usable during the batch: what it shows may change meanwhile, the
    // batch keeps to what was selected where. Folders go whole; the question counts what they
    // hold, all levels down.
    UploadBatch batch(localPath, remotePath, items, remoteEntries);
    const BatchPlan& plan = batch.Plan();
    const QString question = !plan.hasFolders
        ? FilesText::UploadQuestion.arg(shown)
        : FilesText::FolderUploadQuestion.arg(QString::number(plan.folders), QString::number(plan.files),
                                              ByteSizeText(plan.bytes));
    if (!Prompter::Current().AskYesNo(question))
        return;

    std::optional<decltype(KeepBatchBox())> batchBox;
    if (plan.hasFolders)
        batchBox.emplace(KeepBatchBox());
    // The whole batch is one piece of server work, so the files follow each other on the worker
    // without waiting for the window in between.
    const BatchCallbacks reports = BatchReports();
    const BatchConnections connections = SpreadConnections();
    const bool finished =
        RunServerWork([&](TransferSession& session) { batch.Run(session, reports, &connections); });
    if (!finished) {
        if (!batch.CutShort().isEmpty())
            WriteLog(MainText::Cancelled + u'\n' + batch.CutShort());
        // What reached the server before 中止 is listed once the connection has settled, after
        // this handler.
        QMetaObject::invokeMethod(this, &MainWindow::RefreshRemotePane, Qt::QueuedConnection);
        return ShowPaths();
    }
    ListRemoteFolder(remotePath);
    WriteOutcome(WithNotices(batch.Tally().Summary(worker.State().replyText), batch.Notices()));
    ShowPaths();
}

void MainWindow::DownloadItems(const QList<BatchItem>& items, qsizetype shown)
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    if (shown == 0)
        return;

    // Files go to the folder shown when the batch started, whatever the local pane shows later.
    // Folders go whole: each is walked before the question counts what they hold.
    DownloadBatch batch(localPath, remotePath, items, remoteEntries, walkEntryLimit);
    bool planned = false;
    if (!RunServerWork([&](TransferSession& session) { planned = batch.Plan(session); }))
        return ShowPaths();
    if (!planned) {
        WriteLog(batch.WalkFailure());
        return ShowPaths();
    }
    const BatchPlan& plan = batch.Planned();
    const QString question = !plan.hasFolders
        ? FilesText::DownloadQuestion.arg(shown)
        : FilesText::FolderDownloadQuestion.arg(QString::number(plan.folders), QString::number(plan.files),
                                                ByteSizeText(plan.bytes));
    if (!Prompter::Current().AskYesNo(question))
        return;

    std::optional<decltype(KeepBatchBox())> batchBox;
    if (plan.hasFolders)
        batchBox.emplace(KeepBatchBox());
    // As for uploads, the whole batch is one piece of server work.
    const BatchCallbacks reports = BatchReports();
    const BatchConnections connections = SpreadConnections();
    const bool finished =
        RunServerWork([&](TransferSession& session) { batch.Run(session, reports, &connections); });
    // The local folder is as the batch left it, also after a cancel; the pane shows it so.
    ListLocalFolder(localPath);
    if (finished)
        WriteLog(WithNotices(batch.Tally().Summary(worker.State().replyText), batch.Notices()));
    ShowPaths();
}
