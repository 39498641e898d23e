// Transfer modes, uploads and downloads.
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

// The items a batch acts on: files and folders by their bare names, the parent left out.
QList<BatchItem> BatchItems(const QList<PaneItem>& selected)
{
    QList<BatchItem> items;
    for (const PaneItem& item : selected)
        if (item.kind != PaneEntryKind::Parent)
            items.append({item.entry.name, item.kind == PaneEntryKind::Folder});
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
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    const QList<PaneItem> selected = SelectedLocalItems();
    if (selected.isEmpty())
        return;

    // The local pane stays usable during the batch: what it shows may change meanwhile, the
    // batch keeps to what was selected where. Folders go whole; the question counts what they
    // hold, all levels down.
    UploadBatch batch(localPath, remotePath, BatchItems(selected), remoteEntries);
    const BatchPlan& plan = batch.Plan();
    const QString question = !plan.hasFolders
        ? FilesText::UploadQuestion.arg(selected.size())
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
    const bool finished = RunServerWork([&] { batch.Run(session, reports, &connections); });
    if (!finished) {
        if (!batch.CutShort().isEmpty())
            WriteLog(MainText::Cancelled + u'\n' + batch.CutShort());
        return ShowPaths();
    }
    ListRemoteFolder(remotePath);
    WriteOutcome(WithNotices(batch.Tally().Summary(session.GetReplyText()), batch.Notices()));
    ShowPaths();
}

void MainWindow::DownloadSelection()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder() || !RemoteFolderKnown())
        return;
    const QList<PaneItem> selected = SelectedRemoteItems();
    if (selected.isEmpty())
        return;

    // Files go to the folder shown when the batch started, whatever the local pane shows later.
    // Folders go whole: each is walked before the question counts what they hold.
    DownloadBatch batch(localPath, remotePath, BatchItems(selected), remoteEntries, walkEntryLimit);
    bool planned = false;
    if (!RunServerWork([&] { planned = batch.Plan(session); }))
        return ShowPaths();
    if (!planned) {
        WriteLog(batch.WalkFailure());
        return ShowPaths();
    }
    const BatchPlan& plan = batch.Planned();
    const QString question = !plan.hasFolders
        ? FilesText::DownloadQuestion.arg(selected.size())
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
    const bool finished = RunServerWork([&] { batch.Run(session, reports, &connections); });
    // The local folder is as the batch left it, also after a cancel; the pane shows it so.
    ListLocalFolder(localPath);
    if (finished)
        WriteLog(WithNotices(batch.Tally().Summary(session.GetReplyText()), batch.Notices()));
    ShowPaths();
}
