// Upload and download batches spread over several connections, against the real servers the test
// command starts: whole trees with outcomes in the batch's order, questions in the batch's order,
// a server that takes fewer connections, and one cancel for every connection.
#include "settings/settings_store.h"
#include "tests/support/local_files.h"
#include "tests/support/temp_config_dir.h"
#include "tests/support/test_servers.h"
#include "engine/download_sink.h"
#include "transfer/connection_strings.h"
#include "transfer/download_batch.h"
#include "transfer/remote_tree.h"
#include "transfer/transfer_questions.h"
#include "transfer/upload_batch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QSet>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <mutex>

namespace {

// Answers from a script in the order asked; "いいえ" once the script is out.
class ScriptedQuestions : public TransferQuestions {
public:
    bool Ask(TransferQuestion) override
    {
        const std::lock_guard guard(lock);
        ++asked;
        return !answers.isEmpty() && answers.takeFirst();
    }
    std::mutex lock;
    QList<bool> answers;
    int asked = 0;
};

// Holds each transfer that has begun (a download once it has its data connection) until `needed`
// have, so that that many connections are at work at once; the last one to come presses 中止 for
// the batch when there is one to press. A guard ends the wait of a test gone wrong.
struct CancelGate {
    explicit CancelGate(int needed, BatchCancel* cancel = nullptr) : needed(needed), cancel(cancel) {}
    std::mutex lock;
    std::condition_variable opened;
    int needed;
    int arrived = 0;
    BatchCancel* cancel;
    QList<bool> endedCancelled;  // per download that came through the gate
    QSet<const void*> sessions;  // that came through it

    void Arrive(const void* session)
    {
        std::unique_lock guard(lock);
        sessions.insert(session);
        if (++arrived == needed) {
            if (cancel)
                cancel->Cancel();
            opened.notify_all();
        }
        opened.wait_for(guard, std::chrono::seconds(60), [&] { return arrived >= needed; });
    }
};

// A sink that waits at the gate once the server has taken the RETR.
class GatedSink : public DownloadSink {
public:
    GatedSink(DownloadSink& inner, CancelGate& gate, const void* session) : inner(inner), gate(gate), session(session) {}
    int Open(qint64 start, StreamDigest* digest) override
    {
        gate.Arrive(session);
        return inner.Open(start, digest);
    }
    bool Close(bool whole) override { return inner.Close(whole); }
    bool Confirm() override { return inner.Confirm(); }
    QString Complete() override { return inner.Complete(); }
    void Stopped(DownloadStop why) override { inner.Stopped(why); }

private:
    DownloadSink& inner;
    CancelGate& gate;
    const void* session;
};

class GatedSession : public TransferSession {
public:
    CancelGate* gate = nullptr;
    bool RetrieveInto(const QString& remote, DownloadSink& sink, qint64 resumeFrom) override
    {
        if (!gate)
            return TransferSession::RetrieveInto(remote, sink, resumeFrom);
        GatedSink gated(sink, *gate, this);
        const bool retrieved = TransferSession::RetrieveInto(remote, gated, resumeFrom);
        const std::lock_guard guard(gate->lock);
        gate->endedCancelled << (IsCancelled() && GetReplyCode() == LocalStatus::Cancelled);
        return retrieved;
    }
    bool StoreFrom(int fileFd, qint64 size, const QString& remote, qint64 resumeAt) override
    {
        if (gate)
            gate->Arrive(this);
        return TransferSession::StoreFrom(fileFd, size, remote, resumeAt);
    }
};

struct Reports {
    std::mutex lock;
    QStringList lines;
    BatchCallbacks Callbacks()
    {
        return {[](const BatchProgress&) {},
                [this](const QString& line) {
                    const std::lock_guard guard(lock);
                    lines << line;
                }};
    }
};

QByteArray Bytes(int file, qsizetype size)
{
    QByteArray bytes(size, Qt::Uninitialized);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char((i * 13 + file * 5) % 253);
    return bytes;
}

// The tree's files: "t/fNN.bin" in t, t/a and t/a/b by turns, each of its own size.
QString TreeFile(int i)
{
    static const char* const Folders[] = {"t", "t/a", "t/a/b"};
    return QStringLiteral("%1/f%2.bin").arg(QLatin1String(Folders[i % 3])).arg(i, 2, 10, QLatin1Char('0'));
}

class SpreadBatchTest : public ::testing::Test {
protected:
    // The caller's session logged in to the server, in a folder of the test's own.
    bool Start(const TestServer* on)
    {
        if (!on)
            return false;
        server = *on;
        static int serial = 0;
        folder = QStringLiteral("spread-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
        PutRemoteFolder(folder);
        SettingsStore::WriteFlag(SettingName::UsePASV, true);
        session.SetIdleLimit(std::chrono::seconds(20));
        session.SetQuestions(&questions);
        EXPECT_TRUE(session.ConnectToServer(server.host, server.port));
        EXPECT_TRUE(session.UserLogin(server.user, server.password));
        session.QueryFeatures();
        EXPECT_TRUE(session.ChangeDir(Remote()));
        session.SetTypeBinary();
        return session.IsConnected();
    }

    BatchConnections Connections(int most)
    {
        BatchConnections connections;
        connections.most = most;
        connections.login.host = server.host;
        connections.login.port = server.port;
        connections.login.user = server.user;
        connections.login.password = server.password;
        connections.makeSession = [this] {
            auto extra = std::make_unique<GatedSession>();
            extra->SetQuestions(&questions);
            extra->gate = session.gate;
            return extra;
        };
        connections.cancel = &cancel;
        // The tests' batches are short: every connection at once.
        connections.extrasWorthFrom = std::chrono::milliseconds(0);
        return connections;
    }

    void TearDown() override
    {
        if (folder.startsWith(QStringLiteral("spread-")))
            QDir(QDir(server.root).filePath(folder)).removeRecursively();
    }

    QString Remote() const { return u'/' + folder; }
    QString OnServer(const QString& name) const { return QDir(server.root).filePath(folder + u'/' + name); }
    QString Local(const QString& name) const { return QDir(scratch.path()).filePath(name); }
    void PutRemoteFolder(const QString& path) const
    {
        const QString onDisk = QDir(server.root).filePath(path);
        ASSERT_TRUE(QDir().mkpath(onDisk));
        if (const passwd* user = getpwnam(server.user.toLocal8Bit().constData()))
            (void)chown(QFile::encodeName(onDisk).constData(), user->pw_uid, user->pw_gid);
        ::chmod(QFile::encodeName(onDisk).constData(), 0777);
    }
    RemoteEntryList Listing()
    {
        RemoteEntryList entries;
        EXPECT_TRUE(ListRemoteFolderAt(session, Remote(), Remote(), entries));
        return entries;
    }

    TempConfigDir config;
    QTemporaryDir scratch;
    TestServer server;
    QString folder;
    ScriptedQuestions questions;
    BatchCancel cancel;
    GatedSession session;
};

class SpreadBothServers : public SpreadBatchTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(SpreadBothServers, ATreeGoesUpAndComesBackWholeOverThreeConnectionsWithLinesInBatchOrder)
{
    const std::vector<TestServer> servers = TestServers();
    if (!Start(FindTestServer(servers, QLatin1String(GetParam()))))
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
    constexpr int Files = 14;
    for (int i = 0; i < Files; ++i)
        WriteAll(Local(QStringLiteral("up/") + TreeFile(i)), Bytes(i, 700 * i));
    WriteAll(Local(QStringLiteral("up/single.txt")), "single");

    UploadBatch up(Local(QStringLiteral("up")), Remote(), {{QStringLiteral("t"), true}, {QStringLiteral("single.txt"), false}},
                   Listing());
    const BatchPlan& plan = up.Plan();
    ASSERT_EQ(plan.files, Files + 1);
    const BatchConnections connections = Connections(3);
    // Every connection takes a file: the first ones wait until the third has one.
    CancelGate upAtOnce(3);
    session.gate = &upAtOnce;
    Reports sent;
    ASSERT_TRUE(up.Run(session, sent.Callbacks(), &connections));
    EXPECT_EQ(up.Tally().Failures(), 0) << up.Tally().Summary({}).toStdString();
    EXPECT_TRUE(up.Notices().isEmpty());
    EXPECT_EQ(upAtOnce.sessions.size(), 3);
    QStringList expected;
    for (const FileJob& job : plan.fileJobs)
        expected << job.name;
    QStringList logged;
    for (const QString& line : std::as_const(sent.lines))
        logged << line.section(QStringLiteral(" の"), 0, 0);
    EXPECT_EQ(logged, expected);
    for (int i = 0; i < Files; ++i)
        EXPECT_EQ(ReadAll(OnServer(TreeFile(i))), Bytes(i, 700 * i)) << i;
    EXPECT_EQ(ReadAll(OnServer(QStringLiteral("single.txt"))), QByteArray("single"));
    // The batch's own session is where the batch began, ready for the next command.
    EXPECT_EQ(session.GetRemoteDir(), Remote());

    DownloadBatch down(Local(QStringLiteral("down")), Remote(), {{QStringLiteral("t"), true}}, Listing());
    QDir().mkpath(Local(QStringLiteral("down")));
    ASSERT_TRUE(down.Plan(session)) << down.WalkFailure().toStdString();
    ASSERT_EQ(down.Planned().files, Files);
    CancelGate downAtOnce(3);
    session.gate = &downAtOnce;
    Reports came;
    ASSERT_TRUE(down.Run(session, came.Callbacks(), &connections));
    session.gate = nullptr;
    EXPECT_EQ(down.Tally().Failures(), 0) << down.Tally().Summary({}).toStdString();
    EXPECT_EQ(downAtOnce.sessions.size(), 3);
    EXPECT_EQ(came.lines.size(), Files);
    for (int i = 0; i < Files; ++i)
        EXPECT_EQ(ReadAll(Local(QStringLiteral("down/") + TreeFile(i))), Bytes(i, 700 * i)) << i;
}

INSTANTIATE_TEST_SUITE_P(Servers, SpreadBothServers, ::testing::Values("pyftpdlib", "vsftpd"));

TEST_F(SpreadBatchTest, OverwriteQuestionsComeInBatchOrderAndEachAnswerHoldsForItsOwnFile)
{
    const std::vector<TestServer> servers = TestServers();
    if (!Start(FindTestServer(servers, QStringLiteral("pyftpdlib"))))
        GTEST_SKIP() << "pyftpdlib not running (start the suite with scripts/test.sh)";
    constexpr int Files = 9;
    const QByteArray Old(1000, 'o');
    for (int i = 0; i < Files; ++i) {
        WriteAll(Local(QStringLiteral("up/") + TreeFile(i)), Bytes(i, 900));
        PutRemoteFolder(folder + u'/' + TreeFile(i).section(u'/', 0, -2));
        // Longer than the new file: nothing to resume, only the overwrite question.
        WriteAll(OnServer(TreeFile(i)), Old);
        ::chmod(QFile::encodeName(OnServer(TreeFile(i))).constData(), 0666);
    }
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    UploadBatch up(Local(QStringLiteral("up")), Remote(), {{QStringLiteral("t"), true}}, Listing());
    const BatchPlan& plan = up.Plan();
    // はい for every other file in the batch's order.
    for (int i = 0; i < Files; ++i)
        questions.answers << (i % 2 == 0);
    const BatchConnections connections = Connections(3);
    CancelGate atOnce(3);
    session.gate = &atOnce;
    Reports sent;
    ASSERT_TRUE(up.Run(session, sent.Callbacks(), &connections));
    session.gate = nullptr;
    EXPECT_EQ(questions.asked, Files);
    EXPECT_EQ(up.Tally().Failures(), 0);
    EXPECT_EQ(atOnce.sessions.size(), 3);
    for (int i = 0; i < Files; ++i) {
        const FileJob& job = plan.fileJobs[i];
        const QString relative = QDir(Local(QStringLiteral("up"))).relativeFilePath(job.localFolder) + u'/' + job.name;
        const int file = relative.section(QStringLiteral("/f"), -1).left(2).toInt();
        EXPECT_EQ(ReadAll(OnServer(relative)), i % 2 == 0 ? Bytes(file, 900) : Old) << i;
    }
}

TEST_F(SpreadBatchTest, AServerThatTakesFewerConnectionsGetsTheBatchOverThoseAndItIsSaidOnce)
{
    const std::vector<TestServer> servers = TestServers("TALLOWIN_FTP_LIMITED_SERVERS");
    if (servers.empty() || !Start(&servers.front()))
        GTEST_SKIP() << "the limited server is not running (start the suite with scripts/test.sh)";
    constexpr int Files = 8;
    for (int i = 0; i < Files; ++i)
        WriteAll(Local(QStringLiteral("up/") + TreeFile(i)), Bytes(i, 500 + i));
    UploadBatch up(Local(QStringLiteral("up")), Remote(), {{QStringLiteral("t"), true}}, Listing());
    up.Plan();
    const BatchConnections connections = Connections(4);
    CancelGate twoAtOnce(2);
    session.gate = &twoAtOnce;
    Reports sent;
    ASSERT_TRUE(up.Run(session, sent.Callbacks(), &connections));
    session.gate = nullptr;
    EXPECT_EQ(up.Tally().Failures(), 0) << up.Tally().Summary({}).toStdString();
    EXPECT_EQ(up.Notices(), QStringList{ConnectionText::ServerLimit.arg(2)});
    EXPECT_EQ(twoAtOnce.sessions.size(), 2);
    EXPECT_EQ(sent.lines.size(), Files);
    for (int i = 0; i < Files; ++i)
        EXPECT_EQ(ReadAll(OnServer(TreeFile(i))), Bytes(i, 500 + i)) << i;
}

TEST_F(SpreadBatchTest, OneCancelStopsEveryConnectionAndNoFileStartsAfterIt)
{
    const std::vector<TestServer> servers = TestServers();
    if (!Start(FindTestServer(servers, QStringLiteral("pyftpdlib"))))
        GTEST_SKIP() << "pyftpdlib not running (start the suite with scripts/test.sh)";
    constexpr int Files = 6;
    PutRemoteFolder(folder + QStringLiteral("/t"));
    for (int i = 0; i < Files; ++i)
        WriteAll(OnServer(QStringLiteral("t/f%1.bin").arg(i)), Bytes(i, 4 << 20));
    CancelGate gate(3, &cancel);
    session.gate = &gate;

    DownloadBatch down(Local(QStringLiteral("down")), Remote(), {{QStringLiteral("t"), true}}, Listing());
    QDir().mkpath(Local(QStringLiteral("down")));
    ASSERT_TRUE(down.Plan(session));
    const BatchConnections connections = Connections(3);
    Reports came;
    EXPECT_FALSE(down.Run(session, came.Callbacks(), &connections));
    session.gate = nullptr;
    // The three downloads under way ended by the cancel, on every connection; none came after.
    EXPECT_EQ(gate.endedCancelled, (QList<bool>{true, true, true}));
    EXPECT_TRUE(session.IsCancelled());
    EXPECT_TRUE(came.lines.isEmpty());
    for (int i = 0; i < Files; ++i)
        EXPECT_FALSE(QFileInfo::exists(Local(QStringLiteral("down/t/f%1.bin").arg(i)))) << i;
}

}  // namespace
