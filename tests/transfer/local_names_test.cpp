// Local file names that keep undecodable server bytes: two names that differ only in them land
// in two files.
#include "engine/ftp_session.h"
#include "engine/local_name.h"
#include "transfer/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <dirent.h>
#include <unistd.h>

#include <set>

using namespace std::chrono_literals;

namespace {

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    session.SetIdleLimit(10s);
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

// Two server names that differ only in bytes the character set does not know land in two local
// files, whose names the folder gives back as the names that were downloaded.
TEST(LocalNames, NamesDifferingInUndecodableBytesBecomeTwoFiles)
{
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    ScriptedFtpPeer peer;
    peer.Greet()
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go").SendData("one").CloseData()
        .Send("226 done\r\n")
        .AnswerPassive().AcceptData().Answer("150 go").SendData("two").CloseData()
        .Send("226 done\r\n")
        .Answer("250 ok");
    FtpSession session;
    session.SetPassiveMode(true);
    session.SetCharset("CP932");
    ASSERT_TRUE(Connect(session, peer));
    const QString first = QStringLiteral("x") + QChar(0xDC80);
    const QString second = QStringLiteral("x") + QChar(0xDCFD);
    ASSERT_TRUE(DownloadToFile(session, first, dir.filePath(first)));
    ASSERT_TRUE(DownloadToFile(session, second, dir.filePath(second)));
    // Escapes that spell "é" in UTF-8 make no local name of their own: nothing is asked for it.
    const QString third = QStringLiteral("x") + QChar(0xDCC3) + QChar(0xDCA9);
    EXPECT_FALSE(DownloadToFile(session, third, dir.filePath(third)));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::DataOpenFailed);
    EXPECT_TRUE(session.ChangeDir(QStringLiteral(".")));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(peer.Commands().mid(2), (QList<QByteArray>{"RETR x\x80", "PASV", "RETR x\xfd", "CWD ."}));

    std::set<QString> names;
    DIR* folder = ::opendir(LocalPathBytes(dir.path()).constData());
    ASSERT_NE(folder, nullptr);
    while (const dirent* entry = ::readdir(folder)) {
        if (entry->d_name[0] != '.')
            names.insert(LocalPathText(entry->d_name));
    }
    ::closedir(folder);
    EXPECT_EQ(names, (std::set<QString>{first, second}));
    EXPECT_EQ(LocalFileInfo(dir.filePath(first)).size(), 3);
    EXPECT_EQ(LocalFileInfo(dir.filePath(second)).size(), 3);
    // QTemporaryDir would see both as "x?" and remove neither.
    for (const QString& name : {first, second})
        EXPECT_EQ(::unlink(LocalPathBytes(dir.filePath(name)).constData()), 0);
}

}  // namespace
