#include "transfer/spread_batch.h"

#include "transfer/spread_run.h"
#include "transfer/strings.h"

#include <QScopeGuard>

void BatchCancel::Reset()
{
    const std::lock_guard guard(lock);
    cancelled = false;
}

void BatchCancel::Cancel()
{
    const std::lock_guard guard(lock);
    cancelled = true;
    if (pool)
        pool->Cancel();
    if (run)
        run->Cancel();
}

bool BatchCancel::IsCancelled() const
{
    const std::lock_guard guard(lock);
    return cancelled;
}

void BatchCancel::Attach(ConnectionPool* openingPool, SpreadRun* runningRun)
{
    const std::lock_guard guard(lock);
    pool = openingPool;
    run = runningRun;
    if (!cancelled)
        return;
    if (pool)
        pool->Cancel();
    if (run)
        run->Cancel();
}

int ConnectionsFor(const BatchConnections* connections, qsizetype jobs)
{
    if (!connections || !connections->makeSession || connections->login.password.isEmpty() || jobs < 2)
        return 1;
    return int(qBound<qsizetype>(1, qsizetype(connections->most), jobs));
}

SpreadFileRunner::SpreadFileRunner(const BatchPlan& plan, const BatchCallbacks& callbacks, BatchTally& tally,
                                   TransferSession::TransferOptions options)
    : plan(plan), callbacks(callbacks), tally(tally), options(std::move(options))
{
}

void SpreadFileRunner::Counted(int, const FileOutcome& outcome)
{
    const std::lock_guard guard(counting);
    tally.Count(outcome.succeeded || outcome.failure.isEmpty(), outcome.failure);
    if (callbacks.log && !outcome.logLine.isEmpty())
        callbacks.log(outcome.logLine);
}

bool SpreadFileRunner::Run(TransferSession& session, const BatchConnections& connections,
                           const QList<FileJob>& allJobs, const QList<bool>& folderFailed, const QString& folder)
{
    // The files of a folder that could not be made stay where they are.
    QList<FileJob> jobs;
    for (const FileJob& job : allJobs)
        if (job.folder < 0 || !folderFailed.value(job.folder))
            jobs.append(job);
    if (session.IsCancelled())
        return false;

    // The extra connections are what the caller's session is: its login, encryption, certificate,
    // character set, passive mode and type, in the batch's folder.
    SessionRecipe recipe = SessionRecipe::Of(session);
    recipe.host = connections.login.host;
    recipe.port = connections.login.port;
    recipe.user = connections.login.user;
    recipe.password = connections.login.password;
    recipe.folder = folder;
    const auto makeSession = connections.makeSession;
    ConnectionPool pool(
        recipe, [makeSession]() -> std::unique_ptr<FtpSession> { return makeSession(); },
        [this](const QString& line) { notices << line; });
    BatchCancel noCancel;
    BatchCancel& cancel = connections.cancel ? *connections.cancel : noCancel;
    cancel.Attach(&pool, nullptr);
    // The extra connections log in on their own threads while the caller's starts on the files.
    pool.Make(ConnectionsFor(&connections, jobs.size()));

    std::vector<TransferSession*> sessions{&session};
    for (FtpSession* extra : pool.Sessions()) {
        // The pool holds what makeSession made; connection k is the pool's session k-1.
        auto* transfer = static_cast<TransferSession*>(extra);
        transfer->HoldTransferOptions(options);
        sessions.push_back(transfer);
    }
    const TransferSession::FileFigures previous = session.FileProgressShown();
    const auto restore = qScopeGuard([&] { session.SetFileProgressShown(previous); });

    // One slot per job, written by the connection that runs it before the run hands its outcome
    // on (under the run's lock), read when the outcome comes.
    std::vector<TransferSession::FileSteps> steps(size_t(jobs.size()));
    std::vector<std::optional<FileOutcome>> results(size_t(jobs.size()));
    const auto on = [&](const JobPlace& place) -> TransferSession& { return *sessions[size_t(place.connection)]; };
    // A step that left the connection broken fails its file as a transfer on it would.
    const auto brokenEnd = [&](const JobPlace& place) {
        TransferSession& running = on(place);
        if (running.IsConnected() || running.IsCancelled())
            return std::optional<JobStep>();
        const FileJob& job = jobs[place.job];
        FileOutcome outcome;
        outcome.failure = FailureReason(running);
        outcome.logLine = job.direction == FileJob::Direction::Upload ? TransferText::UploadFailedLine.arg(job.name)
                                                                      : TransferText::DownloadFailed;
        results[size_t(place.job)] = outcome;
        return std::optional<JobStep>(JobStep::End(JobOutcome::State::Failed, outcome.failure));
    };
    const auto ended = [&](const JobPlace& place, bool succeeded) {
        const FileOutcome outcome = FileOutcomeOf(on(place), jobs[place.job], succeeded);
        results[size_t(place.job)] = outcome;
        steps[size_t(place.job)] = {};
        if (succeeded && !outcome.cancelled)
            return JobStep::GoOn();
        if (outcome.cancelled)
            return JobStep::End(JobOutcome::State::Cancelled);
        return JobStep::End(outcome.failure.isEmpty() ? JobOutcome::State::Skipped : JobOutcome::State::Failed,
                            outcome.failure);
    };

    SpreadJobs spread;
    spread.count = int(jobs.size());
    spread.size = [&](int job) { return jobs[job].size; };
    spread.name = [&](int job) { return jobs[job].name; };
    spread.prepare = [&](const JobPlace& place) {
        TransferSession::FileSteps& file = steps[size_t(place.job)];
        file = FileStepsOf(jobs[place.job]);
        if (!on(place).PrepareFile(file))
            return ended(place, false);
        return brokenEnd(place).value_or(JobStep::GoOn());
    };
    spread.ask = [&](const JobPlace& place) {
        if (!on(place).AskAboutFile(steps[size_t(place.job)]))
            return ended(place, false);
        return brokenEnd(place).value_or(JobStep::GoOn());
    };
    spread.transfer = [&](const JobPlace& place) {
        TransferSession& running = on(place);
        const auto report = place.report;
        running.SetFileProgressShown([report](const FileProgress* file) {
            if (file)
                report(*file);
        });
        return ended(place, running.MoveFile(steps[size_t(place.job)]));
    };
    spread.outcome = [&](int job, const JobOutcome& outcome) {
        const std::optional<FileOutcome>& result = results[size_t(job)];
        if (outcome.state == JobOutcome::State::Cancelled || (result && result->cancelled)) {
            if (result && !result->failure.isEmpty())
                cutShortLines << result->failure;
            return;
        }
        if (result) {
            Counted(job, *result);
            return;
        }
        // Ended by the run itself: the connection broke between two steps.
        FileOutcome failed;
        failed.failure = outcome.reason.isEmpty() ? TransferText::ReasonConnectionLost : outcome.reason;
        failed.logLine = jobs[job].direction == FileJob::Direction::Upload
            ? TransferText::UploadFailedLine.arg(jobs[job].name)
            : TransferText::DownloadFailed;
        Counted(job, failed);
    };
    spread.progress = [this](const BatchProgress& figures) {
        if (!callbacks.progress)
            return;
        BatchProgress whole = figures;
        whole.files = plan.files;
        whole.bytes = plan.bytes;
        callbacks.progress(whole);
    };

    SpreadRun run(spread);
    run.SetExtraWorthFrom(connections.extrasWorthFrom);
    cancel.Attach(&pool, &run);
    std::vector<FtpSession*> runOn(sessions.begin(), sessions.end());
    const SpreadRun::Result result = run.Run(runOn, [&pool](int k) { return pool.OpenExtra(size_t(k - 1)); });
    cancel.Attach(&pool, nullptr);
    pool.Settle();
    // The extra connections go now, the cancelled ones without a word to the server.
    pool.Close();
    cancel.Attach(nullptr, nullptr);

    cutShort = cutShortLines.join(u'\n');
    if (result.cancelled)
        return false;
    // Files no connection was left to take fail as they would have on a connection that broke.
    for (int job = result.ended; job < int(jobs.size()); ++job)
        Counted(job, {false, false, TransferText::ReasonConnectionLost, {}});
    return true;
}

bool FileBatch::RunJobs(TransferSession& session, const QList<FileJob>& jobs, const QList<bool>& folderFailed,
                        const BatchCallbacks& callbacks, const BatchConnections* connections, const QString& returnTo)
{
    if (ConnectionsFor(connections, jobs.size()) > 1) {
        SpreadFileRunner spread(plan, callbacks, tally, options);
        const bool finished = spread.Run(session, *connections, jobs, folderFailed, returnTo);
        cutShort = spread.CutShort();
        notices = spread.Notices();
        return finished;
    }
    FileJobRunner runner(plan, callbacks, tally);
    const bool finished = runner.Run(session, jobs, folderFailed);
    cutShort = runner.CutShort();
    return finished;
}
