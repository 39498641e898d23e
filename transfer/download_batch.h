#pragma once

#include "transfer/file_jobs.h"
#include "transfer/outcome.h"
#include "transfer/spread_batch.h"
#include "transfer/remote_tree.h"
#include "transfer/transfer_session.h"

#include <QList>
#include <QString>

// A download of a selection: files, and remote folders that go whole (walked first, each local
// folder made before its files; a folder whose local name is taken by a link or a file fails,
// and what lies below it stays on the server). Made on the window's thread, which reads the
// transfer options once for the whole batch.
class DownloadBatch : public FileBatch {
public:
    DownloadBatch(QString localFolder, QString remoteFolder, QList<BatchItem> items, RemoteEntryList listed,
                  qint64 walkLimit = MaxWalkEntries);

    // What the selection holds: the files' listed sizes, and the selected folders walked on the
    // server (so this runs on the session's thread). False when a walk failed or was cancelled;
    // WalkFailure then holds the log's line (empty after a cancel).
    bool Plan(TransferSession& session);
    const QString& WalkFailure() const { return walkFailure; }

    // Makes the local folders, then fetches the files one by one through RunFileJob, or over
    // several connections at once where connections allow more than one. False when the batch
    // was cancelled; CutShort then says what became of the files the cancel cut short.
    bool Run(TransferSession& session, const BatchCallbacks& callbacks, const BatchConnections* connections = nullptr);

private:
    QString localFolder;
    QString remoteFolder;
    QList<BatchItem> items;
    std::shared_ptr<const RemoteEntryList> listed;
    qint64 walkLimit;
    QString walkFailure;
};
