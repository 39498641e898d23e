#include "engine/ftp_session.h"
#include "tests/support/scripted_ftp_peer.h"

#include <gtest/gtest.h>

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

QList<QByteArray> CommandsAfterGreeting(ScriptedFtpPeer& peer)
{
    peer.WaitScriptDone();
    return peer.Commands();
}

TEST(Login, UserThenPassword)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("331 Password required").Answer("230 Logged in");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.UserLogin(QStringLiteral("alice"), QStringLiteral("secret")));
    EXPECT_EQ(peer.Received(), QByteArray("USER alice\r\nPASS secret\r\n"));
}

TEST(Login, NoPasswordAskedMeansLoggedIn)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("230 Welcome, no password needed").WaitForClose();
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.UserLogin(QStringLiteral("guest"), QStringLiteral("pw")));
    session.ReleaseControlSocket();
    peer.WaitFinished();
    EXPECT_EQ(peer.Commands(), QList<QByteArray>{"USER guest"});
}

TEST(Login, WrongPasswordAndRefusedUser)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("331 Password required").Answer("530 Login incorrect").Answer("530 No such user");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.UserLogin(QStringLiteral("alice"), QStringLiteral("wrong")));
    EXPECT_EQ(session.GetReplyCode(), 530);
    EXPECT_FALSE(session.UserLogin(QStringLiteral("nobody"), QStringLiteral("x")));
    EXPECT_EQ(CommandsAfterGreeting(peer).size(), 3);  // no PASS after the refused USER
}

TEST(Commands, RemoteDirUndoesDoubledQuotesAndDropsATrailingSlash)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("257 \"/home/u/\" is current")
        .Answer("257 \"//\" is current")
        .Answer("257 \"/say \"\"hi\"\"\" is current")
        .Answer("257 no quotes here")
        .Answer("257 \"/unterminated")
        .Answer("550 no");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/home/u"));
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/"));
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/say \"hi\""));
    EXPECT_EQ(session.GetRemoteDir(), QString());
    EXPECT_EQ(session.GetRemoteDir(), QString());
    EXPECT_EQ(session.GetRemoteDir(), QString());
}

// The folder button's MakeDir asks PWD first; a tree's CreateFolder sends MKD alone, and only
// 257 counts.
TEST(Commands, MakeDirAsksPwdFirstAndNamesEmptyFoldersCreateFolderSendsMkdAlone)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("257 \"/\"").Answer("257 \"/New Folder\" created")
        .Answer("257 \"/a/b\" created").Answer("550 exists");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.MakeDir(QString()));
    EXPECT_TRUE(session.CreateFolder(QStringLiteral("/a/b")));
    EXPECT_FALSE(session.CreateFolder(QStringLiteral("/a/b")));
    EXPECT_FALSE(session.CreateFolder(QString()));
    EXPECT_EQ(CommandsAfterGreeting(peer), (QList<QByteArray>{"PWD", "MKD New Folder", "MKD /a/b", "MKD /a/b"}));
}

TEST(Commands, EmptyArgumentsSendNothing)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    session.SetReplyCode(250);
    EXPECT_FALSE(session.ChangeDir(QString()));
    EXPECT_FALSE(session.RemoveDir(QString()));
    EXPECT_FALSE(session.DeleteRemoteFile(QString()));
    EXPECT_FALSE(session.RenameFile(QString(), QStringLiteral("b")));
    EXPECT_FALSE(session.RenameFile(QStringLiteral("a"), QString()));
    EXPECT_FALSE(session.ChangeFileAttrib(QStringLiteral("a"), QString()));
    EXPECT_EQ(session.GetReplyCode(), 250);
    session.SendCommand(QStringLiteral("NOOP"));
    session.GetResponce();
    EXPECT_EQ(peer.Received(), QByteArray("NOOP\r\n"));
}

TEST(Commands, OneCommandOperationsOnTheWire)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("250 CWD ok")
        .Answer("250 RMD ok")
        .Answer("250 DELE ok")
        .Answer("550 CWD refused")
        .Answer("500 SITE not understood");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/pub/my dir")));
    EXPECT_TRUE(session.RemoveDir(QStringLiteral("old")));
    EXPECT_TRUE(session.DeleteRemoteFile(QStringLiteral("a b.txt")));
    EXPECT_FALSE(session.ChangeDir(QStringLiteral("nowhere")));
    EXPECT_EQ(session.GetReplyCode(), 550);
    // The server's answer to SITE is shown whatever it is.
    EXPECT_TRUE(session.ChangeFileAttrib(QStringLiteral("run.sh"), QStringLiteral("755")));
    EXPECT_EQ(session.GetReplyCode(), 500);
    EXPECT_EQ(peer.Received(), QByteArray("CWD /pub/my dir\r\nRMD old\r\nDELE a b.txt\r\nCWD nowhere\r\n"
                                          "SITE CHMOD 755 run.sh\r\n"));
}

TEST(Commands, RenameNeedsBothAnswers)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("350 ready for RNTO")
        .Answer("553 not allowed")
        .Answer("550 no such file")
        .Answer("350 ready for RNTO")
        .Answer("250 renamed");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_FALSE(session.RenameFile(QStringLiteral("a"), QStringLiteral("b")));
    EXPECT_EQ(session.GetReplyCode(), 553);
    EXPECT_FALSE(session.RenameFile(QStringLiteral("missing"), QStringLiteral("b")));
    EXPECT_TRUE(session.RenameFile(QStringLiteral("a"), QStringLiteral("dir/b")));
    EXPECT_EQ(CommandsAfterGreeting(peer),
              (QList<QByteArray>{"RNFR a", "RNTO b", "RNFR missing", "RNFR a", "RNTO dir/b"}));
}

TEST(Disconnect, QuitReleasesTheConnection)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("221-Goodbye\r\n221 See you");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.DisconnectFromServer());
    EXPECT_EQ(session.GetReplyCode(), 221);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_TRUE(peer.WaitFinished());
    EXPECT_EQ(peer.Received(), QByteArray("QUIT\r\n"));
    EXPECT_FALSE(session.DisconnectFromServer());  // nothing left to disconnect
}

TEST(Disconnect, AfterFailedConnectSendsNothing)
{
    ScriptedFtpPeer peer;
    peer.Send("421 busy\r\n").WaitForClose();
    FtpSession session;
    EXPECT_FALSE(Connect(session, peer));
    EXPECT_TRUE(session.DisconnectFromServer());
    session.ReleaseControlSocket();
    EXPECT_TRUE(peer.WaitFinished());
    EXPECT_TRUE(peer.Received().isEmpty());
}

}  // namespace
