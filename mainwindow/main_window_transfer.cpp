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
    ShowModePressed(TransferModeButton::Ascii);
    SettingsStore::WriteFlag(SettingName::AutoTransferMode, false);
    session.SetTypeAscii();
}

void MainWindow::SelectBinaryMode()
{
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
    if (OpensTypedFolder())
        return;
    const QList<int> rows = SelectedRows(*localList);
    if (rows.isEmpty())
        return;
    if (!Prompter::Current().AskYesNo(FilesText::UploadQuestion.arg(rows.size())))
        return;

    BatchTally tally;
    for (int row : rows) {
        const QListWidgetItem* item = localList->item(row);
        const QString text = item->text();
        // The parent entry is no file to send, just as a folder is not.
        if (KindOf(item) != PaneEntryKind::File)
            continue;
        const bool stored = session.UploadFile(localPath, remotePath, text, remoteEntries);
        tally.Count(stored || session.TransferFailure().isEmpty(), session.TransferFailure());
        WriteLog((stored ? FilesText::UploadSucceededLine : FilesText::UploadFailedLine).arg(text));
    }
    ListRemoteFolder(remotePath);
    WriteOutcome(tally.Summary(session.GetReplyText()));
    ShowPaths();
}

void MainWindow::DownloadSelection()
{
    if (OpensTypedFolder())
        return;
    const QList<int> rows = SelectedRows(*remoteList);
    if (rows.isEmpty())
        return;
    if (!Prompter::Current().AskYesNo(FilesText::DownloadQuestion.arg(rows.size())))
        return;

    BatchTally tally;
    for (int row : rows) {
        const QListWidgetItem* item = remoteList->item(row);
        const QString text = item->text();
        if (KindOf(item) == PaneEntryKind::Folder)
            continue;
        const bool retrieved = session.DownloadFile(localPath, remotePath, text, remoteEntries);
        tally.Count(retrieved || session.TransferFailure().isEmpty(), session.TransferFailure());
        WriteLog(retrieved ? FilesText::DownloadSucceededLine.arg(text) : FilesText::DownloadFailed);
    }
    ListLocalFolder(localPath);
    WriteLog(tally.Summary(session.GetReplyText()));
    ShowPaths();
}
