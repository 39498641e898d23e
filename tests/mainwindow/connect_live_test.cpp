// Connecting while the window stays live: 中止 at a server that never greets, and a server that
// drops the control connection in the middle of a session.
#include "tests/mainwindow/cancel_press.h"
#include "tests/mainwindow/connect_fixture.h"

#include <gtest/gtest.h>

#include <poll.h>

#include <atomic>
#include <thread>

namespace {

// A loopback socket that listens and never answers: connect() succeeds, no greeting comes.
class SilentServer {
public:
    SilentServer()
    {
        fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(fd, 4) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) == 0)
            port = ntohs(address.sin_port);
    }
    ~SilentServer() { ::close(fd); }
    int fd = -1;
    quint16 port = 0;
};

}  // namespace

TEST_F(ConnectTest, CancelWhileASilentServerHoldsTheGreetingLeavesTheWindowDisconnected)
{
    SilentServer silent;
    ASSERT_NE(silent.port, 0);
    MainWindowTestAccess::Session(*window).SetIdleLimit(std::chrono::seconds(30));
    QueueLogin(QStringLiteral("127.0.0.1:%1").arg(silent.port));
    // Pressed once the connection waits in the server's queue: the client waits for the greeting.
    PressCancelWhen cancel([&](const QString& shown) {
        pollfd waiting{silent.fd, POLLIN, 0};
        return shown == ConnectText::LoggingIn && ::poll(&waiting, 1, 0) == 1;
    });
    window->Connect();

    EXPECT_TRUE(cancel.pressed);
    EXPECT_EQ(window->LogText(), QStringLiteral("中止しました"));
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_FALSE(MainWindowTestAccess::Session(*window).IsConnected());
    EXPECT_TRUE(ShownWaitText().isEmpty());
    EXPECT_FALSE(window->IsServerWorkRunning());
}

TEST_F(ConnectTest, AServerThatClosesTheConnectionLeavesTheWindowDisconnectedWithItsReason)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    peer.Answer("421 Idle timeout, closing control connection").Close();
    QueueLogin(PeerServer(peer));
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();

    window->RemoteList()->setFocus();
    const int sub = FindRow(*window->RemoteList(), QStringLiteral("<sub>"));
    ASSERT_GE(sub, 0);
    PutCaretOn(*window->RemoteList(), sub);
    window->OpenRemoteEntry();

    EXPECT_TRUE(LooksDisconnected());
    EXPECT_TRUE(window->LogText().endsWith(
        QStringLiteral("サーバーとの接続が切れました: 421 Idle timeout, closing control connection")))
        << window->LogText().toStdString();
    EXPECT_TRUE(window->RemotePath().isEmpty());
    EXPECT_EQ(window->RemoteList()->RowCount(), 0);
}

TEST_F(ConnectTest, ClosingDuringWorkAsksAndCancelsThenTheWindowGoesAndRemembersItsPlace)
{
    SilentServer silent;
    window->show();
    window->setGeometry(40, 50, 700, 500);
    const QRect placed = window->geometry();
    QueueLogin(QStringLiteral("127.0.0.1:%1").arg(silent.port));
    prompter.QueueAnswer(false);  // not yet
    prompter.QueueAnswer(true);
    int asked = 0;
    PressCancelWhen closeTwice([&](const QString&) {
        if (asked < 2) {
            ++asked;
            window->close();
        }
        return false;
    });
    window->Connect();
    QCoreApplication::processEvents();  // the close that waited for the handler to end

    EXPECT_EQ(prompter.questions, QStringList(2, QStringLiteral("処理中です。中止して終了しますか？")));
    EXPECT_FALSE(window->isVisible());
    EXPECT_EQ(SettingsStore::ReadNumber(SettingName::WindowWidth), placed.width());
    MainWindow again;
    EXPECT_EQ(again.size(), placed.size());
}

// A link is opened by server work like any folder: the window stays live, and 中止 ends a CWD that
// is never answered.
TEST_F(ConnectTest, OpeningALinkRunsOnTheWorkerAndCanBeCancelled)
{
    ScriptedFtpPeer peer;
    peer.Login().Answer("211 End").Answer("257 \"/home\" is the current directory")
        .Answer("257 \"/home\" is the current directory")
        .Answer("200 Type set to A").Answer("200 PORT command successful").Answer("150 Here comes the listing")
        .ConnectData().SendData("lrwxrwxrwx 1 ftp ftp 3 Jan 01  2024 ln -> sub\r\n").CloseData()
        .Send("226 Transfer complete\r\n")
        .Read();  // CWD ln, never answered
    QueueLogin(PeerServer(peer));
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    // On the window's thread the CWD would hold everything for the idle limit, with no box.
    MainWindowTestAccess::Session(*window).SetIdleLimit(std::chrono::seconds(3));
    const int link = FindRow(*window->RemoteList(), QStringLiteral("ln"));
    ASSERT_GE(link, 0);
    window->RemoteList()->setFocus();
    PutCaretOn(*window->RemoteList(), link);
    PressCancelWhen cancel([&](const QString&) { return peer.Commands().contains("CWD ln"); });
    window->OpenRemoteEntry();

    EXPECT_TRUE(cancel.pressed);
    EXPECT_TRUE(window->LogText().startsWith(MainText::Cancelled)) << window->LogText().toStdString();
}

namespace {

// Connected to the peer, the caret on "<sub>", whose listing the peer starts and then stalls.
void StallSubListing(ScriptedFtpPeer& peer)
{
    peer.Answer("250 CWD ok").Answer("200 PORT command successful").Answer("150 Here comes the listing")
        .ConnectData().SendData("drwxr-xr-x 2 ftp ftp 4096 Jan 01  2024 deeper\r\n");
}

void PutCaretOnSub(MainWindow& window)
{
    const int sub = FindRow(*window.RemoteList(), QStringLiteral("<sub>"));
    ASSERT_GE(sub, 0);
    window.RemoteList()->setFocus();
    PutCaretOn(*window.RemoteList(), sub);
}

}  // namespace

// 中止 does not wait for the server: the handler has returned (its box gone) before the peer
// answers ABOR, and the next handler's command still reads its own reply.
TEST_F(ConnectTest, CancelReturnsBeforeTheServerAnswersAbortAndTheNextWorkStaysInStep)
{
    std::atomic<bool> handlerReturned{false};
    std::atomic<bool> returnedBeforeAnswer{false};
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    StallSubListing(peer);
    peer.Read()  // ABOR
        .Do([&] {
            for (int i = 0; i < 2000 && !handlerReturned; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            returnedBeforeAnswer = handlerReturned.load();
        })
        .Send("426 Transfer aborted\r\n226 Abort successful\r\n")
        .Answer("221 Goodbye");
    QueueLogin(PeerServer(peer));
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    PutCaretOnSub(*window);
    PressCancelWhen cancel([&](const QString&) { return peer.Commands().count("LIST -aL") == 2; });
    window->OpenRemoteEntry();
    handlerReturned = true;

    EXPECT_TRUE(cancel.pressed);
    EXPECT_TRUE(ShownWaitText().isEmpty());
    EXPECT_TRUE(window->LogText().contains(MainText::Cancelled)) << window->LogText().toStdString();
    window->Disconnect();
    EXPECT_TRUE(returnedBeforeAnswer);
    EXPECT_EQ(window->LogText(), QStringLiteral("221 Goodbye\n"));
    EXPECT_TRUE(LooksDisconnected());
    ASSERT_TRUE(peer.WaitFinished());
    EXPECT_EQ(peer.Commands().mid(peer.Commands().indexOf("ABOR")), (QList<QByteArray>{"ABOR", "QUIT"}));
}

// A server that answers neither ABOR nor the NOOP after it: the handler returns all the same, and
// once the settling gives up the window shows the connection as lost.
TEST_F(ConnectTest, ASilentServerAfterCancelIsDroppedAndShownDisconnected)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    StallSubListing(peer);
    peer.Read().Read().WaitForClose();  // ABOR, NOOP
    QueueLogin(PeerServer(peer));
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    PutCaretOnSub(*window);
    PressCancelWhen cancel([&](const QString&) { return peer.Commands().count("LIST -aL") == 2; });
    window->OpenRemoteEntry();

    EXPECT_TRUE(cancel.pressed);
    EXPECT_TRUE(LooksConnected());  // nothing is known yet
    for (int i = 0; i < 2000 && !LooksDisconnected(); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_TRUE(window->LogText().contains(QStringLiteral("サーバーとの接続が切れました"))) << window->LogText().toStdString();
    EXPECT_EQ(peer.Commands().mid(peer.Commands().indexOf("ABOR")), (QList<QByteArray>{"ABOR", "NOOP"}));
    EXPECT_TRUE(window->RemotePath().isEmpty());
}
