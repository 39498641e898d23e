#include "engine/download_sink.h"
#include "engine/ftp_reply.h"
#include "engine/ftp_session.h"
#include "tests/support/loopback_stranger.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTemporaryFile>

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
        ParsePassiveReply(QString::fromLatin1(c.reply), host, port);
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

// The engine writes a download into any descriptor from where it stands (here after bytes the
// caller wrote first) and refuses to go on from an offset it has no earlier part for.
TEST(RetrieveInto, ADescriptorTakesTheBytesWhereItStandsAndCannotResume)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    ASSERT_EQ(file.write("head:"), 5);
    ASSERT_TRUE(file.flush());
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send("211-Features:\r\n REST STREAM\r\n211 End\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("body").CloseData().Send("226 done\r\n")
        .AnswerPassive().AcceptData().Answer("350 Restarting at 3").Answer("150 sending")
        .SendData("more").CloseData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(Connect(session, peer));
    ASSERT_TRUE(session.QueryFeatures());
    DescriptorSink sink(file.handle());
    EXPECT_TRUE(session.RetrieveInto(QStringLiteral("f"), sink));
    EXPECT_EQ(ReadAll(file.fileName()), QByteArray("head:body"));
    EXPECT_FALSE(session.RetrieveInto(QStringLiteral("f"), sink, 3));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_EQ(ReadAll(file.fileName()), QByteArray("head:body"));
    EXPECT_TRUE(peer.Commands().contains("REST 3"));
}

// Data that comes before the preliminary reply is read at once: vsftpd sends its 226 only after
// the client has closed the data connection, so waiting for the 150 first cost every file a round
// trip. Here the server holds back even its 150 until then, which only the early read gets
// through. A server that fails the command after data with a final reply alone fails the
// download; a data connection reset before the reply is no empty file. The next command reads
// its own reply each time.
TEST(RetrieveInto, DataBeforeThePreliminaryReplyIsTakenAndTheRepliesReadAfterIt)
{
    QTemporaryFile file;
    ASSERT_TRUE(file.open());
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 binary").AnswerPassive().AcceptData().Read()
        .SendData("early").EndDataSending().ReceiveData().Send("150 sending\r\n226 done\r\n")
        .AnswerPassive().AcceptData().Read().SendData("half").CloseData().Send("451 local error\r\n")
        .AnswerPassive().AcceptData().Read().ResetData().Pause().Send("150 sending\r\n226 done\r\n")
        .Answer("257 \"/\" is the folder");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    // Waiting for the 150 would last this long and fail.
    session.SetIdleLimit(5s);
    ASSERT_TRUE(Connect(session, peer));
    DescriptorSink sink(file.handle());
    EXPECT_TRUE(session.RetrieveInto(QStringLiteral("f"), sink));
    EXPECT_EQ(session.GetReplyCode(), 226);
    EXPECT_EQ(ReadAll(file.fileName()), QByteArray("early"));

    EXPECT_FALSE(session.RetrieveInto(QStringLiteral("g"), sink));
    EXPECT_EQ(session.GetReplyCode(), 451);
    EXPECT_FALSE(session.RetrieveInto(QStringLiteral("h"), sink));
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/"));
    EXPECT_TRUE(peer.Errors().isEmpty()) << peer.Errors().join(u'\n').toStdString();
}

}  // namespace
