#include "transfer/download_batch.h"

#include "engine/local_name.h"
#include "transfer/byte_sums.h"
#include "transfer/remote_names.h"
#include "transfer/strings.h"


#include <algorithm>
#include <cerrno>
#include <utility>

namespace {

QString InTree(const QString& top, const QString& relative)
{
    return relative.isEmpty() ? top : top + u'/' + relative;
}

// The listed size of a file entry, 0 when the listing gives none.
qint64 ListedSize(const RemoteEntryList& entries, const QString& name)
{
    const int index = FindEntry(entries, name);
    return index >= 0 ? qMax<qint64>(entries[index].size, 0) : 0;
}

}  // namespace

DownloadBatch::DownloadBatch(QString localFolder, QString remoteFolder, QList<BatchItem> items,
                             RemoteEntryList listed, qint64 walkLimit)
    : localFolder(std::move(localFolder)), remoteFolder(std::move(remoteFolder)), items(std::move(items)),
      listed(std::make_shared<const RemoteEntryList>(std::move(listed))), walkLimit(walkLimit)
{
}

bool DownloadBatch::Plan(TransferSession& session)
{
    plan = BatchPlan();
    walkFailure.clear();
    // Files go to the folder shown when the batch started, whatever the local pane shows later.
    for (const BatchItem& item : std::as_const(items)) {
        if (!item.isFolder) {
            FileJob job;
            job.direction = FileJob::Direction::Download;
            job.localFolder = localFolder;
            job.remoteFolder = remoteFolder;
            job.name = item.name;
            job.size = ListedSize(*listed, item.name);
            job.entries = listed;
            plan.fileJobs.append(job);
            ++plan.files;
            plan.bytes = AddBytes(plan.bytes, job.size);
            continue;
        }
        if (!IsPlainName(item.name))
            continue;
        plan.hasFolders = true;
        const int index = FindEntry(*listed, item.name, true);
        RemoteTree tree;
        if (!WalkRemoteTree(session, JoinPath(remoteFolder, item.name), index >= 0 ? (*listed)[index].unique : QString(),
                            remoteFolder, tree, walkLimit)) {
            if (!session.IsCancelled())
                walkFailure = tree.tooLarge ? TransferText::WalkTooLarge.arg(walkLimit)
                                            : TransferText::ListingFailed.arg(FailureReason(session));
            return false;
        }
        plan.folders += tree.folders.size();
        plan.files += tree.files;
        plan.bytes = AddBytes(plan.bytes, tree.bytes);
        const QString top = JoinPath(localFolder, item.name);
        for (const RemoteTreeFolder& folder : std::as_const(tree.folders)) {
            const int folderIndex = int(plan.folderJobs.size());
            plan.folderJobs.append({InTree(top, folder.relative), folder.path, {}});
            const auto entries = std::make_shared<const RemoteEntryList>(folder.entries);
            for (const ListingEntry& entry : folder.entries) {
                if (entry.kind != EntryKind::File)
                    continue;
                FileJob job;
                job.direction = FileJob::Direction::Download;
                job.localFolder = plan.folderJobs.last().local;
                job.remoteFolder = folder.path;
                job.name = entry.name;
                job.size = qMax<qint64>(entry.size, 0);
                job.folder = folderIndex;
                job.entries = entries;
                plan.fileJobs.append(job);
            }
        }
    }
    return true;
}

bool DownloadBatch::Run(TransferSession& session, const BatchCallbacks& callbacks, const BatchConnections* connections)
{
    const OptionsHeld held = HoldOptions(session);

    // Folders that could not be used, with why: what lies below them is not made either (below
    // a link it would land wherever the link leads).
    QList<bool> folderFailed(plan.folderJobs.size(), false);
    QList<std::pair<QString, QString>> refused;
    for (qsizetype i = 0; i < plan.folderJobs.size(); ++i) {
        const QString& localDir = plan.folderJobs[i].local;
        const auto below = std::find_if(refused.cbegin(), refused.cend(), [&](const auto& failed) {
            return localDir.startsWith(failed.first + u'/');
        });
        if (below != refused.cend()) {
            tally.Count(false, below->second);
            folderFailed[i] = true;
            continue;
        }
        // A real folder that is there already takes the files in; a link (whoever made it,
        // wherever it leads) or anything else in the way is a failure for this folder, and its
        // files stay on the server.
        if (!MakeLocalFolder(localDir)) {
            const int made = errno;
            const LocalFileInfo info(localDir);
            if (info.isSymLink() || !info.isDir()) {
                errno = made;
                refused.append({localDir, info.isSymLink() ? TransferText::ReasonFolderIsLink.arg(localDir)
                                                           : LocalFailureReason(localDir)});
                tally.Count(false, refused.last().second);
                folderFailed[i] = true;
            }
        }
    }
    return RunJobs(session, plan.fileJobs, folderFailed, callbacks, connections, remoteFolder);
}
