#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/test_servers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <gtest/gtest.h>

#include <random>
#include <sys/stat.h>

namespace {

struct Target {
    const char* server;
    bool passive;
};

std::string TargetName(const testing::TestParamInfo<Target>& info)
{
    return std::string(info.param.server) + (info.param.passive ? "_passive" : "_active");
}

QByteArray ReadAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QByteArray Sha256(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "<unreadable>";
    return hash.result().toHex();
}

void WriteAll(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

QByteArray RandomBytes(qsizetype size, unsigned seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937_64 random(seed);
    qsizetype i = 0;
    for (; i + 8 <= size; i += 8) {
        const quint64 v = random();
        memcpy(bytes.data() + i, &v, 8);
    }
    for (; i < size; ++i)
        bytes[i] = char(random());
    return bytes;
}

// Each test works in a folder of its own on the server, so tests may run side by side.
class RealServer : public testing::TestWithParam<Target> {
protected:
    void SetUp() override
    {
        const std::vector<TestServer> servers = TestServers();
        const TestServer* found = FindTestServer(servers, QString::fromLatin1(GetParam().server));
        if (!found)
            GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
        server = *found;
        session.SetPassiveMode(GetParam().passive);
        ASSERT_TRUE(session.ConnectToServer(server.host, server.port)) << session.GetReplyText().toStdString();
        ASSERT_TRUE(session.UserLogin(server.user, server.password)) << session.GetReplyText().toStdString();
        folder = QStringLiteral("t-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        serverFolder = QDir(server.root).filePath(folder);
        ASSERT_TRUE(session.MakeDir(folder)) << session.GetReplyText().toStdString();
        ASSERT_TRUE(session.ChangeDir(folder)) << session.GetReplyText().toStdString();
        ASSERT_TRUE(local.isValid());
    }

    void TearDown() override
    {
        // Only ever the test's own folder inside the server's root: an empty or relative path
        // here would be taken from the current folder.
        const QFileInfo own(serverFolder);
        if (!folder.isEmpty() && own.isAbsolute() && own.fileName() == folder && own.isDir())
            QDir(serverFolder).removeRecursively();
        if (session.IsConnected())
            session.DisconnectFromServer();
    }

    // Uploads, checks the server's copy, downloads to a new name and checks that.
    void RoundTrip(const QString& name, const QByteArray& contents)
    {
        const QString source = local.filePath(QStringLiteral("up-") + name);
        const QString back = local.filePath(QStringLiteral("down-") + name);
        WriteAll(source, contents);
        session.SetTypeBinary();
        ASSERT_TRUE(UploadFromFile(session, source, name)) << session.GetReplyText().toStdString();
        EXPECT_EQ(Sha256(QDir(serverFolder).filePath(name)), Sha256(source));
        ASSERT_TRUE(DownloadToFile(session, name, back)) << session.GetReplyText().toStdString();
        EXPECT_EQ(Sha256(back), Sha256(source));
    }

    TestServer server;
    FtpSession session;
    QString folder;
    QString serverFolder;
    QTemporaryDir local;
};

TEST_P(RealServer, WrongPasswordIsRefused)
{
    FtpSession other;
    ASSERT_TRUE(other.ConnectToServer(server.host, server.port));
    EXPECT_FALSE(other.UserLogin(server.user, QStringLiteral("not the password")));
    EXPECT_EQ(other.GetReplyCode(), 530);
}

TEST_P(RealServer, FolderOperations)
{
    EXPECT_EQ(session.GetRemoteDir(), QLatin1Char('/') + folder);
    ASSERT_TRUE(session.MakeDir(QStringLiteral("サブ フォルダ")));
    EXPECT_TRUE(QFileInfo(QDir(serverFolder).filePath(QStringLiteral("サブ フォルダ"))).isDir());
    ASSERT_TRUE(session.ChangeDir(QStringLiteral("サブ フォルダ")));
    EXPECT_EQ(session.GetRemoteDir(), QLatin1Char('/') + folder + QStringLiteral("/サブ フォルダ"));
    ASSERT_TRUE(session.ChangeDir(QStringLiteral("..")));
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("no such folder")));
    EXPECT_EQ(session.GetReplyCode(), 550);
    EXPECT_TRUE(session.RemoveDir(QStringLiteral("サブ フォルダ")));
    EXPECT_FALSE(QFileInfo::exists(QDir(serverFolder).filePath(QStringLiteral("サブ フォルダ"))));
}

TEST_P(RealServer, FileOperations)
{
    WriteAll(local.filePath(QStringLiteral("f")), "abc");
    session.SetTypeBinary();
    ASSERT_TRUE(UploadFromFile(session, local.filePath(QStringLiteral("f")), QStringLiteral("a.txt")));
    EXPECT_TRUE(session.RenameFile(QStringLiteral("a.txt"), QStringLiteral("b c.txt")));
    EXPECT_EQ(ReadAll(QDir(serverFolder).filePath(QStringLiteral("b c.txt"))), QByteArray("abc"));
    EXPECT_FALSE(session.RenameFile(QStringLiteral("a.txt"), QStringLiteral("d.txt")));

    EXPECT_TRUE(session.ChangeFileAttrib(QStringLiteral("b c.txt"), QStringLiteral("600")));
    EXPECT_EQ(session.GetReplyCode(), 200);
    struct stat info;
    ASSERT_EQ(::stat(QFile::encodeName(QDir(serverFolder).filePath(QStringLiteral("b c.txt"))).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);

    EXPECT_TRUE(session.DeleteRemoteFile(QStringLiteral("b c.txt")));
    EXPECT_FALSE(session.DeleteRemoteFile(QStringLiteral("b c.txt")));
    EXPECT_EQ(session.GetReplyCode(), 550);
}

TEST_P(RealServer, Listings)
{
    QString out;
    ASSERT_TRUE(session.GetFileList(QString(), out)) << session.GetReplyText().toStdString();
    EXPECT_FALSE(out.contains(QStringLiteral("a.txt")));

    WriteAll(QDir(serverFolder).filePath(QStringLiteral("a.txt")), "12345");
    WriteAll(QDir(serverFolder).filePath(QStringLiteral("日本語 名前.txt")), "x");
    ASSERT_TRUE(QDir(serverFolder).mkdir(QStringLiteral("sub")));
    ASSERT_TRUE(session.GetFileList(QString(), out));
    const QStringList lines = out.split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    auto lineOf = [&](const QString& name) {
        for (const QString& line : lines)
            if (line.endsWith(QLatin1Char(' ') + name))
                return line;
        return QString();
    };
    EXPECT_TRUE(lineOf(QStringLiteral("a.txt")).startsWith(QLatin1Char('-'))) << out.toStdString();
    EXPECT_TRUE(lineOf(QStringLiteral("a.txt")).contains(QStringLiteral(" 5 "))) << out.toStdString();
    EXPECT_TRUE(lineOf(QStringLiteral("sub")).startsWith(QLatin1Char('d'))) << out.toStdString();
    EXPECT_FALSE(lineOf(QStringLiteral("日本語 名前.txt")).isEmpty()) << out.toStdString();
    EXPECT_TRUE(out.endsWith(QStringLiteral("\r\n")));
}

TEST_P(RealServer, BinaryRoundTrips)
{
    RoundTrip(QStringLiteral("bytes.bin"), RandomBytes(300 * 1024 + 17, 1));
    RoundTrip(QStringLiteral("empty.bin"), QByteArray());
    RoundTrip(QStringLiteral("日本語 ファイル.bin"), QByteArray("\r\n\r\x00\xff", 5));
    RoundTrip(QStringLiteral("my file.bin"), "spaces");
}

TEST_P(RealServer, LargeFileRoundTrip)
{
    qint64 lastProgress = 0;
    session.SetProgressCallback([&](qint64 bytes) { lastProgress = bytes; });
    RoundTrip(QStringLiteral("large.bin"), RandomBytes(50 * 1024 * 1024, 2));
    EXPECT_EQ(lastProgress, 50 * 1024 * 1024);
}

TEST_P(RealServer, TextModeRoundTrip)
{
    const QByteArray text = "first line\nsecond line\n\nno end";
    const QString source = local.filePath(QStringLiteral("t.txt"));
    const QString back = local.filePath(QStringLiteral("back.txt"));
    WriteAll(source, text);
    session.SetTypeAscii();
    ASSERT_TRUE(UploadFromFile(session, source, QStringLiteral("t.txt")));
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("t.txt"), back));
    EXPECT_EQ(ReadAll(back), text);
    // What lies on the server is the server's business, but a binary download shows which
    // line ends went over the wire on the way out.
    session.SetTypeBinary();
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("t.txt"), back));
    const QByteArray stored = ReadAll(back);
    EXPECT_TRUE(stored == text || stored == QByteArray("first line\r\nsecond line\r\n\r\nno end")) << stored.constData();
}

TEST_P(RealServer, MissingFileLeavesLocalFileAlone)
{
    const QString target = local.filePath(QStringLiteral("keep"));
    WriteAll(target, "precious");
    session.SetTypeBinary();
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("no such file"), target));
    EXPECT_GE(session.GetReplyCode(), 400);
    EXPECT_EQ(ReadAll(target), QByteArray("precious"));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden).size(), 1);
    EXPECT_TRUE(session.ChangeDir(QStringLiteral(".")));  // still in step
}

TEST_P(RealServer, CancelledDownloadKeepsItsPartAndResumesByteExact)
{
    const QString original = QDir(serverFolder).filePath(QStringLiteral("big.bin"));
    WriteAll(original, RandomBytes(32 * 1024 * 1024, 3));
    const QString target = local.filePath(QStringLiteral("big.bin"));
    const QString partial = target + QStringLiteral(".part");
    WriteAll(target, "old");
    ASSERT_TRUE(session.QueryFeatures());
    session.SetTypeBinary();
    ASSERT_TRUE(session.CanResume());
    session.SetProgressCallback([&](qint64) { session.Cancel(); });
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("big.bin"), target));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_EQ(ReadAll(target), QByteArray("old"));
    EXPECT_EQ(QDir(local.path()).entryList(QDir::Files | QDir::Hidden),
              (QStringList{QStringLiteral("big.bin"), QStringLiteral("big.bin.part")}));
    const qint64 kept = QFileInfo(partial).size();
    ASSERT_GT(kept, 0);
    ASSERT_LT(kept, 32 * 1024 * 1024);
    session.ResetCancel();
    EXPECT_EQ(session.GetRemoteDir(), QLatin1Char('/') + folder);  // in step after ABOR

    // The next download goes on where the first stopped: its first count is past the kept part.
    qint64 firstCount = -1;
    session.SetProgressCallback([&](qint64 bytes) {
        if (firstCount < 0)
            firstCount = bytes;
    });
    session.SetTransferSize(32 * 1024 * 1024);
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("big.bin"), target, true)) << session.GetReplyText().toStdString();
    EXPECT_GT(firstCount, kept);
    EXPECT_EQ(Sha256(target), Sha256(original));
    EXPECT_FALSE(QFileInfo::exists(partial));
}

TEST_P(RealServer, CancelledUploadCanBeRemovedAfterwards)
{
    const QString source = local.filePath(QStringLiteral("up.bin"));
    WriteAll(source, RandomBytes(32 * 1024 * 1024, 4));
    session.SetTypeBinary();
    session.SetProgressCallback([&](qint64) { session.Cancel(); });
    EXPECT_FALSE(UploadFromFile(session, source, QStringLiteral("up.bin")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    session.ResetCancel();
    session.SetProgressCallback({});
    EXPECT_EQ(session.GetRemoteDir(), QLatin1Char('/') + folder);
    // The file did not exist before: the caller removes the part that arrived.
    EXPECT_TRUE(session.DeleteRemoteFile(QStringLiteral("up.bin"))) << session.GetReplyText().toStdString();
    EXPECT_FALSE(QFileInfo::exists(QDir(serverFolder).filePath(QStringLiteral("up.bin"))));
}

INSTANTIATE_TEST_SUITE_P(Servers, RealServer,
                         testing::Values(Target{"pyftpdlib", false}, Target{"pyftpdlib", true},
                                         Target{"vsftpd", false}, Target{"vsftpd", true}),
                         TargetName);

}  // namespace
