#include "transfer/file_jobs.h"

#include "transfer/byte_sums.h"
#include "transfer/strings.h"
#include "transfer/transfer_session.h"

#include <QScopeGuard>

TransferSession::FileSteps FileStepsOf(const FileJob& job)
{
    static const RemoteEntryList NoEntries;
    TransferSession::FileSteps steps;
    steps.upload = job.direction == FileJob::Direction::Upload;
    steps.localFolder = job.localFolder;
    steps.remoteFolder = job.remoteFolder;
    steps.name = job.name;
    steps.byPath = job.byPath;
    steps.entries = job.entries ? job.entries.get() : &NoEntries;
    steps.targetFree = job.targetFree;
    return steps;
}

FileOutcome FileOutcomeOf(const TransferSession& session, const FileJob& job, bool succeeded)
{
    const bool upload = job.direction == FileJob::Direction::Upload;
    FileOutcome outcome;
    outcome.succeeded = succeeded;
    outcome.failure = session.TransferFailure();
    if (session.IsCancelled()) {
        // A new file that was cut short is gone again; one that replaced another says so.
        outcome.cancelled = true;
        return outcome;
    }
    if (upload)
        outcome.logLine = outcome.succeeded ? session.WithVerification(TransferText::UploadSucceededLine.arg(job.name))
                                            : TransferText::UploadFailedLine.arg(job.name);
    else
        outcome.logLine = outcome.succeeded ? session.WithVerification(TransferText::DownloadSucceededLine.arg(job.name))
                                            : TransferText::DownloadFailed;
    return outcome;
}

FileOutcome RunFileJob(TransferSession& session, const FileJob& job)
{
    // The same steps as over several connections, so that what the job knows (a folder made just
    // now) counts here too.
    TransferSession::FileSteps steps = FileStepsOf(job);
    const bool succeeded = session.PrepareFile(steps) && session.AskAboutFile(steps) && session.MoveFile(steps);
    return FileOutcomeOf(session, job, succeeded);
}

FileJobRunner::FileJobRunner(const BatchPlan& plan, const BatchCallbacks& callbacks, BatchTally& tally)
    : plan(plan), callbacks(callbacks), tally(tally)
{
    sinceStart.start();
}

void FileJobRunner::Report(const FileProgress* file) const
{
    if (!callbacks.progress)
        return;
    BatchProgress progress;
    progress.filesDone = filesDone;
    progress.files = plan.files;
    progress.bytesDone = AddBytes(bytesDone, file ? file->bytes : 0);
    progress.bytes = plan.bytes;
    progress.elapsedMs = sinceStart.elapsed();
    progress.isBatch = plan.hasFolders;
    if (file)
        progress.connections.append(*file);
    callbacks.progress(progress);
}

bool FileJobRunner::Run(TransferSession& session, const QList<FileJob>& jobs, const QList<bool>& folderFailed)
{
    // The session's figures go into the batch's for the batch's time.
    const TransferSession::FileFigures previous = session.FileProgressShown();
    session.SetFileProgressShown([this](const FileProgress* file) { Report(file); });
    const auto restore = qScopeGuard([&] { session.SetFileProgressShown(previous); });
    for (const FileJob& job : jobs) {
        // The files of a folder that could not be made stay where they are.
        if (job.folder >= 0 && folderFailed.value(job.folder))
            continue;
        const FileOutcome outcome = RunFileJob(session, job);
        if (outcome.cancelled) {
            cutShort = outcome.failure;
            return false;
        }
        ++filesDone;
        bytesDone = AddBytes(bytesDone, job.size);
        tally.Count(outcome.succeeded || outcome.failure.isEmpty(), outcome.failure);
        if (callbacks.log)
            callbacks.log(outcome.logLine);
    }
    return true;
}
