// A listing longer than the session takes: the lines that came whole are kept, the server is
// stopped with ABOR, and the control connection stays in step for the next command.
#include "engine/ftp_session.h"
#include "tests/support/scripted_ftp_peer.h"

#include <gtest/gtest.h>

namespace {

QByteArray Lines(int count)
{
    QByteArray lines;
    for (int i = 0; i < count; ++i)
        lines += "-rw-r--r-- 1 u g 1 Jan 01 12:00 file" + QByteArray::number(i + 10) + "\r\n";
    return lines;  // 40 bytes a line
}

TEST(ListingLimit, KeepsTheWholeLinesWithinTheLimitAndStopsTheServer)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 Type set")
        .AnswerPassive()
        .AcceptData()
        .Answer("150 Here comes the listing")
        .SendData(Lines(50))
        .Read()  // ABOR
        .Send("426 Failure writing network stream.\r\n226 ABOR ok\r\n")
        .CloseData()
        .Answer("250 Directory changed");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetListingLimit(100);
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_TRUE(session.LastListingCut());
    // Two lines of 40 bytes are whole; the third is cut off and left out.
    EXPECT_EQ(out, QString::fromLatin1(Lines(2)));
    EXPECT_TRUE(session.ChangeDir(QStringLiteral("/next")));
    EXPECT_EQ(peer.Commands().mid(2), (QList<QByteArray>{"LIST -aL", "ABOR", "CWD /next"}));
}

TEST(ListingLimit, AListingWithinTheLimitIsNotCut)
{
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 Type set")
        .AnswerPassive()
        .AcceptData()
        .Answer("150 Here comes the listing")
        .SendData(Lines(3))
        .CloseData()
        .Send("226 done\r\n");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetListingLimit(120);
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    QString out;
    EXPECT_TRUE(session.GetFileList(QString(), out));
    EXPECT_FALSE(session.LastListingCut());
    EXPECT_EQ(out, QString::fromLatin1(Lines(3)));
}

}  // namespace
