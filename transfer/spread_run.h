#pragma once

#include "engine/ftp_session.h"
#include "transfer/transfer_progress.h"

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

// What became of one job of a spread run.
struct JobOutcome {
    enum class State {
        Done,       // transferred
        Skipped,    // a step chose not to transfer (the user said no, nothing to do)
        Failed,     // a step failed, or the job's connection broke
        Cancelled,  // the run was cancelled while the job was under way
    };
    State state = State::Done;
    QString reason;      // why it failed or was skipped: the server's reply or a local reason
    int connection = 0;  // the session that ran it; 0 is the caller's
};

// What a step tells the run: go on to the job's next step, or end the job here.
struct JobStep {
    bool goOn = true;
    JobOutcome::State end = JobOutcome::State::Done;
    QString reason;

    static JobStep GoOn() { return {}; }
    static JobStep End(JobOutcome::State state, const QString& reason = {}) { return {false, state, reason}; }
};

// Where a job runs, handed to each of its steps on the thread of its connection.
struct JobPlace {
    FtpSession& session;
    int connection;  // 0: the caller's session
    int job;
    // Tells the run how far the connection's file is (any number of times, from this thread).
    std::function<void(const FileProgress& file)> report;
};

// The jobs of a run: indices 0..count-1 in batch order, and the steps each goes through.
struct SpreadJobs {
    int count = 0;
    // The file's size as listed (-1: unknown) and its name: the batch's figures. Optional.
    std::function<qint64(int job)> size;
    std::function<QString(int job)> name;
    // Round trips on the job's connection before its question turn (SIZE, MLST). Optional.
    std::function<JobStep(const JobPlace& place)> prepare;
    // The question turn: asked only once the turn of every earlier job is over, one job at a
    // time, and before the job transfers. Optional.
    std::function<JobStep(const JobPlace& place)> ask;
    // The transfer itself; GoOn counts as Done.
    std::function<JobStep(const JobPlace& place)> transfer;
    // Each job's outcome, in job order, as soon as every earlier job has had its own; one call
    // at a time, on whichever connection's thread completed the order.
    std::function<void(int job, const JobOutcome& outcome)> outcome;
    // The batch's figures, at most about ten times a second and once more at the end;
    // connections[k] is session k's current file. One call at a time, on any connection's thread.
    std::function<void(const BatchProgress& progress)> progress;
};

// Runs a batch's file jobs over several sessions at once, each session on a thread of its own
// (the first on the calling thread: the window's worker drives the window's session), taking the
// jobs in batch order. A connection that breaks fails the job it had, with the reason, and leaves
// the run; the others take the remaining jobs. Jobs never started have no outcome.
class SpreadRun {
public:
    explicit SpreadRun(SpreadJobs jobs);
    SpreadRun(const SpreadRun&) = delete;
    SpreadRun& operator=(const SpreadRun&) = delete;

    struct Result {
        int ended = 0;             // jobs that had an outcome
        bool cancelled = false;    // Cancel() stopped the run
        bool connectionsLost = false;  // jobs were left and no connection was left to take them
    };
    // The sessions come connected, in their folder, with no cancel in force; sessions[0] is
    // driven by the calling thread. With open, sessions 1.. may come unconnected: each one's
    // thread calls open(k) first and takes jobs once it returns true, so that the first session's
    // work does not wait for the others' logins. An unconnected session is opened only when the
    // run is worth it (see ExtraWorthFrom) and jobs are left. Returns when every connection has
    // stopped. They stay connected (or not) as the run left them: settling a cancel and closing
    // is the caller's.
    Result Run(const std::vector<FtpSession*>& sessions, const std::function<bool(int connection)>& open = {});
    // From any thread: every session's Cancel() at once, and no job starts after it.
    void Cancel();

    static constexpr std::chrono::milliseconds ProgressInterval{100};
    // Another connection is opened only for a run that the connections at work would not end
    // within this time, as the pace of the jobs ended in its first tenth tells (or that has
    // lasted it): a login costs round trips, and on many servers a password check that takes
    // the processor time the transfers need. A short run ends sooner on the connections it has.
    static constexpr std::chrono::milliseconds ExtraWorthFrom{1000};
    // Before Run; 0 opens every connection at once.
    void SetExtraWorthFrom(std::chrono::milliseconds from) { extraWorthFrom = from; }

private:
    void Drive(int connection);
    // On an extra connection's thread, before it opens: waits until the run is worth another
    // connection (true), or until no job is left to take or the run was cancelled (false).
    bool ExtraWorthOpening();
    void RunJob(int connection, int job);
    // Waits for the job's question turn; false when the run was cancelled meanwhile.
    bool WaitTurn(int job);
    void PassTurn(int job);
    void Finish(int connection, int job, JobOutcome outcome);
    void Report(int connection, const FileProgress& file);
    void Publish(bool last);

    SpreadJobs jobs;
    std::vector<FtpSession*> sessions;
    std::chrono::steady_clock::time_point start;

    std::chrono::milliseconds extraWorthFrom = ExtraWorthFrom;

    std::mutex lock;  // everything below
    std::condition_variable turnChanged;
    std::condition_variable extraWait;  // the last job taken, a cancel
    bool cancelled = false;
    int nextJob = 0;
    int nextTurn = 0;
    std::vector<bool> turnOver;
    std::vector<bool> ended;
    std::vector<JobOutcome> outcomes;
    int nextReported = 0;
    bool reporting = false;  // a thread is handing outcomes out
    int endedCount = 0;
    qint64 bytesEnded = 0;
    qint64 bytesAll = 0;
    std::vector<FileProgress> files;

    std::mutex publishing;  // one progress call at a time
    std::chrono::steady_clock::time_point lastPublished;
    bool published = false;
};
