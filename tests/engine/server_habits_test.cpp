// Servers as they are: FEAT and what it decides, machine listings, modification times, 227
// replies without parentheses, PASV refused, and replies ended by a bare LF.
#include "engine/ftp_reply.h"
#include "engine/ftp_session.h"
#include "tests/engine/path_transfers.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTimeZone>

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

const QByteArray Features = "211-Features:\r\n MDTM\r\n MLST type*;size*;modify*;UNIX.mode;perm;unique;\r\n"
                            " MFMT\r\n UTF8\r\n211 End\r\n";

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    session.SetIdleLimit(10s);
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

std::string Errors(const ScriptedFtpPeer& peer) { return peer.Errors().join(';').toStdString(); }

TEST(Features, ParsedFromTheReplyAndForgottenAtTheNextConnect)
{
    EXPECT_EQ(ParseFeatures(QString::fromLatin1(Features)),
              (QStringList{"MDTM", "MLST type*;size*;modify*;UNIX.mode;perm;unique;", "MFMT", "UTF8"}));
    EXPECT_EQ(ParseFeatures(QStringLiteral("500 FEAT not understood\r\n")), QStringList());
    EXPECT_EQ(ParseFeatures(QStringLiteral("211 No features\r\n")), QStringList());

    ScriptedFtpPeer peer;
    peer.Greet().Read().Send(Features).Answer("200 Always in UTF8 mode.")
        .Answer("200 MLST OPTS type;size;modify;UNIX.mode;perm;");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_TRUE(session.QueryFeatures());
    EXPECT_TRUE(session.HasFeature(QStringLiteral("mlst")));
    EXPECT_TRUE(session.HasFeature(QStringLiteral("MFMT")));
    EXPECT_FALSE(session.HasFeature(QStringLiteral("MLS")));
    ASSERT_TRUE(peer.WaitScriptDone());
    // The facts the listing reads that the server does not send by itself are asked for.
    EXPECT_EQ(peer.Commands(),
              (QList<QByteArray>{"FEAT", "OPTS UTF8 ON", "OPTS MLST type;size;modify;UNIX.mode;perm;"}));

    ScriptedFtpPeer next;
    next.Greet().Answer("500 FEAT not understood");
    ASSERT_TRUE(Connect(session, next));
    EXPECT_FALSE(session.HasFeature(QStringLiteral("MLST")));
    EXPECT_FALSE(session.QueryFeatures());
    EXPECT_TRUE(session.Features().isEmpty());
}

TEST(Features, MachineListingWhenOfferedAndLongListingWhenRefused)
{
    const QByteArray lines = "type=cdir;modify=20240115102200; /pub\r\n"
                             "Type=File;Size=3;Modify=20240115102200; a b;c.txt\r\n";
    ScriptedFtpPeer peer;
    peer.Greet()
        .Read().Send("211-Features:\r\n MLST Type*;Size*;Modify*;\r\n211 End\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 here").SendData(lines).CloseData()
        .Send("226 done\r\n")
        // A server that lists MLST yet refuses MLSD gets the long listing.
        .AnswerPassive().Answer("500 no").CloseData()
        .AnswerPassive().AcceptData().Answer("150 here").SendData("x\r\n").CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    ASSERT_TRUE(session.QueryFeatures());
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_TRUE(session.LastListingIsMachine());
    EXPECT_EQ(out, QString::fromUtf8(lines));
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_FALSE(session.LastListingIsMachine());
    EXPECT_EQ(out, QStringLiteral("x\r\n"));
    // Every fact wanted is sent already: no OPTS MLST.
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"FEAT", "TYPE A", "PASV", "MLSD", "PASV", "MLSD", "PASV",
                                                  "LIST -aL"}));
    EXPECT_TRUE(peer.Errors().isEmpty()) << Errors(peer);
}

TEST(Times, MdtmAndMfmtOnlyWhenListedAndTheirReplies)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Read().Send(Features).Answer("200 ok").Answer("200 ok")
        .Answer("213 20240115102200")
        .Answer("213 20240115102200.5")
        .Answer("550 No such file")
        .Answer("213 Modify=20240115102200; a b.txt")
        .Answer("213 UTIME OK")
        .Answer("550 Permission denied");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    // Before FEAT nothing is asked.
    EXPECT_FALSE(session.RemoteModificationTime(QStringLiteral("a")).isValid());
    ASSERT_TRUE(session.QueryFeatures());
    const QDateTime time(QDate(2024, 1, 15), QTime(10, 22), Qt::UTC);
    EXPECT_EQ(session.RemoteModificationTime(QStringLiteral("a b.txt")), time);
    EXPECT_EQ(session.RemoteModificationTime(QStringLiteral("b")), time);
    EXPECT_FALSE(session.RemoteModificationTime(QStringLiteral("gone")).isValid());
    EXPECT_TRUE(session.SetRemoteModificationTime(QStringLiteral("a b.txt"), time.toOffsetFromUtc(9 * 3600)));
    EXPECT_TRUE(session.SetRemoteModificationTime(QStringLiteral("c"), time));
    EXPECT_FALSE(session.SetRemoteModificationTime(QStringLiteral("d"), time));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(peer.Commands().mid(3), (QList<QByteArray>{"MDTM a b.txt", "MDTM b", "MDTM gone",
                                                         "MFMT 20240115102200 a b.txt", "MFMT 20240115102200 c",
                                                         "MFMT 20240115102200 d"}));
}

// "227 Entering Passive Mode 127,0,0,1,p1,p2" without parentheses, and a server that refuses PASV
// but takes EPSV: after the first refusal EPSV goes first.
TEST(Passive, WithoutParenthesesAndEpsvWhenPasvIsRefused)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok").AnswerPassive("227 Entering Passive Mode {addr}").AcceptData().Answer("150 go")
        .SendData("one").CloseData().Send("226 done\r\n")
        .Answer("502 PASV not allowed")
        .AnswerPassive("229 Entering Extended Passive Mode (|||{port}|)").AcceptData().Answer("150 go")
        .SendData("two").CloseData().Send("226 done\r\n")
        .AnswerPassive("229 Entering Extended Passive Mode (|||{port}|)").AcceptData()
        .Answer("150 go").SendData("three").CloseData().Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    for (const char* name : {"one", "two", "three"}) {
        const QString local = dir.filePath(QString::fromLatin1(name));
        EXPECT_TRUE(Download(session, QString::fromLatin1(name), local)) << session.GetReplyText().toStdString();
        QFile file(local);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_EQ(file.readAll(), QByteArray(name));
    }
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"TYPE A", "PASV", "RETR one", "PASV", "EPSV", "RETR two",
                                                  "EPSV", "RETR three"}));
    EXPECT_TRUE(peer.Errors().isEmpty()) << Errors(peer);
}

// TYPE goes only when the type changes; a refused TYPE is sent again before the next transfer.
TEST(Type, SentOnlyWhenItChangesAndAgainAfterARefusal)
{
    ScriptedFtpPeer peer;
    peer.Greet();
    const auto listing = [&peer] {
        peer.AnswerPassive().AcceptData().Answer("150 here").SendData("x\r\n").CloseData().Send("226 done\r\n");
    };
    peer.Answer("200 ok");
    listing();
    listing();
    peer.Answer("504 not now");
    listing();
    peer.Answer("200 ok");
    listing();
    listing();
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_TRUE(session.GetFileList(QString(), out));
    session.SetTypeBinary();
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"TYPE A", "PASV", "LIST -aL", "PASV", "LIST -aL", "TYPE I", "PASV",
                                                  "LIST -aL", "TYPE I", "PASV", "LIST -aL", "PASV", "LIST -aL"}));
    EXPECT_TRUE(peer.Errors().isEmpty()) << Errors(peer);
}

TEST(Passive, EpsvIsTriedOnceWhenBothAreRefused)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("200 ok").Answer("500 no PASV").Answer("500 no EPSV")
        .Answer("500 no EPSV").Answer("500 no PASV").Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    EXPECT_FALSE(session.GetFileList(QString(), out));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataSetupRefused);
    EXPECT_FALSE(session.GetFileList(QString(), out));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataSetupRefused);
    // Still in step: the next command reads its own reply.
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("x")));
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"TYPE A", "PASV", "EPSV", "EPSV", "PASV", "CWD x"}));
}

// Some embedded servers end reply lines with LF alone; each reply is read at once, not after
// the idle limit.
TEST(BareLineFeeds, RepliesEndAtALoneLf)
{
    ScriptedFtpPeer peer;
    peer.Send("220-Welcome\n220 ready\n")
        .Read().Send("331 password\n")
        .Read().Send("230-Hello\r\n230 in\n")
        .Read().Send("257 \"/home\" is here\n")
        .Read().Send("211-Features:\n MDTM\n211 End\n");
    FtpSession session;
    // Were a lone LF no line end, every reply would wait out this limit and come back empty.
    session.SetIdleLimit(5s);
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("220-Welcome\r\n220 ready\r\n"));
    EXPECT_TRUE(session.UserLogin(QStringLiteral("u"), QStringLiteral("p")));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("230-Hello\r\n230 in\r\n"));
    EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/home"));
    EXPECT_TRUE(session.QueryFeatures());
    EXPECT_TRUE(session.HasFeature(QStringLiteral("MDTM")));

    ReplyReader reader;
    QByteArray reply;
    const QByteArray stream = "200-a\n200 b\r\n226 c\n331 d";
    reader.Append(stream.constData(), stream.size());
    ASSERT_EQ(reader.Take(reply), ReplyReader::Result::Complete);
    EXPECT_EQ(reply, "200-a\n200 b\r\n");
    ASSERT_EQ(reader.Take(reply), ReplyReader::Result::Complete);
    EXPECT_EQ(reply, "226 c\n");
    EXPECT_EQ(reader.Take(reply), ReplyReader::Result::NeedMore);
}

}  // namespace
