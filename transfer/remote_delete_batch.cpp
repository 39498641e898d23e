#include "transfer/remote_delete_batch.h"

#include "engine/ftp_session.h"
#include "transfer/remote_names.h"
#include "transfer/strings.h"

RemoteDeleteBatch::RemoteDeleteBatch(QString remoteFolder, QList<BatchItem> items, RemoteEntryList listed,
                                     qint64 walkLimit)
    : remoteFolder(std::move(remoteFolder)), items(std::move(items)), walkLimit(walkLimit)
{
    for (const BatchItem& item : std::as_const(this->items)) {
        if (!item.isFolder) {
            folderOf.append(-1);
            continue;
        }
        const int index = FindEntry(listed, item.name, true);
        folderOf.append(int(folders.size()));
        folders.append({item.name, index >= 0 ? listed[index].unique : QString(), {}, false, false, false, {}});
    }
}

bool RemoteDeleteBatch::Plan(FtpSession& session)
{
    for (Folder& folder : folders) {
        folder.removed = session.RemoveDir(folder.name);
        if (session.IsCancelled())
            return false;
        if (folder.removed)
            continue;
        folder.refusal = FailureReason(session);
        // Only a name that stays inside the folder is walked; RMD alone decides for others.
        if (!IsPlainName(folder.name))
            continue;
        folder.walked = WalkRemoteTree(session, JoinPath(remoteFolder, folder.name), folder.unique, remoteFolder,
                                       folder.tree, walkLimit);
        if (session.IsCancelled())
            return false;
    }
    return true;
}

QList<RemoteDeleteBatch::TreeQuestion> RemoteDeleteBatch::Questions() const
{
    QList<TreeQuestion> questions;
    for (qsizetype i = 0; i < folders.size(); ++i)
        if (folders[i].walked && folders[i].tree.Items() > 0)
            questions.append({int(i), folders[i].name, folders[i].tree.Items()});
    return questions;
}

void RemoteDeleteBatch::Agree(int tree, bool agreed)
{
    if (tree >= 0 && tree < folders.size())
        folders[tree].agreed = agreed;
}

bool RemoteDeleteBatch::DeleteFolder(FtpSession& session, const Folder& folder, const BatchCallbacks& callbacks)
{
    const bool hasContents = !folder.removed && folder.walked && folder.tree.Items() > 0;
    // A folder with contents the user wants kept is left alone, and that is no failure.
    if (hasContents && !folder.agreed)
        return true;
    bool removed = folder.removed;
    QString reason = folder.tree.tooLarge ? TransferText::WalkTooLarge.arg(walkLimit) : folder.refusal;
    if (hasContents) {
        removed = RemoveRemoteTree(session, folder.tree, reason);
        if (session.IsCancelled())
            return false;
    }
    tally.Count(removed, reason);
    if (callbacks.log)
        callbacks.log(removed ? TransferText::RemoteDeleted.arg(folder.name) : TransferText::RemoveDirFailed);
    return true;
}

bool RemoteDeleteBatch::Run(FtpSession& session, const BatchCallbacks& callbacks)
{
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (folderOf[i] >= 0) {
            if (!DeleteFolder(session, folders[folderOf[i]], callbacks))
                return false;
            continue;
        }
        const QString path = JoinPath(remoteFolder, items[i].name);
        const bool removed = session.DeleteRemoteFile(path);
        if (session.IsCancelled())
            return false;
        tally.Count(removed, FailureReason(session));
        if (callbacks.log)
            callbacks.log(removed ? TransferText::RemoteDeleted.arg(path) : TransferText::DeleteFailed);
    }
    return true;
}
