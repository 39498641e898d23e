#include "transfer/upload_batch.h"

#include "engine/local_name.h"
#include "transfer/byte_sums.h"
#include "transfer/local_tree.h"
#include "transfer/remote_names.h"
#include "transfer/remote_tree.h"
#include "transfer/strings.h"

#include <QHash>

namespace {

// The folder inside a tree: the tree's path, and below it the relative path when there is one.
QString InTree(const QString& top, const QString& relative)
{
    return relative.isEmpty() ? top : top + u'/' + relative;
}

// A folder of an uploaded tree on the server: made, or when it is there already, listed for the
// overwrite question. False when neither; entries.cut then says it was too large to list whole.
bool MakeRemoteFolder(TransferSession& session, const QString& path, const QString& returnTo,
                      RemoteEntryList& entries)
{
    if (session.CreateFolder(path)) {
        entries.madeNow = true;
        return true;
    }
    return ListRemoteFolderAt(session, path, returnTo, entries);
}

}  // namespace

UploadBatch::UploadBatch(QString localFolder, QString remoteFolder, QList<BatchItem> items, RemoteEntryList listed)
    : localFolder(std::move(localFolder)), remoteFolder(std::move(remoteFolder)), items(std::move(items)),
      listed(std::make_shared<const RemoteEntryList>(std::move(listed)))
{
}

const BatchPlan& UploadBatch::Plan()
{
    plan = BatchPlan();
    for (const BatchItem& item : std::as_const(items)) {
        const QString& from = item.folder.isEmpty() ? localFolder : item.folder;
        if (!item.isFolder) {
            FileJob job;
            job.direction = FileJob::Direction::Upload;
            job.localFolder = from;
            job.remoteFolder = remoteFolder;
            job.name = item.name;
            job.size = qMax<qint64>(LocalFileInfo(JoinPath(from, item.name)).size(), 0);
            job.entries = listed;
            plan.fileJobs.append(job);
            ++plan.files;
            plan.bytes = AddBytes(plan.bytes, job.size);
            continue;
        }
        if (!IsPlainName(item.name))
            continue;
        plan.hasFolders = true;
        const QString top = JoinPath(from, item.name);
        const LocalTreeListing listing = ListLocalTree(top);
        plan.folders += 1 + listing.folders.size();
        plan.files += listing.files.size();
        plan.bytes = AddBytes(plan.bytes, listing.bytes);
        QHash<QString, int> folderIndex;
        QStringList folders{QString()};
        folders += listing.folders;
        for (const QString& relative : std::as_const(folders)) {
            FolderJob folder{InTree(top, relative), InTree(JoinPath(remoteFolder, item.name), relative), {}};
            if (relative.isEmpty() && !listing.complete)
                folder.plannedFailure = TransferText::FolderNotRead.arg(top);
            folderIndex.insert(relative, plan.folderJobs.size());
            plan.folderJobs.append(folder);
        }
        // The files folder by folder, in the order the folders are made.
        QHash<QString, QList<LocalTreeFile>> filesIn;
        for (const LocalTreeFile& file : listing.files)
            filesIn[file.path.section(u'/', 0, -2)].append(file);
        for (const QString& relative : std::as_const(folders)) {
            const int index = folderIndex.value(relative);
            for (const LocalTreeFile& file : std::as_const(filesIn[relative])) {
                FileJob job;
                job.direction = FileJob::Direction::Upload;
                job.localFolder = plan.folderJobs[index].local;
                job.remoteFolder = plan.folderJobs[index].remote;
                job.name = file.path.section(u'/', -1);
                job.byPath = true;
                job.size = file.size;
                job.folder = index;
                plan.fileJobs.append(job);
            }
        }
    }
    return plan;
}

bool UploadBatch::Run(TransferSession& session, const BatchCallbacks& callbacks, const BatchConnections* connections)
{
    const OptionsHeld held = HoldOptions(session);

    // The folders first, each before what it holds; a folder that can be neither made nor
    // listed keeps its files here.
    QList<bool> folderFailed(plan.folderJobs.size(), false);
    QList<std::shared_ptr<const RemoteEntryList>> folderEntries(plan.folderJobs.size());
    for (qsizetype i = 0; i < plan.folderJobs.size(); ++i) {
        const FolderJob& folder = plan.folderJobs[i];
        if (!folder.plannedFailure.isEmpty())
            tally.Count(false, folder.plannedFailure);
        RemoteEntryList entries;
        const bool ready = MakeRemoteFolder(session, folder.remote, remoteFolder, entries);
        if (session.IsCancelled())
            return false;
        if (!ready) {
            // A folder too large to list whole is left alone: its names could not be checked.
            const QString reason = entries.cut ? TransferText::WalkTooLarge.arg(entries.size()) : FailureReason(session);
            tally.Count(false, folder.remote + QStringLiteral(": ") + reason);
            folderFailed[i] = true;
            continue;
        }
        folderEntries[i] = std::make_shared<const RemoteEntryList>(std::move(entries));
    }
    QList<FileJob> jobs = plan.fileJobs;
    // In a folder made just now no name is taken, but a server that folds letter case takes
    // "A.txt" and "a.txt" for one file: such names are asked about as anywhere else.
    QHash<std::pair<int, QString>, int> foldedNames;
    for (const FileJob& job : std::as_const(jobs))
        if (job.folder >= 0)
            ++foldedNames[{job.folder, job.name.toCaseFolded()}];
    for (FileJob& job : jobs)
        if (job.folder >= 0) {
            job.entries = folderEntries[job.folder];
            job.targetFree = job.entries && job.entries->madeNow &&
                             foldedNames.value({job.folder, job.name.toCaseFolded()}) == 1;
        }
    return RunJobs(session, jobs, folderFailed, callbacks, connections, remoteFolder);
}
