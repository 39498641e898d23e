#include "engine/ftp_session.h"
#include "tests/support/loopback_stranger.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>
#include <vector>

using namespace std::chrono_literals;

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

// The PORT argument names 127.0.0.1 and a port: "127,0,0,1,p1,p2".
bool IsLoopbackPortArgument(const QByteArray& command)
{
    const QList<QByteArray> parts = command.mid(5).split(',');
    if (!command.startsWith("PORT ") || parts.size() != 6)
        return false;
    const int port = parts[4].toInt() * 256 + parts[5].toInt();
    return parts.mid(0, 4) == (QList<QByteArray>{"127", "0", "0", "1"}) && port > 0 && port < 65536;
}

TEST(PassiveReply, ReadsHostAndPort)
{
    struct Case {
        const char* reply;
        const char* host;
        int port;
    };
    const std::vector<Case> cases = {
        {"227 Entering Passive Mode (192,168,1,2,19,137)\r\n", "192.168.1.2", 5001},
        {"227 Entering Passive Mode (192,168,1,2,19,137).\r\n", "192.168.1.2", 5001},
        {"227 entering passive mode ( 10, 0, 0, 7 , 4 , 1 )\r\n", "10.0.0.7", 1025},
        // Without parentheses the first run of six numbers (RFC 1123), the code not among them.
        {"227 =127,0,0,1,200,10\r\n", "127.0.0.1", 51210},
        {"227 Entering Passive Mode 192,168,1,2,19,137\r\n", "192.168.1.2", 5001},
        {"227 Entering Passive Mode 1,2,3,4,5 and 10, 0, 0, 7, 4, 1.\r\n", "10.0.0.7", 1025},
        {"227 Entering Passive Mode\r\n", "...", 0},
        {"227 (1,2,3)\r\n", "1.2..", 3},  // missing commas: empty fields, the rest kept
        {"227 (1,2,3,4,999999999999,99999999999)\r\n", "1.2.3.4", 65536 * 256 + 65536},
        {"227 (1,2,3,4,-1,5)\r\n", "1.2.3.4", -251},
    };
    for (const Case& c : cases) {
        QString host;
        int port = -7;
        FtpSession::ParsePassiveReply(QString::fromLatin1(c.reply), host, port);
        EXPECT_EQ(host, QString::fromLatin1(c.host)) << c.reply;
        EXPECT_EQ(port, c.port) << c.reply;
    }
}

TEST(Listing, ActiveModeWire)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 Type set to I")
        .Answer("200 PORT ok")
        .Answer("150 Here comes the listing")
        .ConnectData()
        .SendData("drwxr-xr-x 2 0 0 4096 Jan 01 2020 pub\r\n-rw-r--r-- 1 0 0 3 Jan 01 12:00 a.txt\r\n")
        .CloseData()
        .Send("226-Transfer complete\r\n226 Bye\r\n");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    session.SetTypeBinary();
    QString out = QStringLiteral("stale");
    EXPECT_TRUE(session.GetFileList(QStringLiteral("/ignored"), out));
    EXPECT_EQ(out, QStringLiteral("drwxr-xr-x 2 0 0 4096 Jan 01 2020 pub\r\n-rw-r--r-- 1 0 0 3 Jan 01 12:00 a.txt\r\n"));
    const QList<QByteArray> commands = peer.Commands();
    ASSERT_EQ(commands.size(), 3);
    EXPECT_EQ(commands[0], "TYPE I");
    EXPECT_TRUE(IsLoopbackPortArgument(commands[1])) << commands[1].constData();
    EXPECT_EQ(commands[2], "LIST -aL");
    EXPECT_TRUE(peer.Errors().isEmpty()) << peer.Errors().join(';').toStdString();
}

TEST(Listing, FallsBackToPlainListWhenOptionsAreRefused)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 Type set to A")
        .AnswerPassive()
        .Answer("501 Invalid option -aL")
        .CloseData()
        .AnswerPassive("227 Entering passive mode ({addr})")
        .AcceptData()
        .Answer("125 Data connection already open")
        .SendData("-rw-r--r-- 1 owner group 3 Jan 01 12:00 a.txt\r\n")
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_EQ(out, QStringLiteral("-rw-r--r-- 1 owner group 3 Jan 01 12:00 a.txt\r\n"));
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"TYPE A", "PASV", "LIST -aL", "PASV", "LIST"}));
}

TEST(Listing, GatheredWholeBeforeDecoding)
{
    // "あ" is E3 81 82; its bytes arrive in two reads. A NUL inside does not cut the text.
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok")
        .AnswerPassive()
        .AcceptData()
        .Answer("150 listing")
        .SendData("x \xe3\x81")
        .Pause()
        .SendData(QByteArray("\x82 y\0z\r\n", 7))
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_EQ(out, QStringLiteral("x あ y") + QChar(0) + QStringLiteral("z\r\n"));
}

TEST(Listing, EmptyFolderAndRefusedSetUp)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok")
        .AnswerPassive()
        .AcceptData()
        .Answer("150 listing")
        .CloseData()
        .Send("226 done\r\n")
        .Answer("200 ok")
        .Answer("500 PASV not understood")
        .Answer("500 EPSV not understood");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    QString out = QStringLiteral("stale");
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_TRUE(out.isEmpty());
    out = QStringLiteral("kept");
    EXPECT_FALSE(session.GetFileList(QString(), out));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataSetupRefused);
    EXPECT_EQ(out, QStringLiteral("kept"));
}

// A socket on ::1 listening on any free port; -1 where the machine has no IPv6 loopback.
int ListenOnIpv6Loopback(quint16& port)
{
    const int fd = ::socket(AF_INET6, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in6 address{};
    address.sin6_family = AF_INET6;
    address.sin6_addr = in6addr_loopback;
    socklen_t length = sizeof address;
    if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0
        || ::listen(fd, 1) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        if (fd >= 0)
            ::close(fd);
        return -1;
    }
    port = ntohs(address.sin6_port);
    return fd;
}

QByteArray ReadCommand(int fd)
{
    QByteArray line;
    char c;
    while (!line.endsWith("\r\n") && ::recv(fd, &c, 1, 0) == 1)
        line.append(c);
    return line.chopped(qMin<qsizetype>(2, line.size()));
}

TEST(Listing, PassiveOverIpv6AsksForThePortWithEpsv)
{
    // PASV names an IPv4 address; over IPv6 servers answer it with text that holds no usable
    // port (pyftpdlib: "(::1,134,168)"), so the port has to come from EPSV.
    quint16 controlPort = 0;
    const int listener = ListenOnIpv6Loopback(controlPort);
    if (listener < 0)
        GTEST_SKIP() << "no IPv6 loopback";
    QList<QByteArray> commands;
    std::thread server([&] {
        const int control = ::accept(listener, nullptr, nullptr);
        auto say = [control](const QByteArray& text) {
            ::send(control, text.constData(), size_t(text.size()), MSG_NOSIGNAL);
        };
        say("220 ready\r\n");
        commands << ReadCommand(control);
        say("200 ok\r\n");
        commands << ReadCommand(control);
        quint16 dataPort = 0;
        const int dataListener = ListenOnIpv6Loopback(dataPort);
        say("229 Entering Extended Passive Mode (|||" + QByteArray::number(dataPort) + "|)\r\n");
        // A client that does not connect closes the control connection instead.
        pollfd ready[2] = {{dataListener, POLLIN, 0}, {control, POLLIN, 0}};
        const int data = ::poll(ready, 2, -1) > 0 && (ready[0].revents & POLLIN)
                             ? ::accept(dataListener, nullptr, nullptr)
                             : -1;
        if (data < 0) {
            ::close(dataListener);
            ::close(control);
            return;
        }
        commands << ReadCommand(control);
        say("150 here\r\n");
        ::send(data, "entry\r\n", 7, MSG_NOSIGNAL);
        ::close(data);
        ::close(dataListener);
        say("226 done\r\n");
        ReadCommand(control);  // until the client goes
        ::close(control);
    });
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetIdleLimit(5s);
    QString out;
    EXPECT_TRUE(session.ConnectToServer(QStringLiteral("::1"), controlPort));
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_EQ(out, QStringLiteral("entry\r\n"));
    session.ReleaseControlSocket();
    server.join();
    ::close(listener);
    EXPECT_EQ(commands, (QList<QByteArray>{"TYPE A", "EPSV", "LIST -aL"}));
}

TEST(Listing, RefusedPortGives5003)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("500 Illegal PORT command");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    EXPECT_FALSE(session.GetFileList(QString(), out));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataSetupRefused);
}

TEST(Retrieve, PassiveRefusalEndsAtOnceAndKeepsTheLocalFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("keep.txt"));
    WriteAll(target, "precious");
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("550 No such file").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("missing.txt"), target));
    EXPECT_EQ(session.GetReplyCode(), 550);
    EXPECT_EQ(ReadAll(target), QByteArray("precious"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("keep.txt")});
    // The control connection is still in step.
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, ForeignHostInPassiveReplyIsNotFollowed)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("f.bin"));
    ScriptedFtpPeer peer;
    // The reply names another host (127.0.0.2, where nothing listens, so that a fault never
    // sends traffic off this machine); the data connection must still reach this peer.
    peer.Greet()
        .Answer("200 ok")
        .AnswerPassive("227 Entering Passive Mode (127,0,0,2,{p1},{p2})")
        .AcceptData()
        .Answer("150 sending")
        .SendData("data")
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("f.bin"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("data"));
    EXPECT_EQ(session.PasvHost(), QStringLiteral("127.0.0.2"));
}

TEST(Retrieve, ActiveModeAccepts125AndReplacesTheFile)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a.bin"));
    WriteAll(target, "old contents that are longer");
    const QByteArray payload("\r\n\x00\xff binary\r\n", 13);
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok")
        .Answer("200 PORT ok")
        .Answer("125 Data connection already open; transfer starting")
        .ConnectData()
        .SendData(payload)
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetTypeBinary();
    std::vector<qint64> progress;
    session.SetProgressCallback([&](qint64 bytes) { progress.push_back(bytes); });
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("a.bin"), target));
    EXPECT_EQ(ReadAll(target), payload);
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("a.bin")});
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), payload.size());
    EXPECT_EQ(peer.Commands().last(), "RETR a.bin");
}

// Connects to the address of the latest PORT command from another loopback address and says
// something, as a third party racing the server would.
void IntrudeFrom127002(const ScriptedFtpPeer& peer)
{
    QByteArray port;
    for (const QByteArray& command : peer.Commands())
        if (command.startsWith("PORT "))
            port = command.mid(5);
    ConnectAsStranger(PortOfPortArgument(port), "evil");
}

TEST(Retrieve, ActiveModeTakesDataOnlyFromTheServer)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("a.bin"));
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Read()
        .Do([&peer] { IntrudeFrom127002(peer); })
        .Send("150 sending\r\n").ConnectData().SendData("good").CloseData().Send("226 done\r\n");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("a.bin"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("good"));
}

TEST(Retrieve, ActiveRefusalEndsAnEarlyDataConnectionInOrder)
{
    // Some servers connect as soon as PORT is answered. When the transfer is then refused,
    // that connection must end in order: a reset trips up such servers' bookkeeping.
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Read().ConnectData().Send("200 PORT ok\r\n")
        .Answer("550 No such file").ReceiveData().Answer("250 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("missing"), dir.filePath(QStringLiteral("m"))));
    EXPECT_EQ(session.GetReplyCode(), 550);
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
    EXPECT_TRUE(peer.Errors().isEmpty()) << peer.Errors().join(';').toStdString();
}

TEST(Retrieve, BrokenTransferLeavesNoTrace)
{
    QTemporaryDir dir;
    const QString existing = dir.filePath(QStringLiteral("old.txt"));
    WriteAll(existing, "old");
    ScriptedFtpPeer peer;
    peer.Greet()
        // the server closes the data connection early and says so
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("partial").CloseData().Send("426 Connection closed; transfer aborted\r\n")
        // a reset data connection followed by a 226 is still a broken download
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("partial").ResetData().Send("226 done\r\n")
        // the server closes the control connection in the middle of the transfer
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("partial").CloseData().Close();
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), existing));
    EXPECT_EQ(session.GetReplyCode(), 426);
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), existing));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), dir.filePath(QStringLiteral("new.txt"))));
    EXPECT_EQ(ReadAll(existing), QByteArray("old"));
    EXPECT_EQ(Entries(dir), QStringList{QStringLiteral("old.txt")});
}

TEST(Retrieve, SilentDataConnectionEndsTheWait)
{
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("some").ReceiveData()  // waits until the client gives up on the data
        .Send("426 aborted\r\n").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    EXPECT_TRUE(Entries(dir).isEmpty());
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, ServerThatNeverConnectsEndsTheWait)
{
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 opening").WaitForClose();
    FtpSession session;
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(Entries(dir).isEmpty());
}

TEST(Retrieve, ServerThatGivesUpConnectingLeavesNoReplyBehind)
{
    // The server announced the transfer, could not reach the client and said so: that answer
    // belongs to the transfer, not to the next command.
    QTemporaryDir dir;
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 opening")
        .Send("425 Can't open data connection\r\n").Answer("250 ok");
    FtpSession session;
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(Entries(dir).isEmpty());
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, FolderWithoutFileModesStillTakesTheFile)
{
    // A folder that refuses chmod, as FAT on a memory stick does, made with bindfs where the
    // machine has it.
    QTemporaryDir dir;
    const QString store = dir.filePath(QStringLiteral("store"));
    const QString folder = dir.filePath(QStringLiteral("fat"));
    ASSERT_TRUE(QDir().mkpath(store) && QDir().mkpath(folder));
    if (QStandardPaths::findExecutable(QStringLiteral("bindfs")).isEmpty()
        || QProcess::execute(QStringLiteral("bindfs"), {QStringLiteral("--chmod-deny"), store, folder}) != 0)
        GTEST_SKIP() << "bindfs cannot mount here";
    struct Unmount {
        QString folder;
        ~Unmount() { QProcess::execute(QStringLiteral("fusermount"), {QStringLiteral("-u"), folder}); }
    } unmount{folder};

    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("data").CloseData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("x"), folder + QStringLiteral("/x")));
    EXPECT_EQ(ReadAll(store + QStringLiteral("/x")), QByteArray("data"));
}

TEST(Retrieve, UnwritableTargetStillReadsTheFinalReply)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("data").CloseData().Send("226 done\r\n").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RetrieveFile(QStringLiteral("x"), QStringLiteral("/nonexistent-folder/x")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
}

TEST(Retrieve, TextModeTurnsCrLfIntoLf)
{
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("t.txt"));
    ScriptedFtpPeer peer;
    // The CR of one pair ends a read; a lone CR stays.
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("one\r").Pause().SendData("\ntwo\rthree\r\n\r").CloseData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.RetrieveFile(QStringLiteral("t.txt"), target));
    EXPECT_EQ(ReadAll(target), QByteArray("one\ntwo\rthree\n\r"));
    EXPECT_EQ(peer.Commands().first(), "TYPE A");
}

TEST(Store, TextAndBinaryUploads)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("s.txt"));
    WriteAll(source, "a\nb\r\nc");
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").ReceiveData().Send("226 done\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").ReceiveData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.StoreFile(source, QStringLiteral("s.txt")));
    EXPECT_EQ(peer.Commands().mid(0, 3), (QList<QByteArray>{"TYPE A", "PASV", "STOR s.txt"}));
    session.SetTypeBinary();
    EXPECT_TRUE(session.StoreFile(source, QStringLiteral("s.bin")));
    peer.WaitScriptDone();
    EXPECT_EQ(peer.DataReceived(), QByteArray("a\nb\r\nc"));
}

TEST(Store, TextUploadSendsCrLf)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("s.txt"));
    WriteAll(source, "a\nb\r\nc\n");
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").ReceiveData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.StoreFile(source, QStringLiteral("s.txt")));
    peer.WaitScriptDone();
    EXPECT_EQ(peer.DataReceived(), QByteArray("a\r\nb\r\r\nc\r\n"));
}

TEST(Store, EmptyFileAndMissingFile)
{
    QTemporaryDir dir;
    const QString empty = dir.filePath(QStringLiteral("empty"));
    WriteAll(empty, QByteArray());
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 go").ConnectData().ReceiveData()
        .Send("226 done\r\n").Answer("250 ok");
    FtpSession session;
    session.SetTypeBinary();
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.StoreFile(empty, QStringLiteral("empty")));
    EXPECT_TRUE(peer.DataReceived().isEmpty());
    // A local file that cannot be read is found out before the server is asked anything.
    EXPECT_FALSE(session.StoreFile(dir.filePath(QStringLiteral("missing")), QStringLiteral("m")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_FALSE(session.StoreFile(dir.path(), QStringLiteral("m")));
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/")));
    EXPECT_FALSE(peer.Commands().contains("STOR m"));
}

}  // namespace
