// Walks of remote folder trees, against the scripted FTP peer.
#include "engine/ftp_session.h"
#include "tests/support/scripted_ftp_peer.h"
#include "transfer/remote_tree.h"

#include <gtest/gtest.h>

#include <limits>

// A listing may claim any size: the walk's byte count stops at the largest number instead of
// wrapping to a negative total.
TEST(RemoteWalkSums, SizesNearTheTopOfTheRangeSaturate)
{
    const QByteArray huge = "-rw-r--r--    1 ftp      ftp      9223372036854775807 Jan 01 12:34 ";
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("250 ok").Answer("200 ok").AnswerPassive().AcceptData().Answer("150 here")
        .SendData(huge + "a\r\n" + huge + "b\r\n").CloseData().Send("226 done\r\n")
        .Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    RemoteTree tree;
    ASSERT_TRUE(WalkRemoteTree(session, QStringLiteral("/d"), QString(), QStringLiteral("/"), tree))
        << peer.Commands().join(' ').constData();
    EXPECT_EQ(tree.files, 2);
    EXPECT_EQ(tree.bytes, std::numeric_limits<qint64>::max());
}
