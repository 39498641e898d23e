#pragma once

#include "transfer/file_jobs.h"
#include "transfer/outcome.h"
#include "transfer/remote_tree.h"

#include <QList>
#include <QString>

class FtpSession;

// A deletion of a selection on the server: files by DELE, folders by RMD; a folder with contents
// goes whole (RemoveRemoteTree) only where the user agreed for that folder.
class RemoteDeleteBatch {
public:
    RemoteDeleteBatch(QString remoteFolder, QList<BatchItem> items, RemoteEntryList listed,
                      qint64 walkLimit = MaxWalkEntries);

    // Removes the selected folders that RMD alone removes (empty ones: one round trip each, and
    // nothing to ask), and walks the others (on the session's thread) to count what each holds.
    // False when cancelled; a walk that failed is no failure here: the folder stays, with RMD's
    // reason.
    bool Plan(FtpSession& session);
    // The folders with contents, each to be asked about (name, how many items inside).
    struct TreeQuestion {
        int tree;
        QString name;
        qint64 items;
    };
    QList<TreeQuestion> Questions() const;
    // The answer for one of them: "いいえ" keeps the folder, and that is no failure.
    void Agree(int tree, bool agreed);

    // Deletes the selection in its order. False when cancelled (the items before stay deleted).
    bool Run(FtpSession& session, const BatchCallbacks& callbacks);
    const BatchTally& Tally() const { return tally; }

private:
    struct Folder {
        QString name;
        QString unique;
        RemoteTree tree;
        bool walked = false;
        bool agreed = false;
        bool removed = false;  // RMD alone removed it
        QString refusal;       // why RMD alone did not
    };
    bool DeleteFolder(FtpSession& session, const Folder& folder, const BatchCallbacks& callbacks);

    QString remoteFolder;
    QList<BatchItem> items;
    QList<int> folderOf;  // per item, its index in folders; -1 for a file
    QList<Folder> folders;
    qint64 walkLimit;
    BatchTally tally;
};
