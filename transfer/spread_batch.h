#pragma once

#include "transfer/connection_pool.h"
#include "transfer/file_jobs.h"
#include "transfer/outcome.h"
#include "transfer/spread_run.h"
#include "transfer/transfer_session.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

// 中止 for a batch over several connections, pressed on the window's thread while the batch runs
// on the worker: it reaches the extra connections while they are being opened and every
// connection while the files move. A cancel that comes before either reaches it as it begins.
class BatchCancel {
public:
    // Before a batch, on the thread that cancels.
    void Reset();
    // From any thread.
    void Cancel();
    bool IsCancelled() const;

private:
    friend class SpreadFileRunner;
    // What the running batch holds now; nullptr for nothing. A cancel already made reaches it.
    void Attach(ConnectionPool* pool, SpreadRun* run);

    mutable std::mutex lock;
    bool cancelled = false;
    ConnectionPool* pool = nullptr;
    SpreadRun* run = nullptr;
};

// What a batch needs to spread its files over several connections at once.
struct BatchConnections {
    // The batch's connections at most, the caller's own included.
    int most = 1;
    // Host, port, user and password of the caller's login; the rest is taken from the caller's
    // session when the batch starts.
    SessionRecipe login;
    // Makes an unconnected session that asks its questions where the caller's does.
    std::function<std::unique_ptr<TransferSession>()> makeSession;
    BatchCancel* cancel = nullptr;  // optional; not owned
    // A batch the connections at work would end sooner gets no more (SpreadRun::ExtraWorthFrom);
    // 0 opens them all at once.
    std::chrono::milliseconds extrasWorthFrom = SpreadRun::ExtraWorthFrom;
};

// How many connections a batch of that many file jobs uses: 1 without connections.
int ConnectionsFor(const BatchConnections* connections, qsizetype jobs);

// What the upload and download batches share: the transfer options read once, on the window's
// thread, for the whole batch; the plan; and what the running of the file jobs left to say.
class FileBatch {
public:
    const BatchPlan& Planned() const { return plan; }
    const BatchTally& Tally() const { return tally; }
    // What became of a file a cancel cut short.
    const QString& CutShort() const { return cutShort; }
    // What the batch found of its connections (a server that took fewer): for the log, once.
    const QStringList& Notices() const { return notices; }

protected:
    FileBatch() : options(TransferSession::TransferOptions::Read()) {}
    // The batch's options held by the session for as long as the returned scope lives.
    struct OptionsHeld {
        TransferSession& session;
        ~OptionsHeld() { session.HoldTransferOptions(std::nullopt); }
    };
    [[nodiscard]] OptionsHeld HoldOptions(TransferSession& session) const
    {
        session.HoldTransferOptions(options);
        return OptionsHeld{session};
    }
    // Runs the file jobs after the batch's folders: over several connections where the batch may
    // and has more than one file, else one after another on the session. False when cancelled.
    bool RunJobs(TransferSession& session, const QList<FileJob>& jobs, const QList<bool>& folderFailed,
                 const BatchCallbacks& callbacks, const BatchConnections* connections, const QString& returnTo);

    TransferSession::TransferOptions options;
    BatchPlan plan;
    BatchTally tally;
    QString cutShort;
    QStringList notices;
};

// Runs a plan's file jobs over several sessions at once: the caller's, and extra ones opened for
// the batch and closed after it. Each file is prepared on its connection, asked about when every
// earlier file's questions are over, and moved; outcomes are counted and logged in the batch's
// order, as FileJobRunner does on one session.
class SpreadFileRunner {
public:
    SpreadFileRunner(const BatchPlan& plan, const BatchCallbacks& callbacks, BatchTally& tally,
                     TransferSession::TransferOptions options);
    // The session is the caller's, logged in and in folder; the jobs' files that go into a
    // folder that could not be made are left out. False when the batch was cancelled.
    bool Run(TransferSession& session, const BatchConnections& connections, const QList<FileJob>& jobs,
             const QList<bool>& folderFailed, const QString& folder);
    // What became of the files a cancel cut short, one line each; empty when nothing is left.
    const QString& CutShort() const { return cutShort; }
    // What the log says of the connections (fewer than asked for, and why); said once.
    const QStringList& Notices() const { return notices; }

private:
    void Counted(int job, const FileOutcome& outcome);

    const BatchPlan& plan;
    const BatchCallbacks& callbacks;
    BatchTally& tally;
    TransferSession::TransferOptions options;
    std::mutex counting;  // the tally and the log lines, handed in from any connection's thread
    QStringList cutShortLines;
    QString cutShort;
    QStringList notices;
};
