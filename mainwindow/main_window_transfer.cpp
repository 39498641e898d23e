// Transfer modes, uploads and downloads.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/outcome.h"
#include "mainwindow/pane_entries.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"
#include "settings/settings_store.h"

#include <QListWidget>

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

void MainWindow::UploadSelection()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder())
        return;
    const QList<int> rows = SelectedRows(*localList);
    if (rows.isEmpty())
        return;
    if (!Prompter::Current().AskYesNo(FilesText::UploadQuestion.arg(rows.size())))
        return;

    // The local pane stays usable during the batch: what it shows may change meanwhile, the
    // batch keeps to what was selected where.
    QList<PaneEntry> items;
    for (int row : rows) {
        const QListWidgetItem* item = localList->item(row);
        items.append({item->text(), KindOf(item)});
    }
    const QString fromFolder = localPath;
    const RemoteEntryList listed = remoteEntries;
    BatchTally tally;
    for (const PaneEntry& item : items) {
        const QString& text = item.text;
        // The parent entry is no file to send, just as a folder is not.
        if (item.kind != PaneEntryKind::File)
            continue;
        bool stored = false;
        bool started = false;
        if (!RunServerWork([&] {
                started = true;
                stored = session.UploadFile(fromFolder, remotePath, text, listed);
            })) {
            // A new file that was cut short is gone again; one that replaced another says so.
            if (started && !session.TransferFailure().isEmpty())
                WriteLog(MainText::Cancelled + u'\n' + session.TransferFailure());
            return ShowPaths();
        }
        tally.Count(stored || session.TransferFailure().isEmpty(), session.TransferFailure());
        WriteLog((stored ? FilesText::UploadSucceededLine : FilesText::UploadFailedLine).arg(text));
    }
    ListRemoteFolder(remotePath);
    WriteOutcome(tally.Summary(session.GetReplyText()));
    ShowPaths();
}

void MainWindow::DownloadSelection()
{
    const ServerTask task(*this);
    if (!task || OpensTypedFolder())
        return;
    const QList<int> rows = SelectedRows(*remoteList);
    if (rows.isEmpty())
        return;
    if (!Prompter::Current().AskYesNo(FilesText::DownloadQuestion.arg(rows.size())))
        return;

    QList<PaneEntry> items;
    for (int row : rows) {
        const QListWidgetItem* item = remoteList->item(row);
        items.append({item->text(), KindOf(item)});
    }
    // Files go to the folder shown when the batch started, whatever the local pane shows later.
    const QString toFolder = localPath;
    BatchTally tally;
    for (const PaneEntry& item : items) {
        const QString& text = item.text;
        if (item.kind == PaneEntryKind::Folder)
            continue;
        bool retrieved = false;
        if (!RunServerWork([&] { retrieved = session.DownloadFile(toFolder, remotePath, text, remoteEntries); })) {
            // The local folder is as it was; the pane shows it so.
            ListLocalFolder(localPath);
            return ShowPaths();
        }
        tally.Count(retrieved || session.TransferFailure().isEmpty(), session.TransferFailure());
        WriteLog(retrieved ? FilesText::DownloadSucceededLine.arg(text) : FilesText::DownloadFailed);
    }
    ListLocalFolder(localPath);
    WriteLog(tally.Summary(session.GetReplyText()));
    ShowPaths();
}
