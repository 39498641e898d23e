#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/local_files.h"
#include "tests/support/test_servers.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QUuid>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <random>
#include <thread>

namespace {

QByteArray RandomBytes(qsizetype size, unsigned seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937 random(seed);
    for (char& byte : bytes)
        byte = char(random());
    return bytes;
}

// --- against a pyftpdlib server of this test's own that offers HASH and XMD5 ---

class DigestServer : public testing::Test {
protected:
    static void SetUpTestSuite()
    {
        root = std::make_unique<QTemporaryDir>();
        server = std::make_unique<QProcess>();
        server->setProcessChannelMode(QProcess::ForwardedErrorChannel);
        server->start(QStringLiteral("/usr/bin/python3"), {QStringLiteral(DIGEST_SERVER_SCRIPT), root->path()});
        // The port comes on the first line once the server listens; the bound only ends a
        // server that never starts.
        while (server->waitForReadyRead(30000) && !server->canReadLine()) {
        }
        port = server->canReadLine() ? quint16(server->readLine().trimmed().toUInt()) : 0;
    }

    static void TearDownTestSuite()
    {
        server->closeWriteChannel();  // the server ends when its input closes
        if (!server->waitForFinished(10000))
            server->kill();
        server.reset();
        root.reset();
    }

    void SetUp() override
    {
        ASSERT_NE(port, 0) << "the digest server did not start (python3-pyftpdlib installed?)";
        folder = QStringLiteral("t-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        serverFolder = QDir(root->path()).filePath(folder);
        ASSERT_TRUE(QDir().mkpath(serverFolder));
    }

    void Login(const QString& user)
    {
        session.SetPassiveMode(true);
        ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), port));
        ASSERT_TRUE(session.UserLogin(user, QStringLiteral("digest-pass"))) << session.GetReplyText().toStdString();
        ASSERT_TRUE(session.QueryFeatures());
        ASSERT_TRUE(session.ChangeDir(folder));
        session.SetTypeBinary();
    }

    QString Local(const QString& name) const { return local.filePath(name); }
    QString OnServer(const QString& name) const { return QDir(serverFolder).filePath(name); }

    // Up and down again, each checked by the given algorithm.
    void RoundTrip(const QString& algorithm)
    {
        const QByteArray contents = RandomBytes(3 * 1024 * 1024 + 17, 7);
        WriteAll(Local(QStringLiteral("up.bin")), contents);
        ASSERT_TRUE(UploadFromFile(session, Local(QStringLiteral("up.bin")), QStringLiteral("f.bin")))
            << session.GetReplyText().toStdString();
        EXPECT_EQ(session.LastVerification(), algorithm);
        EXPECT_EQ(ReadAll(OnServer(QStringLiteral("f.bin"))), contents);
        ASSERT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), Local(QStringLiteral("down.bin"))))
            << session.GetReplyText().toStdString();
        EXPECT_EQ(session.LastVerification(), algorithm);
        EXPECT_EQ(ReadAll(Local(QStringLiteral("down.bin"))), contents);
        EXPECT_EQ(session.GetReplyCode(), 226);
    }

    static inline std::unique_ptr<QTemporaryDir> root;
    static inline std::unique_ptr<QProcess> server;
    static inline quint16 port = 0;
    QString folder;
    QString serverFolder;
    QTemporaryDir local;
    FtpSession session;
};

TEST_F(DigestServer, HashIsSetToSha256AndChecksBothDirections)
{
    Login(QStringLiteral("hash"));
    RoundTrip(QStringLiteral("SHA-256"));
}

TEST_F(DigestServer, Xmd5ChecksWhereThereIsNoHash)
{
    Login(QStringLiteral("xmd5"));
    RoundTrip(QStringLiteral("MD5"));
}

TEST_F(DigestServer, TextModeIsNotChecked)
{
    Login(QStringLiteral("hash"));
    WriteAll(OnServer(QStringLiteral("tampered.txt")), "line\r\n");
    session.SetTypeAscii();
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("tampered.txt"), Local(QStringLiteral("t.txt"))));
    EXPECT_TRUE(session.LastVerification().isEmpty());
    EXPECT_EQ(ReadAll(Local(QStringLiteral("t.txt"))), QByteArray("line\n"));
}

TEST_F(DigestServer, FilesWhoseDigestDiffersFail)
{
    Login(QStringLiteral("hash"));
    WriteAll(OnServer(QStringLiteral("tampered.bin")), RandomBytes(100000, 1));
    WriteAll(Local(QStringLiteral("tampered.bin")), "old");
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("tampered.bin"), Local(QStringLiteral("tampered.bin"))));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DownloadDiffers);
    EXPECT_EQ(ReadAll(Local(QStringLiteral("tampered.bin"))), QByteArray("old"));
    EXPECT_EQ(Entries(local), QStringList{QStringLiteral("tampered.bin")});

    WriteAll(Local(QStringLiteral("up.bin")), RandomBytes(5000, 2));
    EXPECT_FALSE(UploadFromFile(session, Local(QStringLiteral("up.bin")), QStringLiteral("tampered-up.bin")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::UploadDiffers);
    // The session goes on as before.
    EXPECT_TRUE(UploadFromFile(session, Local(QStringLiteral("up.bin")), QStringLiteral("fine.bin")));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
}

TEST_F(DigestServer, ResumedTransfersAreCheckedOverTheWholeFile)
{
    Login(QStringLiteral("hash"));
    const QByteArray contents = RandomBytes(700000, 3);
    WriteAll(OnServer(QStringLiteral("down.bin")), contents);
    const QString target = Local(QStringLiteral("down.bin"));
    WriteAll(PartialPath(target), contents.left(300000));
    session.SetTransferSize(contents.size());
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("down.bin"), target, true));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(ReadAll(target), contents);

    WriteAll(Local(QStringLiteral("up.bin")), contents);
    WriteAll(OnServer(QStringLiteral("up.bin")), contents.left(400000));
    ASSERT_TRUE(UploadFromFile(session, Local(QStringLiteral("up.bin")), QStringLiteral("up.bin"), 400000));
    EXPECT_EQ(session.LastVerification(), QStringLiteral("SHA-256"));
    EXPECT_EQ(ReadAll(OnServer(QStringLiteral("up.bin"))), contents);

    // A partial that is not the start of the server's file fails whole, and is not kept.
    QByteArray wrongStart = contents.left(300000);
    wrongStart[10] = char(wrongStart[10] ^ 1);
    WriteAll(PartialPath(target), wrongStart);
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("down.bin"), target, true));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DownloadDiffers);
    EXPECT_FALSE(QFileInfo::exists(PartialPath(target)));
}

// --- the stock servers offer no way: nothing is sent beyond the usual commands ---

// Passes one control connection through to a server and records what the client sends. Data
// connections go to the server directly (passive mode).
class ControlRecorder {
public:
    ControlRecorder(const QString& host, quint16 serverPort)
    {
        listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(listenFd, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(listenFd, 1) != 0 ||
            ::getsockname(listenFd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return;
        port = ntohs(address.sin_port);
        sockaddr_in target{};
        target.sin_family = AF_INET;
        target.sin_port = htons(serverPort);
        ::inet_pton(AF_INET, host.toLatin1().constData(), &target.sin_addr);
        thread = std::thread([this, target] { Run(target); });
    }

    ~ControlRecorder()
    {
        ::shutdown(listenFd, SHUT_RDWR);
        if (thread.joinable())
            thread.join();
        ::close(listenFd);
    }

    quint16 Port() const { return port; }
    QList<QByteArray> Commands() const
    {
        const std::lock_guard lock(mutex);
        QList<QByteArray> commands = sent.split('\n');
        for (QByteArray& command : commands)
            command = command.trimmed();
        commands.removeAll(QByteArray());
        return commands;
    }

private:
    void Run(sockaddr_in target)
    {
        const int client = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
        if (client < 0)
            return;
        const int server = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(server, reinterpret_cast<sockaddr*>(&target), sizeof target) == 0) {
            char buffer[16384];
            for (bool open = true; open;) {
                pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
                if (::poll(fds, 2, -1) <= 0)
                    break;
                for (int i = 0; i < 2 && open; ++i) {
                    if (!fds[i].revents)
                        continue;
                    const ssize_t n = ::recv(fds[i].fd, buffer, sizeof buffer, 0);
                    open = n > 0 && ::send(fds[1 - i].fd, buffer, size_t(n), MSG_NOSIGNAL) == n;
                    if (open && i == 0) {
                        const std::lock_guard lock(mutex);
                        sent.append(buffer, n);
                    }
                }
            }
        }
        ::close(server);
        ::close(client);
    }

    int listenFd = -1;
    quint16 port = 0;
    std::thread thread;
    mutable std::mutex mutex;
    QByteArray sent;
};

class StockServer : public testing::TestWithParam<const char*> {};

TEST_P(StockServer, OffersNoWayAndIsAskedNothingMore)
{
    const std::vector<TestServer> servers = TestServers();
    const TestServer* server = FindTestServer(servers, QString::fromLatin1(GetParam()));
    if (!server)
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
    const QString folder = QStringLiteral("d-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
    const QString serverFolder = QDir(server->root).filePath(folder);
    QTemporaryDir local;
    const QByteArray contents = RandomBytes(200000, 4);
    WriteAll(local.filePath(QStringLiteral("up.bin")), contents);
    {
        ControlRecorder recorder(server->host, server->port);
        ASSERT_NE(recorder.Port(), 0);
        FtpSession session;
        session.SetPassiveMode(true);
        ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), recorder.Port()));
        ASSERT_TRUE(session.UserLogin(server->user, server->password));
        ASSERT_TRUE(session.QueryFeatures());
        ASSERT_TRUE(session.MakeDir(folder));
        ASSERT_TRUE(session.ChangeDir(folder));
        session.SetTypeBinary();
        EXPECT_TRUE(UploadFromFile(session, local.filePath(QStringLiteral("up.bin")), QStringLiteral("f.bin")));
        EXPECT_TRUE(DownloadToFile(session, QStringLiteral("f.bin"), local.filePath(QStringLiteral("down.bin"))));
        EXPECT_TRUE(session.LastVerification().isEmpty());
        EXPECT_EQ(ReadAll(local.filePath(QStringLiteral("down.bin"))), contents);
        session.DisconnectFromServer();
        const QList<QByteArray> commands = recorder.Commands();
        const qsizetype cwd = commands.indexOf("CWD " + folder.toLatin1());
        ASSERT_GE(cwd, 0);
        EXPECT_EQ(commands.mid(cwd + 1),
                  (QList<QByteArray>{"TYPE I", "PASV", "STOR f.bin", "PASV", "RETR f.bin", "QUIT"}));
        for (const QByteArray& command : commands)
            EXPECT_FALSE(command.contains("HASH") || command.startsWith("X")) << command.constData();
    }
    const QFileInfo own(serverFolder);
    if (own.isAbsolute() && own.fileName() == folder && own.isDir())
        QDir(serverFolder).removeRecursively();
}

INSTANTIATE_TEST_SUITE_P(Servers, StockServer, testing::Values("pyftpdlib", "vsftpd"),
                         [](const testing::TestParamInfo<const char*>& info) { return std::string(info.param); });

}  // namespace
