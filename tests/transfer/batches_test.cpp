// The batches on their own, on a session logged in to each real server, with scripted answers
// to the transfer questions: what a plan lists, the order its jobs run in, the figures and lines
// a run reports, and the questions it asks.
#include "settings/settings_store.h"
#include "tests/support/local_files.h"
#include "tests/support/temp_config_dir.h"
#include "tests/support/test_servers.h"
#include "transfer/download_batch.h"
#include "transfer/remote_delete_batch.h"
#include "transfer/transfer_questions.h"
#include "transfer/transfer_session.h"
#include "transfer/upload_batch.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>

namespace {

// Answers from a script, in order, and keeps the texts asked; "いいえ" once the script is out.
class ScriptedQuestions : public TransferQuestions {
public:
    bool Ask(TransferQuestion question) override
    {
        asked << TransferQuestionText(question);
        return answers.isEmpty() ? false : answers.takeFirst();
    }
    QList<bool> answers;
    QStringList asked;
};

// What a run reported.
struct Reports {
    QList<BatchProgress> figures;
    QStringList lines;
    BatchCallbacks Callbacks()
    {
        return {[this](const BatchProgress& progress) { figures << progress; },
                [this](const QString& line) { lines << line; }};
    }
};

class BatchesTest : public ::testing::TestWithParam<QString> {
protected:
    void SetUp() override
    {
        servers = TestServers();
        server = FindTestServer(servers, GetParam());
        if (!server) {
            GTEST_SKIP() << "no " << GetParam().toStdString() << " server (run scripts/test.sh)";
        }
        static int serial = 0;
        folder = QStringLiteral("batches-%1-%2").arg(QCoreApplication::applicationPid()).arg(++serial);
        PutRemoteFolder(folder);
        SettingsStore::WriteFlag(SettingName::UsePASV, true);
        session.SetIdleLimit(std::chrono::seconds(20));
        session.SetQuestions(&questions);
        ASSERT_TRUE(session.ConnectToServer(server->host, server->port));
        ASSERT_TRUE(session.UserLogin(server->user, server->password));
        ASSERT_TRUE(session.ChangeDir(Remote()));
        session.SetTypeBinary();
    }

    void TearDown() override
    {
        if (server && folder.startsWith(QStringLiteral("batches-")))
            QDir(QDir(server->root).filePath(folder)).removeRecursively();
    }

    QString Remote(const QString& name = {}) const
    {
        return u'/' + folder + (name.isEmpty() ? QString() : u'/' + name);
    }
    QString OnServer(const QString& name) const { return QDir(server->root).filePath(folder + u'/' + name); }
    QString Local(const QString& name = {}) const
    {
        return name.isEmpty() ? scratch.path() : QDir(scratch.path()).filePath(name);
    }
    // Made on the server's disk, open to the server's user (vsftpd runs as its own).
    void PutRemoteFolder(const QString& path) const
    {
        const QString onDisk = QDir(server->root).filePath(path);
        ASSERT_TRUE(QDir().mkpath(onDisk));
        if (const passwd* user = getpwnam(server->user.toLocal8Bit().constData()))
            (void)chown(QFile::encodeName(onDisk).constData(), user->pw_uid, user->pw_gid);
        ::chmod(QFile::encodeName(onDisk).constData(), 0777);
    }
    void PutRemoteFile(const QString& name, const QByteArray& bytes) const
    {
        WriteAll(OnServer(name), bytes);
        ::chmod(QFile::encodeName(OnServer(name)).constData(), 0666);
    }
    RemoteEntryList Listing()
    {
        RemoteEntryList entries;
        EXPECT_TRUE(ListRemoteFolderAt(session, Remote(), Remote(), entries));
        return entries;
    }

    TempConfigDir config;
    QTemporaryDir scratch;
    std::vector<TestServer> servers;
    const TestServer* server = nullptr;
    QString folder;
    ScriptedQuestions questions;
    TransferSession session;
};

}  // namespace

TEST_P(BatchesTest, AnUploadPlansFoldersFirstThenFilesInOrderAndReportsFiguresOfTheWholeBatch)
{
    WriteAll(Local(QStringLiteral("c.txt")), "cc");
    WriteAll(Local(QStringLiteral("t/a.txt")), "aaa");
    WriteAll(Local(QStringLiteral("t/sub/b.bin")), "bbbbb");
    UploadBatch batch(Local(), Remote(), {{QStringLiteral("t"), true}, {QStringLiteral("c.txt"), false}}, Listing());
    const BatchPlan& plan = batch.Plan();
    EXPECT_TRUE(plan.hasFolders);
    EXPECT_EQ(plan.folders, 2);
    EXPECT_EQ(plan.files, 3);
    EXPECT_EQ(plan.bytes, 10);
    ASSERT_EQ(plan.folderJobs.size(), 2);
    EXPECT_EQ(plan.folderJobs[1].remote, Remote(QStringLiteral("t/sub")));
    QStringList order;
    for (const FileJob& job : plan.fileJobs)
        order << job.name + u'@' + QString::number(job.folder);
    EXPECT_EQ(order, (QStringList{"a.txt@0", "b.bin@1", "c.txt@-1"}));

    Reports reports;
    ASSERT_TRUE(batch.Run(session, reports.Callbacks()));
    EXPECT_EQ(batch.Tally().Failures(), 0);
    EXPECT_EQ(ReadAll(OnServer(QStringLiteral("t/sub/b.bin"))), QByteArray("bbbbb"));
    EXPECT_EQ(ReadAll(OnServer(QStringLiteral("c.txt"))), QByteArray("cc"));
    ASSERT_EQ(reports.lines.size(), 3);
    EXPECT_TRUE(reports.lines[2].startsWith(QStringLiteral("c.txt のアップロードが正常に終了しました")));

    // Every report counts the whole batch; a file moving is connection 0, and the counts only
    // grow. After the last file, nothing moves and all of it is done.
    ASSERT_FALSE(reports.figures.isEmpty());
    qint64 filesDone = 0;
    bool sawMoving = false;
    for (const BatchProgress& figures : std::as_const(reports.figures)) {
        EXPECT_EQ(figures.files, 3);
        EXPECT_EQ(figures.bytes, 10);
        EXPECT_TRUE(figures.isBatch);
        EXPECT_GE(figures.filesDone, filesDone);
        filesDone = figures.filesDone;
        if (!figures.connections.isEmpty() && figures.connections[0].stage == FileProgress::Stage::Moving)
            sawMoving = true;
    }
    EXPECT_TRUE(sawMoving);
    EXPECT_TRUE(reports.figures.last().connections.isEmpty());
    EXPECT_EQ(reports.figures.last().filesDone, 2);  // the last file's end comes before its count
    EXPECT_TRUE(questions.asked.isEmpty());
}

// Files of a folder the batch makes go without asking the server about their names (a round
// trip each, seen on the wire, not here); what this guards is the other side: a folder that was
// there already is listed, and a file of it that would be replaced is asked about.
TEST_P(BatchesTest, AFolderThatWasThereBeforeStillAsksBeforeReplacingItsFiles)
{
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    WriteAll(Local(QStringLiteral("t/a.txt")), "new");
    const QList<BatchItem> tree{{QStringLiteral("t"), true}};
    UploadBatch first(Local(), Remote(), tree, Listing());
    first.Plan();
    Reports reports;
    ASSERT_TRUE(first.Run(session, reports.Callbacks()));
    EXPECT_TRUE(questions.asked.isEmpty());
    WriteAll(OnServer(QStringLiteral("t/a.txt")), "theirs");

    UploadBatch again(Local(), Remote(), tree, Listing());
    again.Plan();
    ASSERT_TRUE(again.Run(session, reports.Callbacks()));
    EXPECT_EQ(questions.asked, QStringList{TransferQuestionText(TransferQuestion::Overwrite)});
    EXPECT_EQ(ReadAll(OnServer(QStringLiteral("t/a.txt"))), QByteArray("theirs"));  // "いいえ" kept it
}

TEST_P(BatchesTest, ADownloadAsksThroughTheQuestionsAndAFolderTakenByAFileKeepsItsFilesOnTheServer)
{
    PutRemoteFolder(folder + QStringLiteral("/d"));
    PutRemoteFolder(folder + QStringLiteral("/d/in"));
    PutRemoteFile(QStringLiteral("d/x.txt"), "new");
    PutRemoteFile(QStringLiteral("d/in/y.txt"), "yy");
    WriteAll(Local(QStringLiteral("d/x.txt")), "old");
    WriteAll(Local(QStringLiteral("d/in")), "a file where the folder would go");
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);

    DownloadBatch batch(Local(), Remote(), {{QStringLiteral("d"), true}}, Listing());
    ASSERT_TRUE(batch.Plan(session)) << batch.WalkFailure().toStdString();
    EXPECT_EQ(batch.Planned().folders, 2);
    EXPECT_EQ(batch.Planned().files, 2);
    EXPECT_EQ(batch.Planned().bytes, 5);
    // The walk leaves the server in the batch's folder.
    EXPECT_EQ(session.GetRemoteDir(), Remote());

    questions.answers = {false};
    Reports reports;
    ASSERT_TRUE(batch.Run(session, reports.Callbacks()));
    EXPECT_EQ(questions.asked, QStringList{QStringLiteral("そのファイルはすでに存在します。\n上書きしますか？")});
    EXPECT_EQ(ReadAll(Local(QStringLiteral("d/x.txt"))), QByteArray("old"));
    // The declined file is no failure; the folder in the way is, and y.txt never came.
    EXPECT_EQ(batch.Tally().Failures(), 1);
    EXPECT_EQ(reports.lines.size(), 1);
    EXPECT_EQ(ReadAll(Local(QStringLiteral("d/in"))), QByteArray("a file where the folder would go"));
}

TEST_P(BatchesTest, ARemoteDeleteAsksOnlyForFoldersWithContentsAndKeepsADeclinedOne)
{
    PutRemoteFolder(folder + QStringLiteral("/empty"));
    PutRemoteFolder(folder + QStringLiteral("/full"));
    PutRemoteFile(QStringLiteral("full/inner.txt"), "x");
    PutRemoteFile(QStringLiteral("a.txt"), "a");
    RemoteDeleteBatch batch(Remote(),
                            {{QStringLiteral("empty"), true}, {QStringLiteral("full"), true}, {QStringLiteral("a.txt"), false}},
                            Listing());
    ASSERT_TRUE(batch.Plan(session));
    const QList<RemoteDeleteBatch::TreeQuestion> asked = batch.Questions();
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].name, QStringLiteral("full"));
    EXPECT_EQ(asked[0].items, 1);
    batch.Agree(asked[0].tree, false);

    Reports reports;
    ASSERT_TRUE(batch.Run(session, reports.Callbacks()));
    EXPECT_EQ(batch.Tally().Failures(), 0);
    EXPECT_FALSE(QFileInfo::exists(OnServer(QStringLiteral("empty"))));
    EXPECT_FALSE(QFileInfo::exists(OnServer(QStringLiteral("a.txt"))));
    EXPECT_TRUE(QFileInfo::exists(OnServer(QStringLiteral("full/inner.txt"))));
    EXPECT_EQ(reports.lines, (QStringList{QStringLiteral("empty の削除が正常に終了しました"),
                                          Remote(QStringLiteral("a.txt")) + QStringLiteral(" の削除が正常に終了しました")}));
}

INSTANTIATE_TEST_SUITE_P(Servers, BatchesTest, ::testing::Values(QStringLiteral("pyftpdlib"), QStringLiteral("vsftpd")),
                         [](const auto& info) { return info.param.toStdString(); });
