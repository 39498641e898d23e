#include "transfer/spread_run.h"

#include "transfer/byte_sums.h"

#include <algorithm>
#include <thread>

SpreadRun::SpreadRun(SpreadJobs jobs) : jobs(std::move(jobs)) {}

SpreadRun::Result SpreadRun::Run(const std::vector<FtpSession*>& runOn, const std::function<bool(int)>& open)
{
    const int count = qMax(0, jobs.count);
    {
        const std::lock_guard guard(lock);
        sessions = runOn;
        start = std::chrono::steady_clock::now();
        turnOver.assign(size_t(count), false);
        ended.assign(size_t(count), false);
        outcomes.assign(size_t(count), JobOutcome{});
        files.assign(sessions.size(), FileProgress{});
        bytesAll = 0;
        for (int job = 0; jobs.size && job < count; ++job)
            bytesAll = AddBytes(bytesAll, jobs.size(job));
        // A cancel that came before the run reaches the sessions now.
        if (cancelled)
            for (FtpSession* session : sessions)
                session->Cancel();
    }
    std::vector<std::thread> threads;
    for (int k = 1; k < int(runOn.size()); ++k) {
        threads.emplace_back([this, k, &open] {
            if (!open || (ExtraWorthOpening() && open(k)))
                Drive(k);
        });
    }
    if (!runOn.empty())
        Drive(0);
    for (std::thread& thread : threads)
        thread.join();
    Publish(true);

    const std::lock_guard guard(lock);
    Result result;
    result.ended = nextReported;
    result.cancelled = cancelled;
    result.connectionsLost = !cancelled && nextJob < count;
    return result;
}

void SpreadRun::Cancel()
{
    const std::lock_guard guard(lock);
    cancelled = true;
    for (FtpSession* session : sessions)
        session->Cancel();
    turnChanged.notify_all();
    extraWait.notify_all();
}

bool SpreadRun::ExtraWorthOpening()
{
    std::unique_lock guard(lock);
    const auto worthFrom = start + extraWorthFrom;
    // The pace is judged once the run has lasted a tenth of that (the first file's also carries
    // what a run does once: the type, the first data connection), and again every tenth; the
    // waits do not follow every job, which would wake every waiting thread for each small file.
    const auto tenth = std::max(extraWorthFrom / 10, std::chrono::milliseconds(1));
    const auto sampled = start + tenth;
    for (;;) {
        if (cancelled || nextJob >= jobs.count)
            return false;
        const auto now = std::chrono::steady_clock::now();
        if (now >= worthFrom)
            return true;
        // What is left at the pace so far, by jobs and by bytes, on the connections at work.
        if (endedCount > 0 && now >= sampled) {
            const double elapsed = std::chrono::duration<double, std::milli>(now - start).count();
            double left = elapsed * double(jobs.count - endedCount) / endedCount;
            if (bytesEnded > 0 && bytesAll > bytesEnded)
                left = std::max(left, elapsed * double(bytesAll - bytesEnded) / double(bytesEnded));
            if (left >= double(extraWorthFrom.count()))
                return true;
        }
        extraWait.wait_until(guard, std::min(worthFrom, std::max(sampled, now + tenth)));
    }
}

void SpreadRun::Drive(int connection)
{
    FtpSession& session = *sessions[size_t(connection)];
    for (;;) {
        int job = 0;
        {
            const std::lock_guard guard(lock);
            // A connection that broke takes no job: the jobs still to come go to the others.
            if (cancelled || nextJob >= jobs.count || !session.IsConnected())
                return;
            job = nextJob++;
            // Connections still waiting to open have nothing left to take.
            if (nextJob == jobs.count)
                extraWait.notify_all();
        }
        RunJob(connection, job);
    }
}

void SpreadRun::RunJob(int connection, int job)
{
    FtpSession& session = *sessions[size_t(connection)];
    const JobPlace place{session, connection, job,
                         [this, connection](const FileProgress& file) { Report(connection, file); }};
    FileProgress file;
    if (jobs.name)
        file.name = jobs.name(job);
    if (jobs.size)
        file.total = jobs.size(job);
    Report(connection, file);

    const auto isCancelled = [this] {
        const std::lock_guard guard(lock);
        return cancelled;
    };
    // The end of a job that did not transfer: a broken connection says why it failed, a cancel
    // outweighs what the step said.
    const auto endEarly = [&](const JobStep& step) {
        JobOutcome outcome{step.end, step.reason, connection};
        if (isCancelled()) {
            outcome = {JobOutcome::State::Cancelled, {}, connection};
        } else if (!session.IsConnected()) {
            outcome.state = JobOutcome::State::Failed;
            if (outcome.reason.isEmpty())
                outcome.reason = session.GetReplyText().trimmed();
        }
        Finish(connection, job, outcome);
    };

    JobStep step = jobs.prepare ? jobs.prepare(place) : JobStep::GoOn();
    if (!step.goOn || isCancelled() || !session.IsConnected()) {
        PassTurn(job);
        return endEarly(step.goOn ? JobStep::End(JobOutcome::State::Failed) : step);
    }
    if (!WaitTurn(job)) {
        PassTurn(job);
        return endEarly(JobStep::End(JobOutcome::State::Cancelled));
    }
    step = jobs.ask ? jobs.ask(place) : JobStep::GoOn();
    PassTurn(job);
    if (!step.goOn || isCancelled() || !session.IsConnected())
        return endEarly(step.goOn ? JobStep::End(JobOutcome::State::Failed) : step);

    step = jobs.transfer ? jobs.transfer(place) : JobStep::GoOn();
    JobOutcome outcome{step.goOn ? JobOutcome::State::Done : step.end, step.reason, connection};
    if (outcome.state != JobOutcome::State::Done) {
        if (isCancelled())
            outcome = {JobOutcome::State::Cancelled, {}, connection};
        else if (outcome.state == JobOutcome::State::Failed && outcome.reason.isEmpty())
            outcome.reason = session.GetReplyText().trimmed();
    }
    Finish(connection, job, outcome);
}

bool SpreadRun::WaitTurn(int job)
{
    std::unique_lock guard(lock);
    turnChanged.wait(guard, [&] { return cancelled || nextTurn == job; });
    return !cancelled;
}

void SpreadRun::PassTurn(int job)
{
    {
        const std::lock_guard guard(lock);
        turnOver[size_t(job)] = true;
        while (nextTurn < jobs.count && turnOver[size_t(nextTurn)])
            ++nextTurn;
    }
    turnChanged.notify_all();
}

void SpreadRun::Finish(int connection, int job, JobOutcome outcome)
{
    {
        std::unique_lock guard(lock);
        outcomes[size_t(job)] = std::move(outcome);
        ended[size_t(job)] = true;
        ++endedCount;
        if (jobs.size)
            bytesEnded = AddBytes(bytesEnded, jobs.size(job));
        files[size_t(connection)] = FileProgress{};
        // One thread hands the outcomes out at a time, in order; one that finds it busy leaves
        // its outcome for that thread to pick up.
        if (!reporting) {
            reporting = true;
            while (nextReported < jobs.count && ended[size_t(nextReported)]) {
                const int reported = nextReported++;
                const JobOutcome next = outcomes[size_t(reported)];
                guard.unlock();
                if (jobs.outcome)
                    jobs.outcome(reported, next);
                guard.lock();
            }
            reporting = false;
        }
    }
    Publish(false);
}

void SpreadRun::Report(int connection, const FileProgress& file)
{
    {
        const std::lock_guard guard(lock);
        FileProgress& shown = files[size_t(connection)];
        // A transfer being set up does not know its size yet; the batch's listing does.
        const qint64 listed = shown.total;
        shown = file;
        if (shown.total < 0)
            shown.total = listed;
    }
    Publish(false);
}

void SpreadRun::Publish(bool last)
{
    if (!jobs.progress)
        return;
    std::unique_lock publish(publishing, std::defer_lock);
    // A connection in the middle of a transfer does not wait for another's call: its figures are
    // in the next one.
    if (last)
        publish.lock();
    else if (!publish.try_lock())
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!last && published && now - lastPublished < ProgressInterval)
        return;
    published = true;
    lastPublished = now;
    BatchProgress progress;
    {
        const std::lock_guard guard(lock);
        progress.files = jobs.count;
        progress.filesDone = endedCount;
        progress.bytes = bytesAll;
        progress.bytesDone = bytesEnded;
        for (const FileProgress& file : files) {
            progress.connections.append(file);
            progress.bytesDone = AddBytes(progress.bytesDone, file.bytes);
        }
        progress.elapsedMs = std::chrono::duration_cast<std::chrono::milliseconds>(now - start).count();
        progress.isBatch = true;
    }
    jobs.progress(progress);
}
