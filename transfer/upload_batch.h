#pragma once

#include "transfer/file_jobs.h"
#include "transfer/outcome.h"
#include "transfer/spread_batch.h"
#include "transfer/transfer_session.h"

#include <QList>
#include <QString>

// An upload of a selection: files, and local folders that go whole (each folder made on the
// server, or when it is there already listed for the overwrite question, before its files go by
// paths from the folder the batch started in). Made on the window's thread, which reads the
// transfer options once for the whole batch (the options dialog cannot open while it runs).
class UploadBatch : public FileBatch {
public:
    // The items are in localFolder, but for those that name a folder of their own.
    UploadBatch(QString localFolder, QString remoteFolder, QList<BatchItem> items, RemoteEntryList listed);

    // Walks the selected local folders and counts what the selection holds; no server work.
    const BatchPlan& Plan();
    // Makes the folders, then sends the files one by one through RunFileJob, or over several
    // connections at once where connections allow more than one. False when the batch was
    // cancelled; CutShort then says what became of the files the cancel cut short.
    bool Run(TransferSession& session, const BatchCallbacks& callbacks, const BatchConnections* connections = nullptr);

private:
    QString localFolder;
    QString remoteFolder;
    QList<BatchItem> items;
    std::shared_ptr<const RemoteEntryList> listed;
};
