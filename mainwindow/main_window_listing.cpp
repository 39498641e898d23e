// Refilling the panes: the local folder read here, the remote listing fetched and parsed on the
// worker and shown here, and the failure of the latest listing kept beside a handler's outcome.
#include "mainwindow/listing.h"
#include "mainwindow/main_window.h"
#include "mainwindow/pane_view.h"
#include "mainwindow/strings.h"
#include "transfer/outcome.h"
#include "transfer/strings.h"

bool MainWindow::ListLocalFolder(const QString& folder)
{
    return ::ListLocalFolder(*localList, folder);
}

bool MainWindow::ListRemoteFolder(const QString& folder)
{
    // The listing comes from the worker; the pane is filled here. A listing that was cancelled
    // or failed leaves ".." alone, so the pane never shows one folder under another's path.
    RemoteEntryList entries;
    bool listed = false;
    QString failure;
    const qsizetype limit = listingEntryLimit;
    if (!RunServerWork([&](TransferSession& session) {
            QString listing;
            listed = session.GetFileList(folder, listing);
            ReadSessionListing(session, listing, entries, limit);
            failure = FailureReason(session);
        })) {
        FillRemotePane(*remoteList, QString(), remoteEntries);
        listingFailure = MainText::Cancelled;
        return false;
    }
    remoteEntries = std::move(entries);
    ShowRemoteEntries(*remoteList, remoteEntries);
    if (listed) {
        listingFailure.clear();
        if (remoteEntries.cut) {
            listingFailure = FilesText::ListingCut.arg(remoteEntries.size());
            WriteLog(listingFailure);
        }
        return true;
    }
    listingFailure = TransferText::ListingFailed.arg(failure);
    WriteLog(listingFailure);
    return false;
}

void MainWindow::WriteOutcome(const QString& message)
{
    WriteLog(listingFailure.isEmpty() ? message : message + u'\n' + listingFailure);
}
