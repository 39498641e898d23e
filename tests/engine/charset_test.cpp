// The wire's character set per session (automatic by FEAT, or named), and local file names that
// keep undecodable server bytes.
#include "engine/ftp_session.h"
#include "tests/engine/path_transfers.h"
#include "engine/local_name.h"
#include "engine/wire_codec.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <unistd.h>


using namespace std::chrono_literals;

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    session.SetIdleLimit(10s);
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

std::string Errors(const ScriptedFtpPeer& peer) { return peer.Errors().join(';').toStdString(); }

// "ソフト" in Shift_JIS: its first character's second byte is 0x5C, a backslash in ASCII.
const QByteArray SoftSjis = "\x83\x5c\x83\x74\x83\x67";
const QString Soft = QStringLiteral("ソフト");

// FEAT with UTF8 turns an automatic choice to UTF-8 after OPTS UTF8 ON (whatever its answer); a
// named UTF-8 sends it too; a named other set never does, nor does a server without UTF8.
TEST(Charset, OptsUtf8OnlyWhenListedAndTheChoiceAllowsIt)
{
    struct Case {
        QByteArray choice;
        QByteArray features;
        bool sendsOpts;
        QByteArray speaks;
    };
    const QByteArray withUtf8 = "211-Features:\r\n MDTM\r\n UTF8\r\n211 End\r\n";
    const QByteArray without = "211-Features:\r\n MDTM\r\n211 End\r\n";
    const QByteArray locale = WireCodec::LocaleCharset();
    for (const Case& c : {Case{{}, withUtf8, true, "UTF-8"}, Case{{}, without, false, locale},
                          Case{"UTF-8", withUtf8, true, "UTF-8"}, Case{"CP932", withUtf8, false, "CP932"},
                          Case{"EUC-JP", without, false, "EUC-JP"}}) {
        SCOPED_TRACE(c.choice.constData());
        ScriptedFtpPeer peer;
        peer.Greet().Read().Send(c.features);
        if (c.sendsOpts)
            peer.Answer("501 unknown option");
        peer.Answer("257 \"/\" is the current directory");
        FtpSession session;
        session.SetCharset(c.choice);
        ASSERT_TRUE(Connect(session, peer));
        EXPECT_EQ(session.WireCharset(), c.choice.isEmpty() ? locale : c.choice);
        ASSERT_TRUE(session.QueryFeatures());
        EXPECT_EQ(session.WireCharset(), c.speaks);
        EXPECT_EQ(session.GetRemoteDir(), QStringLiteral("/"));
        ASSERT_TRUE(peer.WaitScriptDone());
        const QList<QByteArray> expected = c.sendsOpts ? QList<QByteArray>{"FEAT", "OPTS UTF8 ON", "PWD"}
                                                       : QList<QByteArray>{"FEAT", "PWD"};
        EXPECT_EQ(peer.Commands(), expected);
        EXPECT_TRUE(peer.Errors().isEmpty()) << Errors(peer);
    }
}

// A Shift_JIS server: names are decoded from its listing and go back as its own bytes through
// CWD, RETR, STOR and DELE; a byte Shift_JIS does not know goes back unchanged.
TEST(Charset, ShiftJisNamesThroughListingAndCommands)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString upload = dir.filePath(QStringLiteral("up.txt"));
    {
        QFile file(upload);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("up");
    }
    const QByteArray listing = "-rw-r--r-- 1 u g 4 Jan 15 10:22 " + SoftSjis + ".txt\r\n"
                               "-rw-r--r-- 1 u g 4 Jan 15 10:22 odd\x80.txt\r\n";
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 here").SendData(listing).CloseData()
        .Send("226 done\r\n")
        .Answer("250 \x83\x65\x83\x58\x83\x67 is here")
        .AnswerPassive().AcceptData().Answer("150 go").SendData("data").CloseData().Send("226 done\r\n")
        .AnswerPassive().AcceptData().Answer("150 go").ReceiveData().Send("226 done\r\n")
        .Answer("250 deleted");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetCharset("CP932");
    ASSERT_TRUE(Connect(session, peer));
    QString out;
    ASSERT_TRUE(session.GetFileList(QString(), out));
    EXPECT_TRUE(out.contains(Soft + QStringLiteral(".txt\r\n"))) << out.toStdString();
    const QString odd = QStringLiteral("odd") + QChar(0xDC80) + QStringLiteral(".txt");
    EXPECT_TRUE(out.contains(odd));
    EXPECT_TRUE(session.ChangeDir(Soft));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("250 テスト is here\r\n"));
    EXPECT_TRUE(Download(session, odd, dir.filePath(Soft)));
    EXPECT_TRUE(Upload(session, upload, Soft + QStringLiteral("の控え")));
    EXPECT_TRUE(session.DeleteRemoteFile(odd));
    ASSERT_TRUE(peer.WaitScriptDone());
    const QList<QByteArray> commands = peer.Commands();
    ASSERT_EQ(commands.size(), 9) << Errors(peer);
    EXPECT_EQ(commands[3], "CWD " + SoftSjis);
    EXPECT_EQ(commands[5], "RETR odd\x80.txt");
    EXPECT_EQ(commands[7], "STOR " + SoftSjis + "\x82\xcc\x8d\x54\x82\xa6");  // "の控え"
    EXPECT_EQ(commands[8], "DELE odd\x80.txt");
    EXPECT_EQ(peer.DataReceived(), QByteArray("up"));
    // The local file takes the decoded name.
    QFile local(dir.filePath(Soft));
    ASSERT_TRUE(local.open(QIODevice::ReadOnly));
    EXPECT_EQ(local.readAll(), QByteArray("data"));
}

TEST(LocalNames, UndecodableBytesStayRawAndReadBackAsTheSameText)
{
    const QString escaped = QStringLiteral("a") + QChar(0xDCFD) + QStringLiteral("日");
    EXPECT_EQ(LocalPathBytes(escaped), QByteArray("a\xfd\xe6\x97\xa5"));
    EXPECT_EQ(LocalPathText("a\xfd\xe6\x97\xa5"), escaped);
    EXPECT_EQ(LocalPathBytes(QStringLiteral("/tmp/データ")), QStringLiteral("/tmp/データ").toUtf8());
    // Escapes that would spell "é" read back as another name: no file name at all, nor for a
    // lone surrogate that stands for no byte, nor for a NUL.
    EXPECT_TRUE(LocalPathBytes(QString(QChar(0xDCC3)) + QChar(0xDCA9)).isEmpty());
    EXPECT_TRUE(LocalPathBytes(QString(QChar(0xD800))).isEmpty());
    EXPECT_TRUE(LocalPathBytes(QStringLiteral("a") + QChar(0) + QStringLiteral("b")).isEmpty());
}

}  // namespace
