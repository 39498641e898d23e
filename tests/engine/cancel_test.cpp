#include "engine/ftp_session.h"
#include "tests/engine/path_transfers.h"
#include "engine/sockets.h"
#include "tests/support/loopback_stranger.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

using namespace std::chrono_literals;

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

// Waits (bounded) until the peer has read the command, so a cancel from another thread comes
// while the client waits for its answer.
void CancelOnceSeen(FtpSession& session, const ScriptedFtpPeer& peer, const QByteArray& command)
{
    for (int i = 0; i < 2000 && !peer.Commands().contains(command); ++i)
        std::this_thread::sleep_for(5ms);
    std::this_thread::sleep_for(20ms);  // the client is inside its wait by now, or soon
    session.Cancel();
}

// How servers answer ABOR after the client broke the data connection off (measured): the bytes
// after ABOR, whether the transfer's 226 came before ABOR was read, and what follows a NOOP
// (nullptr: the replies added up and no NOOP may be sent; "": the server stays silent and the
// client must give the connection up).
struct AbortPattern {
    const char* name;
    const char* afterAbor;
    bool finishedFirst;
    const char* afterNoop;
};

class AbortReplies : public testing::TestWithParam<AbortPattern> {};

TEST_P(AbortReplies, CancelledDownloadStopsItsSinkAndLeavesTheConnectionInStep)
{
    const AbortPattern& p = GetParam();
    QTemporaryDir dir;
    const QString target = dir.filePath(QStringLiteral("keep.bin"));
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(QByteArray(1000, 'x'));
    if (p.finishedFirst)
        peer.CloseData().Send("226 Transfer complete\r\n");
    peer.Read().Send(p.afterAbor);
    if (p.afterNoop && *p.afterNoop)
        peer.Read().Send(p.afterNoop).Answer("257 \"/\" is the current directory");
    else if (p.afterNoop)
        peer.Read().WaitForClose();
    else
        peer.Answer("257 \"/\" is the current directory");

    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    session.SetProgressCallback([&](qint64) { session.Cancel(); });
    ASSERT_TRUE(Connect(session, peer));
    PathSink sink(target);
    EXPECT_FALSE(session.RetrieveInto(QStringLiteral("big.bin"), sink));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_EQ(session.GetReplyText(), LocalStatus::CancelledText);
    // The sink hears of the cancel, with what arrived so far written.
    EXPECT_EQ(sink.stopped, DownloadStop::Cancelled);
    const QByteArray arrived = ReadAll(target);
    EXPECT_FALSE(arrived.isEmpty());
    EXPECT_EQ(arrived, QByteArray(arrived.size(), 'x'));

    session.ResetCancel();
    // The download returned without waiting for the server: ABOR and its replies are owed, and
    // the next command settles them first.
    EXPECT_TRUE(session.SettlePending());
    EXPECT_EQ(peer.Commands().size(), 3);
    if (p.afterNoop && !*p.afterNoop) {
        EXPECT_TRUE(session.GetRemoteDir().isEmpty());
        EXPECT_FALSE(session.IsConnected());
    } else {
        EXPECT_TRUE(session.IsConnected());
        EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/"));  // its own 257, not a late reply
        EXPECT_EQ(peer.Commands().mid(4),
                  p.afterNoop ? (QList<QByteArray>{"NOOP", "PWD"}) : (QList<QByteArray>{"PWD"}));
    }
    EXPECT_EQ(peer.Commands().value(3), "ABOR");
    EXPECT_FALSE(session.SettlePending());
}

INSTANTIATE_TEST_SUITE_P(
    Servers, AbortReplies,
    testing::Values(
        AbortPattern{"Failure426Then225", "426 Failure writing network stream.\r\n225 No transfer to ABOR.\r\n", false, nullptr},
        AbortPattern{"Aborted426Then226", "426 Transfer aborted. Data connection closed\r\n226 Abort successful\r\n", false, nullptr},
        AbortPattern{"FinishedBeforeAbor", "225 No transfer to ABOR.\r\n", true, nullptr},
        AbortPattern{"Lone150ThenSilence", "150 Accepted data connection\r\n", false, "200 NOOP ok\r\n"},
        AbortPattern{"Lone226", "226 Abort successful\r\n", false, "200 NOOP ok\r\n"},
        AbortPattern{"NoAnswer", "", false, "200 NOOP ok\r\n"},
        AbortPattern{"LateAnswerBeforeNoop", "", false, "426 late\r\n226 late\r\n200 NOOP ok\r\n"},
        AbortPattern{"SilentForGood", "", false, ""}),
    [](const testing::TestParamInfo<AbortPattern>& info) { return std::string(info.param.name); });

// A walk cancelled in a subfolder goes back to its folder once the connection is in step: the CWD
// follows the abort's replies, and the outcome stays the cancel's.
TEST(SettleCancelled, GoesBackToTheFolderAfterTheAbortReplies)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 listing").SendData("partial")
        .Read().Send("426 aborted\r\n226 ABOR ok\r\n").Answer("250 back").Answer("257 \"/top\" here");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    std::thread canceller([&] { CancelOnceSeen(session, peer, "LIST -aL"); });
    QString out;
    EXPECT_FALSE(session.GetFileList(QString(), out));
    canceller.join();
    session.ResetCancel();
    ASSERT_TRUE(session.SettlePending());
    session.ChangeDirAfterSettling(QStringLiteral("/top"));
    EXPECT_EQ(peer.Commands().size(), 3);  // nothing sent since the listing
    session.SettleCancelled();
    EXPECT_FALSE(session.SettlePending());
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/top"));
    EXPECT_EQ(peer.Commands().mid(3), (QList<QByteArray>{"ABOR", "CWD /top", "PWD"}));
}

// Cancels that come from another thread while the session waits on the control connection.
struct ControlWait {
    const char* name;
    std::function<void(ScriptedFtpPeer&)> script;  // up to the point where the peer goes quiet
    QByteArray awaited;                            // the command whose answer is awaited ("" = greeting)
    std::function<bool(FtpSession&)> operation;
    bool staysConnected;
};

class CancelledControlWait : public testing::TestWithParam<ControlWait> {};

TEST_P(CancelledControlWait, EndsTheOperation)
{
    const ControlWait& c = GetParam();
    ScriptedFtpPeer peer;
    c.script(peer);
    FtpSession session;
    std::thread canceller;
    if (c.awaited.isEmpty()) {
        canceller = std::thread([&] {
            for (int i = 0; i < 2000 && !peer.ClientConnected(); ++i)
                std::this_thread::sleep_for(5ms);
            std::this_thread::sleep_for(20ms);
            session.Cancel();
        });
        EXPECT_FALSE(Connect(session, peer));
    } else {
        ASSERT_TRUE(Connect(session, peer));
        canceller = std::thread([&] { CancelOnceSeen(session, peer, c.awaited); });
        EXPECT_FALSE(c.operation(session));
    }
    canceller.join();
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_EQ(session.IsConnected(), c.staysConnected);
    // The cancel stays in force: nothing more is sent until it is reset.
    const qsizetype sent = peer.Commands().size();
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/elsewhere")));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    session.ResetCancel();
    if (c.staysConnected) {
        EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/"));
    }
    EXPECT_FALSE(peer.Commands().mid(sent).contains("CWD /elsewhere"));
}

INSTANTIATE_TEST_SUITE_P(
    Stages, CancelledControlWait,
    testing::Values(
        ControlWait{"Greeting", [](ScriptedFtpPeer& peer) { peer.WaitForClose(); }, "", {}, false},
        ControlWait{"Login",
                    [](ScriptedFtpPeer& peer) { peer.Greet().Read().WaitForClose(); },
                    "USER me",
                    [](FtpSession& s) { return s.UserLogin(QStringLiteral("me"), QStringLiteral("pw")); },
                    false},
        // The answer comes late, after the cancel: it is taken, and PWD gets its own.
        ControlWait{"Command",
                    [](ScriptedFtpPeer& peer) {
                        peer.Greet().Read().Pause(300ms).Send("250 late\r\n").Answer("257 \"/\" here");
                    },
                    "CWD /slow",
                    [](FtpSession& s) { return s.ChangeDir(QStringLiteral("/slow")); },
                    true},
        // Active mode: the server announced the data but never connects.
        ControlWait{"ActiveAccept",
                    [](ScriptedFtpPeer& peer) {
                        peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 opening")
                            .Read().Send("426 aborted\r\n226 ABOR ok\r\n").Answer("257 \"/\" here");
                    },
                    "RETR x",
                    [](FtpSession& s) {
                        QTemporaryDir dir;
                        const bool ok = Download(s, QStringLiteral("x"), dir.filePath(QStringLiteral("x")));
                        return ok || !Entries(dir).isEmpty();
                    },
                    true},
        // A listing whose data stalls.
        ControlWait{"Listing",
                    [](ScriptedFtpPeer& peer) {
                        peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 listing")
                            .Read().Send("426 aborted\r\n226 ABOR ok\r\n").Answer("257 \"/\" here");
                    },
                    "LIST -aL",
                    [](FtpSession& s) {
                        s.SetPassiveMode(true);
                        QString out;
                        return s.GetFileList(QString(), out);
                    },
                    true},
        // An upload the server stops reading.
        ControlWait{"Upload",
                    [](ScriptedFtpPeer& peer) {
                        peer.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go ahead")
                            .Read().Send("426 aborted\r\n226 ABOR ok\r\n").Answer("257 \"/\" here");
                    },
                    "STOR up",
                    [](FtpSession& s) {
                        QTemporaryDir dir;
                        QFile file(dir.filePath(QStringLiteral("up")));
                        if (!file.open(QIODevice::WriteOnly) || !file.resize(64 * 1024 * 1024))
                            return true;
                        file.close();
                        s.SetPassiveMode(true);
                        s.SetTypeBinary();
                        return Upload(s, file.fileName(), QStringLiteral("up"));
                    },
                    true}),
    [](const testing::TestParamInfo<ControlWait>& info) { return std::string(info.param.name); });

TEST(FinalReply, Code250EndsTransfersLike226)
{
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("up"));
    {
        QFile file(source);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("up");
    }
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("125 listing")
        .SendData("-rw-r--r-- 1 a b 1 Jan 01 12:00 f\r\n").CloseData().Send("250 List completed\r\n")
        .AnswerPassive().AcceptData().Answer("125 sending")
        .SendData("down").CloseData().Send("250 Transfer completed\r\n")
        .AnswerPassive().AcceptData().Answer("125 storing").ReceiveData()
        .Send("250 Transfer completed\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_TRUE(Download(session, QStringLiteral("f"), dir.filePath(QStringLiteral("down"))));
    EXPECT_EQ(ReadAll(dir.filePath(QStringLiteral("down"))), QByteArray("down"));
    EXPECT_TRUE(Upload(session, source, QStringLiteral("up")));
}

TEST(BrokenControlConnection, A421OrAnEndLeavesTheSessionDisconnected)
{
    ScriptedFtpPeer closing;
    closing.Greet().Read().Send("421 Timeout - closing control connection\r\n").Close();
    FtpSession session;
    ASSERT_TRUE(Connect(session, closing));
    EXPECT_TRUE(session.IsConnected());
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/a")));
    EXPECT_FALSE(session.IsConnected());
    EXPECT_EQ(session.GetReplyCode(), 421);
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("421 Timeout - closing control connection\r\n"));

    ScriptedFtpPeer ending;
    ending.Greet().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("part").CloseData().Close();
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, ending));
    QString out;
    EXPECT_FALSE(session.GetFileList(QString(), out));
    EXPECT_FALSE(session.IsConnected());
}

TEST(ControlSocketOptions, KeepaliveProbesAnIdleConnection)
{
    ScriptedFtpPeer peer;
    peer.Greet();
    ControlSocket socket;
    ASSERT_TRUE(socket.ConnectToHost(QStringLiteral("127.0.0.1"), peer.Port(), 5s));
    auto option = [&](int level, int name) {
        int value = -1;
        socklen_t length = sizeof value;
        ::getsockopt(socket.Fd(), level, name, &value, &length);
        return value;
    };
    EXPECT_EQ(option(SOL_SOCKET, SO_KEEPALIVE), 1);
    EXPECT_EQ(option(IPPROTO_TCP, TCP_KEEPIDLE), 30);
    EXPECT_GT(option(IPPROTO_TCP, TCP_KEEPINTVL), 0);
    EXPECT_GT(option(IPPROTO_TCP, TCP_KEEPCNT), 0);
}

TEST(ActiveMode, StrangersConnectingDoNotExtendTheWait)
{
    // The server never connects; a third host connects again and again. The wait must end at
    // the idle limit counted from its start, long before the stranger gives up.
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("200 PORT ok").Answer("150 opening").WaitForClose();
    std::atomic<bool> done{false};
    std::atomic<bool> strangerGaveUp{false};
    std::thread stranger([&] {
        for (int i = 0; i < 2000 && !peer.Commands().contains("RETR x"); ++i)
            std::this_thread::sleep_for(5ms);
        const quint16 port = PortOfPortArgument(peer.Commands().value(1).mid(5));
        for (int i = 0; i < 200 && !done; ++i) {  // 10 s of attempts at most
            ConnectAsStranger(port);
            std::this_thread::sleep_for(50ms);
        }
        strangerGaveUp = !done;
    });
    FtpSession session;
    session.SetIdleLimit(300ms);
    ASSERT_TRUE(Connect(session, peer));
    QTemporaryDir dir;
    EXPECT_FALSE(Download(session, QStringLiteral("x"), dir.filePath(QStringLiteral("x"))));
    done = true;
    EXPECT_FALSE(strangerGaveUp);
    stranger.join();
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
}

}  // namespace
