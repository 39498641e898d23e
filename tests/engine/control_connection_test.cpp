#include "engine/ftp_session.h"
#include "tests/support/scripted_ftp_peer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

TEST(ControlConnection, MultiLineGreetingIsOneReply)
{
    ScriptedFtpPeer peer;
    peer.Send("220-Welcome\r\n220-second line\r\n220 ready\r\n").Answer("250 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_EQ(session.GetReplyCode(), 220);
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("220-Welcome\r\n220-second line\r\n220 ready\r\n"));
    // The next command reads its own reply, not a left-over greeting line.
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/pub")));
}

TEST(ControlConnection, ContinuationLinesMayHaveAnyText)
{
    // Lines inside a multi-line reply may start with blanks or other codes; only "220 " ends it.
    ScriptedFtpPeer peer;
    peer.Send("220-Welcome\r\n    indented text\r\n226 not the end\r\n220 ready\r\n").Answer("250 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.GetReplyText().endsWith(QStringLiteral("220 ready\r\n")));
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("x")));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("250 ok\r\n"));
}

TEST(ControlConnection, GreetingOtherThan220FailsTheConnect)
{
    ScriptedFtpPeer peer;
    peer.Send("421 Too many users\r\n");
    FtpSession session;
    EXPECT_FALSE(Connect(session, peer));
    EXPECT_EQ(session.GetReplyCode(), 421);
    EXPECT_FALSE(session.IsConnected());
}

TEST(ControlConnection, RefusedConnectKeepsReplyCode)
{
    quint16 closedPort;
    {
        ScriptedFtpPeer unused;  // a port that was free a moment ago and is closed now
        closedPort = unused.Port();
    }
    FtpSession session;
    session.SetReplyCode(226);
    EXPECT_FALSE(session.ConnectToServer(QStringLiteral("127.0.0.1"), closedPort));
    EXPECT_EQ(session.GetReplyCode(), 226);
}

TEST(ControlConnection, ResolvesHostNames)
{
    ScriptedFtpPeer peer;
    peer.Greet();
    FtpSession session;
    EXPECT_TRUE(session.ConnectToServer(QStringLiteral("localhost"), peer.Port()));
}

TEST(ControlConnection, CommandsGoOutAsLinesInTheLocaleCharset)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 a").Answer("200 b").Answer("200 c");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.SendCommand(QStringLiteral("PWD")));
    session.GetResponce();
    EXPECT_TRUE(session.SendCommand(QStringLiteral("NOOP\r\n")));
    session.GetResponce();
    EXPECT_TRUE(session.SendCommand(QStringLiteral("CWD 日本語")));
    session.GetResponce();
    EXPECT_EQ(peer.Received(), QByteArray("PWD\r\nNOOP\r\nCWD \xe6\x97\xa5\xe6\x9c\xac\xe8\xaa\x9e\r\n"));
}

TEST(ControlConnection, CommandsWithLineBreaksOrNulAreRefused)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("DELE a\r\nDELE b")));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("DELE a\nb")));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("DELE a\rb")));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("DELE a") + QChar(0) + QStringLiteral("b")));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("DELE a\n")));
    EXPECT_FALSE(session.SendCommand(QString()));
    EXPECT_FALSE(session.DeleteRemoteFile(QStringLiteral("x\r\nRMD /")));
    EXPECT_TRUE(session.SendCommand(QStringLiteral("NOOP")));
    session.GetResponce();
    EXPECT_EQ(peer.Received(), QByteArray("NOOP\r\n"));
}

TEST(ControlConnection, WithoutConnectionNothingSucceeds)
{
    FtpSession session;
    session.SetReplyCode(250);
    EXPECT_FALSE(session.SendCommand(QStringLiteral("NOOP")));
    EXPECT_EQ(session.GetResponce(), QString(QChar(1)));
    EXPECT_EQ(session.GetReplyCode(), 250);
    // A code left from an earlier reply must not make an operation succeed.
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/")));
    EXPECT_FALSE(session.DeleteRemoteFile(QStringLiteral("a")));
    session.SetReplyCode(257);
    EXPECT_TRUE(session.GetRemoteDir().isEmpty());
}

TEST(ControlConnection, RepliesAreDecodedInTheLocaleCharset)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("257 \"/\xe3\x83\x87\xe3\x83\xbc\xe3\x82\xbf\" is the current directory")
        .Answer("257 \"/raw\xff\" is the current directory")
        .Answer("250 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/データ"));
    // A byte that does not decode survives the way back to the server, as Telnet wants a data
    // byte 0xFF: doubled (IAC IAC).
    const QString raw = session.GetRemoteDir();
    EXPECT_EQ(raw.size(), 5);
    EXPECT_TRUE(session.ChangeDir(raw));
    EXPECT_TRUE(peer.Received().endsWith("CWD /raw\xff\xff\r\n")) << peer.Received().toHex(' ').constData();
}

TEST(ControlConnection, ReplyCodeReadFromTheFirstThreeCharacters)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("abc def").Answer(" 42 odd");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    session.SendCommand(QStringLiteral("X"));
    EXPECT_EQ(session.GetResponce(), QStringLiteral("abc def\r\n"));
    EXPECT_EQ(session.GetReplyCode(), 0);
    session.SendCommand(QStringLiteral("Y"));
    session.GetResponce();
    EXPECT_EQ(session.GetReplyCode(), 42);
}

TEST(ControlConnection, RepliesSplitAcrossReadsAndSharingOneRead)
{
    ScriptedFtpPeer peer;
    peer.Send("22").Pause().Send("0 hel").Pause().Send("lo\r").Pause().Send("\n");
    // Two replies in one piece: the second must wait for the PASS, not be lost.
    peer.Read().Send("331 password\r\n230 in\r\n").Read();
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("220 hello\r\n"));
    EXPECT_TRUE(session.UserLogin(QStringLiteral("u"), QStringLiteral("p")));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("230 in\r\n"));
}

TEST(ControlConnection, ServerClosingMidReply)
{
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send("250-first line\r\n250 unfini").Close();
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    session.SetReplyCode(250);
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/a")));
    EXPECT_EQ(session.GetReplyCode(), 250);  // nothing complete was read
    EXPECT_EQ(session.GetResponce(), QStringLiteral("GetResponce nRead=0 Error"));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("NOOP")));
    EXPECT_FALSE(session.IsConnected());
}

TEST(ControlConnection, EndlessLineEndsTheRead)
{
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send("250 " + QByteArray(70 * 1024, 'x')).WaitForClose();
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/a")));
    EXPECT_EQ(session.GetReplyCode(), 220);
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("220 scripted peer ready\r\n"));
}

TEST(ControlConnection, EndlessReplyEndsTheRead)
{
    QByteArray lines;
    for (int i = 0; i < 20000; ++i)
        lines += "250-" + QByteArray(60, 'y') + "\r\n";  // 1.3 MB of short lines
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(lines).WaitForClose();
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/a")));
    EXPECT_EQ(session.GetReplyCode(), 220);
}

TEST(ControlConnection, SilentServerEndsTheWait)
{
    ScriptedFtpPeer peer;
    peer.Greet().Read().WaitForClose();
    FtpSession session;
    session.SetIdleLimit(200ms);
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("/a")));
    EXPECT_FALSE(session.SendCommand(QStringLiteral("NOOP")));  // the connection is given up
}

TEST(ControlConnection, SilentServerBeforeTheGreeting)
{
    ScriptedFtpPeer peer;
    peer.WaitForClose();
    FtpSession session;
    session.SetIdleLimit(200ms);
    session.SetReplyCode(220);
    EXPECT_FALSE(Connect(session, peer));
    EXPECT_FALSE(session.IsConnected());
}

}  // namespace
