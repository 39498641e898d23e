#pragma once

#include "transfer/outcome.h"
#include "transfer/transfer_session.h"
#include "transfer/remote_entries.h"
#include "transfer/transfer_progress.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

// The pieces a transfer batch is made of: folders to make first, then one job per file, each
// run through RunFileJob on a session. A batch lists its jobs up front, so that they can as well
// be handed to several sessions at once.

// What a batch's selection names: a file, or a folder that goes whole.
struct BatchItem {
    QString name;  // bare, as listed
    bool isFolder = false;
    // An upload's local folder the item is in, when it is not the batch's (files dropped from
    // elsewhere); empty for the batch's own.
    QString folder = {};
};

// A folder a batch makes before the files that go into it.
struct FolderJob {
    QString local;   // the folder on this machine
    QString remote;  // the folder on the server
    // A failure known when the batch was planned (a local folder that could not be read whole):
    // counted when the batch gets to this folder; the folder goes all the same.
    QString plannedFailure;
};

// One file of a batch.
struct FileJob {
    enum class Direction { Upload, Download };
    Direction direction = Direction::Upload;
    QString localFolder;
    QString remoteFolder;
    QString name;
    // An upload to remoteFolder/name; without, to the name in the server's current folder.
    bool byPath = false;
    qint64 size = 0;  // what the batch's byte count takes from it; 0 when unknown
    int folder = -1;  // the FolderJob it goes into; -1 for a file selected on its own
    // The listing of the target's folder (uploads) or of the file's folder (downloads) the
    // questions and sizes go by; set by the time the job runs.
    std::shared_ptr<const RemoteEntryList> entries;
    // An upload into a folder this batch has just made, whose name no other file of that folder
    // shares even with letter case ignored: nothing of the name can be on the server, and it need
    // not be asked about.
    bool targetFree = false;
};

// What became of one file.
struct FileOutcome {
    bool succeeded = false;
    // 中止 was pressed during it: the batch stops. failure then says what became of an upload
    // that was cut short (empty when nothing is left of it).
    bool cancelled = false;
    // Why it failed; empty after a success and when the user declined to replace a file.
    QString failure;
    QString logLine;  // the log's line for the file (none after a cancel)
};

// Moves one file on the session: the one step every batch goes through for each of its files.
FileOutcome RunFileJob(TransferSession& session, const FileJob& job);
// The same in the session's three steps, taken apart: the job's steps to start from, and the
// outcome once they have ended (succeeded: what the last step that ran said).
TransferSession::FileSteps FileStepsOf(const FileJob& job);
FileOutcome FileOutcomeOf(const TransferSession& session, const FileJob& job, bool succeeded);

// How a running batch reports, called on the thread the batch runs on.
struct BatchCallbacks {
    // The batch's figures (connections[0] this session's file); with no connection when a file's
    // transfer has ended and nothing moves.
    std::function<void(const BatchProgress&)> progress;
    std::function<void(const QString& line)> log;
};

// What a batch's question counts: folders (all levels down), files, and their bytes.
struct BatchPlan {
    qint64 folders = 0;
    qint64 files = 0;
    qint64 bytes = 0;
    bool hasFolders = false;  // a folder tree is part of it: the question counts, the box stays
    QList<FolderJob> folderJobs;
    QList<FileJob> fileJobs;  // in batch order
};

// Runs the file jobs of a plan one after another on one session: holds the transfer options for
// the batch's time, counts outcomes into the tally, reports figures and log lines. skip tells a
// job whose folder could not be made. False when the batch was cancelled; cutShort then holds
// the cancelled file's failure.
class FileJobRunner {
public:
    FileJobRunner(const BatchPlan& plan, const BatchCallbacks& callbacks, BatchTally& tally);
    // Each job in order; false at a cancel.
    bool Run(TransferSession& session, const QList<FileJob>& jobs, const QList<bool>& folderFailed);
    const QString& CutShort() const { return cutShort; }

private:
    void Report(const FileProgress* file) const;

    const BatchPlan& plan;
    const BatchCallbacks& callbacks;
    BatchTally& tally;
    QElapsedTimer sinceStart;
    qint64 filesDone = 0;
    qint64 bytesDone = 0;
    QString cutShort;
};
