// A batch over several connections at once, against the real servers the test command starts:
// the extra sessions' logins, the order of outcomes and questions, a server's connection limit,
// a broken connection, and a cancel.
#include "transfer/connection_pool.h"
#include "transfer/connection_strings.h"
#include "transfer/local_files.h"
#include "transfer/spread_run.h"
#include "tests/support/test_servers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <thread>

#include <sys/stat.h>

namespace {

using State = JobOutcome::State;

// Holds each thread that arrives until `needed` have; a guard ends the wait of a test gone wrong.
class Gate {
public:
    explicit Gate(int needed) : needed(needed) {}
    bool Arrive()
    {
        std::unique_lock guard(lock);
        if (++arrived >= needed)
            opened.notify_all();
        return opened.wait_for(guard, std::chrono::seconds(60), [&] { return arrived >= needed; });
    }

private:
    std::mutex lock;
    std::condition_variable opened;
    int arrived = 0;
    int needed;
};

QByteArray Bytes(int job, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 31 + job * 7) % 251);
    return bytes;
}

QByteArray Read(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Write(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QString Name(int job)
{
    return QStringLiteral("f%1.bin").arg(job, 2, 10, QLatin1Char('0'));
}

class SpreadRunTest : public testing::Test {
protected:
    // The window's session, logged in and in a folder of the test's own on the server.
    void Connect(const TestServer& on)
    {
        server = on;
        first.SetPassiveMode(true);
        first.SetCertificateCheck([](const CertificateInfo&, const QString&, quint16) { return true; });
        ASSERT_TRUE(first.ConnectToServer(server.host, server.port)) << first.GetReplyText().toStdString();
        ASSERT_TRUE(first.UserLogin(server.user, server.password)) << first.GetReplyText().toStdString();
        first.QueryFeatures();
        folder = QStringLiteral("s-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        serverFolder = QDir(server.root).filePath(folder);
        ASSERT_TRUE(QDir().mkpath(serverFolder));
        // vsftpd writes as a user of its own.
        ASSERT_EQ(chmod(QFile::encodeName(serverFolder).constData(), 0777), 0);
        ASSERT_TRUE(first.ChangeDir(folder)) << first.GetReplyText().toStdString();
        first.SetTypeBinary();
    }

    SessionRecipe Recipe() const
    {
        SessionRecipe recipe = SessionRecipe::Of(first);
        recipe.host = server.host;
        recipe.port = server.port;
        recipe.user = server.user;
        recipe.password = server.password;
        recipe.folder = QStringLiteral("/") + folder;
        return recipe;
    }

    // The window's session on the named server; false when that server is not running.
    bool ConnectTo(const QString& name)
    {
        servers = TestServers();
        const TestServer* on = FindTestServer(servers, name);
        if (on)
            Connect(*on);
        return on != nullptr;
    }

    // Every extra session opened at once, each on a thread of its own: how many connections the
    // run has, the first included.
    int OpenPool(const SessionRecipe& recipe, int count)
    {
        ConnectionPool& opening = Pool(recipe);
        opening.Make(count);
        std::vector<std::thread> threads;
        for (size_t i = 0; i < opening.Sessions().size(); ++i)
            threads.emplace_back([&opening, i] { opening.OpenExtra(i); });
        for (std::thread& thread : threads)
            thread.join();
        return opening.Settle();
    }

    ConnectionPool& Pool(const SessionRecipe& recipe)
    {
        pool = std::make_unique<ConnectionPool>(
            recipe, [] { return std::make_unique<FtpSession>(); },
            [this](const QString& line) { logged << line; });
        return *pool;
    }

    std::vector<FtpSession*> All() const
    {
        std::vector<FtpSession*> all{const_cast<FtpSession*>(&first)};
        for (FtpSession* extra : pool->Sessions())
            all.push_back(extra);
        return all;
    }

    // Runs the jobs over every session, keeping the outcomes in the order they came.
    SpreadRun::Result RunAll(SpreadJobs jobs)
    {
        order.clear();
        outcomes.clear();
        jobs.outcome = [this](int job, const JobOutcome& outcome) {
            order.push_back(job);
            outcomes.push_back(outcome);
        };
        SpreadRun run(jobs);
        running = &run;
        const SpreadRun::Result result = run.Run(All());
        running = nullptr;
        return result;
    }

    void TearDown() override
    {
        pool.reset();
        if (!folder.isEmpty() && QDir(serverFolder).dirName() == folder)
            QDir(serverFolder).removeRecursively();
    }

    std::vector<TestServer> servers;
    TestServer server;
    FtpSession first;
    std::unique_ptr<ConnectionPool> pool;
    QStringList logged;
    QString folder;
    QString serverFolder;
    std::vector<int> order;
    std::vector<JobOutcome> outcomes;
    SpreadRun* running = nullptr;
    QTemporaryDir local;
};

class SpreadRunBothWays : public SpreadRunTest, public testing::WithParamInterface<const char*> {};

std::vector<int> Upto(int count)
{
    std::vector<int> jobs;
    for (int job = 0; job < count; ++job)
        jobs.push_back(job);
    return jobs;
}

TEST_P(SpreadRunBothWays, FilesArriveWholeOverThreeConnectionsWithOutcomesInJobOrder)
{
    if (!ConnectTo(QString::fromLatin1(GetParam())))
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
    ASSERT_EQ(OpenPool(Recipe(), 3), 3);
    EXPECT_TRUE(logged.isEmpty()) << logged.join(u'\n').toStdString();

    constexpr int Files = 12;
    const QString sent = local.filePath(QStringLiteral("up"));
    const QString came = local.filePath(QStringLiteral("down"));
    QDir().mkpath(sent);
    QDir().mkpath(came);
    for (int job = 0; job < Files; ++job)
        Write(sent + u'/' + Name(job), Bytes(job, job * 1500));
    // The first three jobs wait for each other: only three connections at once get past.
    Gate three(3);
    BatchProgress last;
    SpreadJobs jobs;
    jobs.count = Files;
    jobs.size = [](int job) { return qint64(job) * 1500; };
    jobs.name = Name;
    jobs.prepare = [&](const JobPlace& place) {
        return place.job >= 3 || three.Arrive() ? JobStep::GoOn() : JobStep::End(State::Failed, "alone");
    };
    jobs.transfer = [&](const JobPlace& place) {
        return UploadFromFile(place.session, sent + u'/' + Name(place.job), Name(place.job))
                   ? JobStep::GoOn()
                   : JobStep::End(State::Failed);
    };
    jobs.progress = [&](const BatchProgress& progress) { last = progress; };
    SpreadRun::Result result = RunAll(jobs);
    EXPECT_EQ(result.ended, Files);
    EXPECT_FALSE(result.cancelled || result.connectionsLost);
    EXPECT_EQ(order, Upto(Files));
    std::set<int> used;
    for (const JobOutcome& outcome : outcomes) {
        EXPECT_EQ(outcome.state, State::Done) << outcome.reason.toStdString();
        used.insert(outcome.connection);
    }
    EXPECT_EQ(used, (std::set<int>{0, 1, 2}));
    for (int job = 0; job < Files; ++job)
        EXPECT_EQ(Read(serverFolder + u'/' + Name(job)), Bytes(job, job * 1500)) << job;
    EXPECT_EQ(last.filesDone, Files);
    EXPECT_EQ(last.connections.size(), 3);
    EXPECT_EQ(last.bytesDone, last.bytes);

    jobs.prepare = {};
    jobs.transfer = [&](const JobPlace& place) {
        return DownloadToFile(place.session, Name(place.job), came + u'/' + Name(place.job))
                   ? JobStep::GoOn()
                   : JobStep::End(State::Failed);
    };
    result = RunAll(jobs);
    EXPECT_EQ(order, Upto(Files));
    for (int job = 0; job < Files; ++job) {
        EXPECT_EQ(outcomes[size_t(job)].state, State::Done) << outcomes[size_t(job)].reason.toStdString();
        EXPECT_EQ(Read(came + u'/' + Name(job)), Bytes(job, job * 1500)) << job;
    }
}

INSTANTIATE_TEST_SUITE_P(Servers, SpreadRunBothWays, testing::Values("pyftpdlib", "vsftpd"));

// The first connection does not wait for the others' logins: here they log in only once it has
// moved a file (the run has lasted long enough to be worth them), and then take their share of
// the rest.
TEST_F(SpreadRunTest, TheFirstConnectionWorksWhileTheOthersLogIn)
{
    if (!ConnectTo(QStringLiteral("vsftpd")))
        GTEST_SKIP() << "vsftpd not running (start the suite with scripts/test.sh)";
    Pool(Recipe()).Make(3);
    constexpr int Files = 9;
    const QString sent = local.filePath(QStringLiteral("up"));
    QDir().mkpath(sent);
    for (int job = 0; job < Files; ++job)
        Write(sent + u'/' + Name(job), Bytes(job, 2000));
    // The first file's end, and one extra connection's wish to log in: each waits for the other,
    // so a run that held the first connection back until the others were in would time out here.
    Gate firstMoved(2);
    std::atomic<bool> moved{false};
    std::atomic<bool> movedInTime{false};
    std::atomic<bool> loginInTime{false};
    SpreadJobs jobs;
    jobs.count = Files;
    jobs.name = Name;
    jobs.transfer = [&](const JobPlace& place) {
        const bool ok = UploadFromFile(place.session, sent + u'/' + Name(place.job), Name(place.job));
        if (place.connection == 0 && !moved.exchange(true))
            movedInTime = firstMoved.Arrive();
        // The first connection leaves the rest to the others once they are in.
        if (place.connection == 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        return ok ? JobStep::GoOn() : JobStep::End(State::Failed);
    };
    std::set<int> used;
    jobs.outcome = [&](int, const JobOutcome& outcome) { used.insert(outcome.connection); };
    SpreadRun run(jobs);
    run.SetExtraWorthFrom(std::chrono::milliseconds(50));
    std::atomic<bool> firstWaited{false};
    const SpreadRun::Result result = run.Run(All(), [&](int k) {
        if (!firstWaited.exchange(true))
            loginInTime = firstMoved.Arrive();
        return pool->OpenExtra(size_t(k - 1));
    });
    EXPECT_EQ(result.ended, Files);
    EXPECT_TRUE(movedInTime && loginInTime);
    EXPECT_EQ(pool->Settle(), 3);
    EXPECT_TRUE(logged.isEmpty()) << logged.join(u'\n').toStdString();
    EXPECT_TRUE(used.count(0) && used.size() >= 2);
    for (int job = 0; job < Files; ++job)
        EXPECT_EQ(Read(serverFolder + u'/' + Name(job)), Bytes(job, 2000)) << job;
}

// A run that the first connection ends well within the time that makes more worth it opens no
// other: their logins would only cost.
TEST_F(SpreadRunTest, AShortRunOpensNoMoreConnections)
{
    if (!ConnectTo(QStringLiteral("pyftpdlib")))
        GTEST_SKIP() << "pyftpdlib not running (start the suite with scripts/test.sh)";
    Pool(Recipe()).Make(3);
    SpreadJobs jobs;
    jobs.count = 6;
    std::set<int> used;
    jobs.outcome = [&](int, const JobOutcome& outcome) { used.insert(outcome.connection); };
    SpreadRun run(jobs);
    run.SetExtraWorthFrom(std::chrono::seconds(30));
    std::atomic<int> opened{0};
    const SpreadRun::Result result = run.Run(All(), [&](int k) {
        ++opened;
        return pool->OpenExtra(size_t(k - 1));
    });
    EXPECT_EQ(result.ended, 6);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(used, std::set<int>{0});
    EXPECT_EQ(pool->Settle(), 1);
    EXPECT_TRUE(logged.isEmpty()) << logged.join(u'\n').toStdString();
}

TEST_F(SpreadRunTest, QuestionsComeInJobOrderOneAtATimeBeforeEachTransfer)
{
    if (!ConnectTo(QStringLiteral("pyftpdlib")))
        GTEST_SKIP() << "pyftpdlib not running (start the suite with scripts/test.sh)";
    ASSERT_EQ(OpenPool(Recipe(), 3), 3);

    // Job 0 is prepared only after job 2, so job 2 reaches its turn first and must wait.
    std::mutex lock;
    std::condition_variable changed;
    bool secondPrepared = false;
    std::atomic<bool> asking = false;
    std::vector<int> asked;
    std::set<int> transferred;
    SpreadJobs jobs;
    jobs.count = 9;
    jobs.prepare = [&](const JobPlace& place) {
        place.session.RemoteFileSize(Name(place.job));  // a round trip on its own connection
        std::unique_lock guard(lock);
        if (place.job == 2) {
            secondPrepared = true;
            changed.notify_all();
        }
        if (place.job == 0)
            changed.wait_for(guard, std::chrono::seconds(60), [&] { return secondPrepared; });
        return place.job == 4 ? JobStep::End(State::Failed, QStringLiteral("refused")) : JobStep::GoOn();
    };
    jobs.ask = [&](const JobPlace& place) {
        EXPECT_FALSE(asking.exchange(true)) << "two questions at once";
        {
            const std::lock_guard guard(lock);
            asked.push_back(place.job);
        }
        asking = false;
        return place.job == 5 ? JobStep::End(State::Skipped) : JobStep::GoOn();
    };
    jobs.transfer = [&](const JobPlace& place) {
        const std::lock_guard guard(lock);
        EXPECT_EQ(std::count(asked.begin(), asked.end(), place.job), 1) << place.job;
        transferred.insert(place.job);
        return JobStep::GoOn();
    };
    const SpreadRun::Result result = RunAll(jobs);
    EXPECT_EQ(result.ended, 9);
    EXPECT_EQ(asked, (std::vector<int>{0, 1, 2, 3, 5, 6, 7, 8}));
    EXPECT_EQ(transferred, (std::set<int>{0, 1, 2, 3, 6, 7, 8}));
    EXPECT_EQ(order, Upto(9));
    ASSERT_EQ(outcomes.size(), 9u);
    EXPECT_EQ(outcomes[4].state, State::Failed);
    EXPECT_EQ(outcomes[4].reason, QStringLiteral("refused"));
    EXPECT_EQ(outcomes[5].state, State::Skipped);
}

TEST_F(SpreadRunTest, ServerThatTakesFewerConnectionsLeavesTheBatchWithThoseSaidOnce)
{
    const std::vector<TestServer> limited = TestServers("TALLOWIN_FTP_LIMITED_SERVERS");
    if (limited.empty())
        GTEST_SKIP() << "the limited server is not running (start the suite with scripts/test.sh)";
    Connect(limited.front());
    // It takes two connections from one address: the window's and one more.
    ASSERT_EQ(OpenPool(Recipe(), 4), 2);
    EXPECT_EQ(logged, QStringList{ConnectionText::ServerLimit.arg(2)});

    SpreadJobs jobs;
    jobs.count = 6;
    jobs.transfer = [&](const JobPlace& place) {
        const QString path = local.filePath(Name(place.job));
        Write(path, Bytes(place.job, 700));
        return UploadFromFile(place.session, path, Name(place.job)) ? JobStep::GoOn() : JobStep::End(State::Failed);
    };
    EXPECT_EQ(RunAll(jobs).ended, 6);
    for (int job = 0; job < 6; ++job) {
        EXPECT_EQ(outcomes[size_t(job)].state, State::Done) << outcomes[size_t(job)].reason.toStdString();
        EXPECT_EQ(Read(serverFolder + u'/' + Name(job)), Bytes(job, 700));
    }
    EXPECT_EQ(logged.size(), 1);
}

TEST_F(SpreadRunTest, ExtraConnectionsTakeOnlyTheFirstOnesCertificateAndNeverClearText)
{
    const std::vector<TestServer> tlsServers = TlsTestServers();
    const std::vector<TestServer> plainServers = TestServers();
    const TestServer* tls = FindTestServer(tlsServers, QStringLiteral("pyftpdlib_tls"));
    const TestServer* plain = FindTestServer(plainServers, QStringLiteral("pyftpdlib"));
    if (!tls || !plain)
        GTEST_SKIP() << "servers not running (start the suite with scripts/test.sh)";
    first.SetEncryption(FtpSession::Encryption::IfAvailable);
    Connect(*tls);
    ASSERT_EQ(first.GetTlsState(), FtpSession::TlsState::Protected);
    SessionRecipe recipe = Recipe();
    EXPECT_FALSE(recipe.certificateFingerprint.isEmpty());
    EXPECT_TRUE(recipe.tlsRequired);
    ASSERT_EQ(OpenPool(recipe, 2), 2);
    EXPECT_TRUE(logged.isEmpty());
    EXPECT_EQ(pool->Sessions().front()->GetTlsState(), FtpSession::TlsState::Protected);

    recipe.certificateFingerprint = QStringLiteral("00:11:22");
    EXPECT_EQ(OpenPool(recipe, 2), 1);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.front().startsWith(ConnectionText::ExtraFailed.arg(QStringLiteral("1"), QString())));

    // A server that refuses AUTH TLS to an extra connection gets no login in clear text.
    logged.clear();
    recipe.host = plain->host;
    recipe.port = plain->port;
    EXPECT_EQ(OpenPool(recipe, 2), 1);
    ASSERT_EQ(logged.size(), 1);
    EXPECT_TRUE(logged.front().startsWith(ConnectionText::ExtraFailed.arg(QStringLiteral("1"), QString())));
}

TEST_F(SpreadRunTest, BrokenConnectionFailsItsJobAndTheOthersTakeTheRest)
{
    if (!ConnectTo(QStringLiteral("pyftpdlib")))
        GTEST_SKIP() << "pyftpdlib not running (start the suite with scripts/test.sh)";
    ASSERT_EQ(OpenPool(Recipe(), 3), 3);
    std::set<int> broken;
    std::mutex lock;
    SpreadJobs jobs;
    jobs.count = 9;
    jobs.prepare = [&](const JobPlace& place) {
        if (place.job == 1) {
            place.session.ReleaseControlSocket();
            const std::lock_guard guard(lock);
            broken.insert(place.connection);
        }
        return JobStep::GoOn();
    };
    jobs.transfer = [&](const JobPlace& place) {
        return place.session.GetRemoteDir().isEmpty() ? JobStep::End(State::Failed) : JobStep::GoOn();
    };
    SpreadRun::Result result = RunAll(jobs);
    EXPECT_EQ(result.ended, 9);
    EXPECT_FALSE(result.connectionsLost);
    ASSERT_EQ(outcomes.size(), 9u);
    for (int job = 0; job < 9; ++job) {
        EXPECT_EQ(outcomes[size_t(job)].state, job == 1 ? State::Failed : State::Done) << job;
        if (job > 1) {
            EXPECT_FALSE(broken.count(outcomes[size_t(job)].connection)) << job;
        }
    }

    // When none is left, the jobs nobody could take have no outcome, and the run says why.
    jobs.prepare = [](const JobPlace& place) {
        place.session.ReleaseControlSocket();
        return JobStep::GoOn();
    };
    result = RunAll(jobs);
    EXPECT_TRUE(result.connectionsLost);
    EXPECT_EQ(result.ended, 2);  // one job on each connection still open
    for (const JobOutcome& outcome : outcomes)
        EXPECT_EQ(outcome.state, State::Failed);
}

TEST_F(SpreadRunTest, CancelStopsEveryConnectionAndStartsNothingMore)
{
    if (!ConnectTo(QStringLiteral("pyftpdlib")))
        GTEST_SKIP() << "pyftpdlib not running (start the suite with scripts/test.sh)";
    ASSERT_EQ(OpenPool(Recipe(), 3), 3);
    Write(serverFolder + QStringLiteral("/big.bin"), Bytes(0, 8 * 1024 * 1024));

    // Every connection is in the middle of a download when the cancel comes.
    Gate three(3);
    std::atomic<int> started = 0;
    SpreadJobs jobs;
    jobs.count = 6;
    jobs.transfer = [&](const JobPlace& place) {
        ++started;
        bool arrived = false;
        place.session.SetProgressCallback([&](qint64) {
            if (!std::exchange(arrived, true) && three.Arrive())
                running->Cancel();
        });
        const bool ok = DownloadToFile(place.session, QStringLiteral("big.bin"), local.filePath(Name(place.job)));
        place.session.SetProgressCallback({});
        return ok ? JobStep::GoOn() : JobStep::End(State::Failed);
    };
    const SpreadRun::Result result = RunAll(jobs);
    EXPECT_TRUE(result.cancelled);
    EXPECT_EQ(started, 3);
    EXPECT_EQ(order, Upto(3));
    for (const JobOutcome& outcome : outcomes)
        EXPECT_EQ(outcome.state, State::Cancelled);
    for (FtpSession* session : All()) {
        EXPECT_TRUE(session->IsCancelled());
        EXPECT_EQ(session->GetReplyCode(), LocalStatus::Cancelled);
    }
}

}  // namespace
