// Connect and Disconnect without dial-up: the login dialog, the login, the initial folders and
// where each failure stops.
#include "tests/mainwindow/connect_fixture.h"

#include "tests/support/test_servers.h"

#include <QUuid>

namespace {

TEST_F(ConnectTest, CancelledLoginChangesNothing)
{
    const QString logBefore = window->LogText();
    prompter.QueueDialog([](QDialog&) { return false; });
    window->Connect();
    EXPECT_EQ(prompter.dialogTitles, QStringList{QStringLiteral("Tallowin ログイン")});
    EXPECT_TRUE(prompter.messages.isEmpty());
    EXPECT_EQ(window->LogText(), logBefore);
    EXPECT_TRUE(LooksDisconnected());
}

TEST_F(ConnectTest, EachRequiredTextMissingStopsBeforeAnyDialOrConnection)
{
    SettingsStore::WriteFlag(SettingName::UseAutoDialUp, true);
    ScriptedFtpPeer peer;
    const QString server = PeerServer(peer);
    QueueLogin(QString(), QStringLiteral("user"), QStringLiteral("secret"));
    QueueLogin(server, QString(), QStringLiteral("secret"));
    QueueLogin(server, QStringLiteral("user"), QString());
    for (int i = 0; i < 3; ++i)
        window->Connect();
    EXPECT_EQ(prompter.messages, QStringList(3, ConnectText::MissingField));
    EXPECT_TRUE(dialUp.calls.isEmpty());
    EXPECT_FALSE(peer.ClientConnected());
    EXPECT_EQ(prompter.unanswered, 0);
    EXPECT_TRUE(LooksDisconnected());
}

TEST_F(ConnectTest, RefusedControlConnectionIsLogged)
{
    QueueLogin(QStringLiteral("127.0.0.1:%1").arg(ClosedPort()));
    window->Connect();
    EXPECT_EQ(window->LogText(), AsLogged(ConnectText::ConnectFailed));
    EXPECT_TRUE(LooksDisconnected());

    // A port that is no port never reaches the network and ends the same way.
    window->Control(MainControlId::LogBox)->setProperty("plainText", QString());
    QueueLogin(QStringLiteral("127.0.0.1:0"));
    window->Connect();
    EXPECT_EQ(window->LogText(), AsLogged(ConnectText::ConnectFailed));
    EXPECT_TRUE(prompter.messages.isEmpty());
}

TEST_F(ConnectTest, RefusedLoginIsLoggedAndSendsNoQuit)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("331 Password required").Answer("530 Login incorrect");
    QueueLogin(PeerServer(peer));
    window->Connect();
    EXPECT_EQ(window->LogText(), AsLogged(ConnectText::LoginFailed));
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_TRUE(window->RemotePath().isEmpty());

    window.reset();  // closes the control connection without a word
    ASSERT_TRUE(peer.WaitFinished());
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"USER user", "PASS secret"}));
    EXPECT_TRUE(peer.Errors().isEmpty()) << peer.Errors().join(u'\n').toStdString();
}

TEST_F(ConnectTest, WithoutInitialFoldersTheServerFolderIsListedAndThePwdReplyShows)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    const QString localBefore = window->LocalPath();
    QueueLogin(PeerServer(peer));
    window->Connect();

    EXPECT_TRUE(LooksConnected());
    EXPECT_EQ(window->RemotePath(), QStringLiteral("/home"));
    EXPECT_EQ(PathEditText(MainControlId::RemotePath), QStringLiteral("/home"));
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral("257 \"/home\" is the current directory\r\n")));
    EXPECT_EQ(PaneTexts(*window->RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("<sub>"),
                                                            QStringLiteral("a.txt")}));
    EXPECT_EQ(window->LocalPath(), localBefore);
    ASSERT_TRUE(peer.WaitScriptDone());
    const QList<QByteArray> commands = peer.Commands();
    ASSERT_EQ(commands.size(), 8);
    EXPECT_EQ(commands.mid(0, 5), (QList<QByteArray>{"USER user", "PASS secret", "FEAT", "PWD", "PWD"}));
    EXPECT_EQ(commands.at(7), "LIST -aL");
}

TEST_F(ConnectTest, AListingTheServerRefusesIsLoggedWithItsReply)
{
    ScriptedFtpPeer peer;
    peer.Login().Answer("500 FEAT not understood").Answer("257 \"/home\" is the current directory")
        .Answer("257 \"/home\" is the current directory")
        .Answer("200 Type set to A")
        .Answer("200 PORT command successful")
        .Answer("550 Permission denied.")
        .Answer("200 PORT command successful")
        .Answer("550 Permission denied.");
    QueueLogin(PeerServer(peer));
    window->Connect();
    EXPECT_TRUE(LooksConnected());
    EXPECT_EQ(window->LogText(), QStringLiteral("ファイルリストの取得に失敗しました: 550 Permission denied."));
    EXPECT_EQ(PaneTexts(*window->RemoteList()), QStringList{QStringLiteral("..")});
    ASSERT_TRUE(peer.WaitScriptDone());
}

TEST_F(ConnectTest, UnreachableRemoteFolderLeavesTheServersFolderAndTheCwdReply)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer, "550 /nope: No such file or directory");
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), QString(), QStringLiteral("/nope"));
    window->Connect();

    EXPECT_TRUE(LooksConnected());
    EXPECT_EQ(window->RemotePath(), QStringLiteral("/home"));
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral("550 /nope: No such file or directory\r\n")));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(peer.Commands().mid(2, 4), (QList<QByteArray>{"FEAT", "PWD", "CWD /nope", "PWD"}));
}

TEST_F(ConnectTest, RemoteFolderTakenAsTheServerSpellsIt)
{
    // The server may report the folder differently from how it was typed.
    ScriptedFtpPeer peer;
    ScriptConnect(peer, "250 Directory changed", "/home/sub");
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), QString(), QStringLiteral("sub/"));
    window->Connect();
    EXPECT_EQ(window->RemotePath(), QStringLiteral("/home/sub"));
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral("250 Directory changed\r\n")));
}

TEST_F(ConnectTest, LocalFolderLosesOneTrailingSlash)
{
    QDir(local.path()).mkdir(QStringLiteral("inner"));
    QFile(local.filePath(QStringLiteral("b.bin"))).open(QIODevice::WriteOnly);
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), local.path() + u'/');
    window->Connect();
    EXPECT_EQ(window->LocalPath(), local.path());
    EXPECT_EQ(PathEditText(MainControlId::LocalPath), local.path());
    EXPECT_EQ(PaneTexts(*window->LocalList()),
              (QStringList{QStringLiteral(".."), QStringLiteral("<inner>"), QStringLiteral("b.bin")}));
}

// A relative local folder is the home folder's: the path is whole, and a later action finds
// the path edit as the pane left it.
TEST_F(ConnectTest, RelativeLocalFolderIsTheHomeFolders)
{
    const QByteArray home = qgetenv("HOME");
    const auto restore = qScopeGuard([&] { qputenv("HOME", home); });
    qputenv("HOME", QFile::encodeName(local.path()));
    QDir(local.path()).mkdir(QStringLiteral("Downloads"));
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), QStringLiteral("Downloads"));
    window->Connect();
    window->OpenLocalEntry();
    EXPECT_EQ(window->LocalPath(), local.filePath(QStringLiteral("Downloads")));
}

// A server that names no folder: the pane lists where it is, but nothing is done by a path made
// from no folder ("/" + name would be the root's entry of that name).
TEST_F(ConnectTest, WithoutAFolderFromPwdNoPathIsMadeForTheEntriesShown)
{
    ScriptedFtpPeer peer;
    peer.Login().Answer("211 End").Answer("550 PWD refused").Answer("550 PWD refused")
        .Answer("200 Type set to A").Answer("200 PORT command successful")
        .Answer("150 Here comes the listing").ConnectData()
        .SendData("-rw-r--r-- 1 ftp ftp    5 Jan 01  2024 a.txt\r\n").CloseData()
        .Send("226 Transfer complete\r\n");
    QueueLogin(PeerServer(peer));
    window->Connect();
    window->RemoteList()->Tree().selectAll();
    window->DeleteRemoteEntries();
    window->DownloadSelection();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral(
        "サーバーが現在のフォルダを返さないため実行できません。フォルダのパスを入力して開いてください")));
}

TEST_F(ConnectTest, LocalRootStaysTheRootAndAnUnlistableFolderFallsBackToIt)
{
    for (const QString& folder : {QStringLiteral("/"), local.filePath(QStringLiteral("missing"))}) {
        SCOPED_TRACE(folder.toStdString());
        ScriptedFtpPeer peer;
        ScriptConnect(peer);
        QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), folder);
        window = std::make_unique<MainWindow>();
        window->LocalList()->SetRows({});
        window->Connect();
        EXPECT_TRUE(LooksConnected());
        EXPECT_EQ(window->LocalPath(), QStringLiteral("/"));
        const QStringList items = PaneTexts(*window->LocalList());
        EXPECT_FALSE(items.contains(QStringLiteral("..")));
        EXPECT_TRUE(items.contains(QStringLiteral("<tmp>")));
    }
}

TEST_F(ConnectTest, DisconnectAfterConnectQuitsAndEmptiesTheRemoteSide)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    peer.Answer("221 Goodbye");
    QueueLogin(PeerServer(peer));
    window->Connect();
    ASSERT_TRUE(LooksConnected());

    ASSERT_FALSE(window->RemoteEntries().isEmpty());
    window->Disconnect();
    EXPECT_EQ(window->LogText(), AsLogged(QStringLiteral("221 Goodbye\r\n")));
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_TRUE(window->RemoteEntries().isEmpty());  // no overwrite question from a gone server
    EXPECT_TRUE(window->RemotePath().isEmpty());
    EXPECT_TRUE(PathEditText(MainControlId::RemotePath).isEmpty());
    EXPECT_EQ(window->RemoteList()->RowCount(), 0);
    EXPECT_TRUE(dialUp.calls.isEmpty());
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(peer.Commands().last(), "QUIT");
}

TEST_F(ConnectTest, DisconnectWhileNotConnectedStillClearsTheRemoteSide)
{
    AppendRow(*window->RemoteList(), QStringLiteral("left over"));
    static_cast<QLineEdit*>(window->Control(MainControlId::RemotePath))->setText(QStringLiteral("/typed"));
    window->Disconnect();
    EXPECT_EQ(window->RemoteList()->RowCount(), 0);
    EXPECT_TRUE(PathEditText(MainControlId::RemotePath).isEmpty());
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_TRUE(prompter.messages.isEmpty());
}

// Against the real servers: initial folders on both sides, in active and in passive mode.
TEST_F(ConnectTest, RealServersListTheInitialFoldersInBothModes)
{
    const std::vector<TestServer> servers = TestServers();
    if (servers.empty())
        GTEST_SKIP() << "no test FTP servers (run through scripts/test.sh)";
    for (const TestServer& server : servers) {
        for (const bool passive : {false, true}) {
            SCOPED_TRACE((server.name + (passive ? QStringLiteral(" passive") : QStringLiteral(" active"))).toStdString());
            const QString folder = QStringLiteral("connect-") + QUuid::createUuid().toString(QUuid::Id128);
            ASSERT_TRUE(QDir(server.root).mkpath(folder + QStringLiteral("/sub")));
            QFile file(QDir(server.root).filePath(folder + QStringLiteral("/名前 のある.txt")));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("text\n");
            file.close();
            SettingsStore::WriteFlag(SettingName::UsePASV, passive);

            window = std::make_unique<MainWindow>();
            QueueLogin(QStringLiteral("%1:%2").arg(server.host).arg(server.port), server.user, server.password,
                        local.path(), u'/' + folder);
            window->Connect();
            EXPECT_TRUE(LooksConnected());
            EXPECT_EQ(window->RemotePath(), u'/' + folder);
            EXPECT_EQ(PaneTexts(*window->RemoteList()),
                      (QStringList{QStringLiteral(".."), QStringLiteral("<sub>"), QStringLiteral("名前 のある.txt")}));
            EXPECT_EQ(window->LocalPath(), local.path());
            if (passive)
                EXPECT_EQ(window->LogText(), ConnectText::PassiveMode);
            else
                EXPECT_TRUE(window->LogText().startsWith(QStringLiteral("250"))) << window->LogText().toStdString();

            window->Disconnect();
            EXPECT_TRUE(window->LogText().startsWith(QStringLiteral("221"))) << window->LogText().toStdString();
            QDir(QDir(server.root).filePath(folder)).removeRecursively();
        }
    }
}

TEST_F(ConnectTest, RealServersRefuseAWrongPassword)
{
    const std::vector<TestServer> servers = TestServers();
    if (servers.empty())
        GTEST_SKIP() << "no test FTP servers (run through scripts/test.sh)";
    for (const TestServer& server : servers) {
        SCOPED_TRACE(server.name.toStdString());
        QueueLogin(QStringLiteral("%1:%2").arg(server.host).arg(server.port), server.user,
                    server.password + QStringLiteral("-wrong"));
        window->Connect();
        EXPECT_EQ(window->LogText(), AsLogged(ConnectText::LoginFailed));
        EXPECT_TRUE(LooksDisconnected());
    }
}

}  // namespace

// The profile's character set reaches the session: a Shift_JIS server's folder and names show
// decoded, ASCII stays ASCII ("~" is no overline), and a server that lists UTF8 is not asked to
// switch to it.
TEST_F(ConnectTest, ChosenShiftJisDecodesTheServersFolderAndListing)
{
    ScriptedFtpPeer peer;
    peer.Login().Read().Send("211-Features:\r\n UTF8\r\n211 End\r\n")
        .Answer("257 \"/\x83\x5c\x83\x74\x83\x67\" is the current directory")
        .Answer("257 \"/\x83\x5c\x83\x74\x83\x67\" is the current directory")
        .Answer("200 Type set to A")
        .Answer("200 PORT command successful")
        .Answer("150 Here comes the listing")
        .ConnectData()
        .SendData("-rw-r--r-- 1 ftp ftp    5 Jan 01  2024 \x95\x5c~1.txt\r\n")
        .CloseData()
        .Send("226 Transfer complete\r\n");
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), {}, {}, 0,
               QStringLiteral("Shift_JIS"));
    window->Connect();

    EXPECT_TRUE(LooksConnected());
    EXPECT_EQ(MainWindowTestAccess::Session(*window).WireCharset(), "CP932");
    EXPECT_EQ(window->RemotePath(), QStringLiteral("/ソフト"));
    EXPECT_EQ(PaneTexts(*window->RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("表~1.txt")}));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(peer.Commands().mid(2, 3), (QList<QByteArray>{"FEAT", "PWD", "PWD"}));
}
