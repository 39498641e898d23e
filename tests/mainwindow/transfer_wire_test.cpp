// What the transfers put on the wire and in the progress box, against the scripted FTP peer:
// the type each mode sends, and the texts the box paints.
#include "mainwindow/strings.h"
#include "mainwindow/wait_dialog.h"
#include "settings/settings_store.h"
#include "tests/mainwindow/files_fixture.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QApplication>
#include <QCryptographicHash>
#include <QEvent>
#include <QRegularExpression>

#include <gtest/gtest.h>

namespace {

// Records each text a wait box paints, as a person would see it change.
class PaintedTexts : public QObject {
public:
    PaintedTexts() { qApp->installEventFilter(this); }
    ~PaintedTexts() override { qApp->removeEventFilter(this); }
    QStringList texts;

protected:
    bool eventFilter(QObject* object, QEvent* event) override
    {
        if (event->type() == QEvent::Paint)
            if (auto* box = qobject_cast<WaitDialog*>(object))
                if (texts.isEmpty() || texts.last() != box->ShownText())
                    texts << box->ShownText();
        return false;
    }
};

constexpr char Listing[] = "-rw-r--r--    1 ftp      ftp           600 Jan 01 12:34 readme.txt\r\n";

class TransferWireTest : public FilesTest {
protected:
    void Connect()
    {
        // The window's session takes its mode from the store at each connect.
        SettingsStore::WriteFlag(SettingName::UsePASV, true);
        TransferSession& session = MainWindowTestAccess::Session(*window);
        ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
        ASSERT_TRUE(session.UserLogin(QStringLiteral("me"), QStringLiteral("secret")));
    }
    // The commands after the login, as the client sent them.
    QList<QByteArray> Commands() const { return peer.Commands().mid(2); }

    ScriptedFtpPeer peer;
};

}  // namespace

TEST_F(TransferWireTest, AutomaticModeLeavesTheTypeOfTheLatestFileForLaterListings)
{
    SettingsStore::WriteString(SettingName::AutoTransferModeList, QStringLiteral("txt"));
    peer.Login()
        // The listing after "B" and "A/B".
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 here").SendData(Listing).CloseData()
        .Send("226 done\r\n")
        // The download of readme.txt in three chunks.
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData(QByteArray(255, 'a')).Pause(std::chrono::milliseconds(150))
        .SendData(QByteArray(255, 'b')).Pause(std::chrono::milliseconds(150))
        .SendData(QByteArray(90, 'c')).CloseData().Send("226 done\r\n")
        // The listing that follows, in the type still in force.
        .AnswerPassive().AcceptData().Answer("150 here").SendData(Listing).CloseData()
        .Send("226 done\r\n");
    Connect();
    window->SelectBinaryMode();
    window->SelectAutoMode();
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    MainWindowTestAccess::ShowRemote(*window, QStringLiteral("/pub/docs"));
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("readme.txt")}));

    PaintedTexts painted;
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    MainWindowTestAccess::ShowRemote(*window, QStringLiteral("/pub/docs"));
    ASSERT_TRUE(peer.WaitScriptDone()) << peer.Errors().join(QLatin1Char('|')).toStdString();

    const QList<QByteArray> commands = Commands();
    EXPECT_EQ(commands, (QList<QByteArray>{"TYPE I", "PASV", "LIST -aL", "TYPE A", "PASV",
                                           "RETR /pub/docs/readme.txt", "PASV", "LIST -aL"}));

    // The box opens with the preparing text and ends with the updating one; between them it
    // shows the counts against the listed size, growing, with the speed and the time left, never
    // faster than a person can read.
    ASSERT_GE(painted.texts.size(), 3) << painted.texts.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(painted.texts.first(), QStringLiteral("準備中です\nしばらくお待ちください"));
    EXPECT_EQ(painted.texts.last(), QStringLiteral("更新中です\nしばらくお待ちください"));
    const QRegularExpression progress(
        QStringLiteral("^\\.\\.\\.docs/readme\\.txt\\n(\\d+)/600\\n\\d+\\.\\d MB/s( 残り \\d+:\\d\\d)?$"));
    int previous = 0;
    for (const QString& text : painted.texts.mid(1, painted.texts.size() - 2)) {
        const auto match = progress.match(text);
        ASSERT_TRUE(match.hasMatch()) << text.toStdString();
        EXPECT_GT(match.captured(1).toInt(), previous);
        previous = match.captured(1).toInt();
    }
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("readme.txt"))).size(), 600);
}

TEST_F(TransferWireTest, ARefusedDownloadClosesTheBoxWithoutTheUpdatingText)
{
    peer.Login().Answer("200 ok").AnswerPassive().AcceptData().Answer("550 No such file");
    Connect();
    PaintedTexts painted;
    EXPECT_FALSE(MainWindowTestAccess::Session(*window).DownloadFile(Scratch(), QStringLiteral("/"), QStringLiteral("gone.txt"),
                                                RemoteEntryList()));
    EXPECT_EQ(painted.texts, QStringList{QStringLiteral("準備中です\nしばらくお待ちください")});
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetReplyText(), QStringLiteral("ダウンロードに失敗しました"));
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("gone.txt"))));
}

TEST_F(TransferWireTest, AnEmptyUploadShowsNoCountAndSucceedsOnTheFinalReply)
{
    peer.Login().Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go ahead").ReceiveData()
        .Send("226 done\r\n");
    Connect();
    window->SelectBinaryMode();
    WriteFile(Scratch(QStringLiteral("empty")), QByteArray());
    PaintedTexts painted;
    EXPECT_TRUE(MainWindowTestAccess::Session(*window).UploadFile(Scratch(), QStringLiteral("/"), QStringLiteral("empty"),
                                             RemoteEntryList()));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(Commands().last(), "STOR empty");
    EXPECT_EQ(peer.DataReceived(), QByteArray());
    EXPECT_EQ(painted.texts, (QStringList{QStringLiteral("準備中です\nしばらくお待ちください"),
                                          QStringLiteral("更新中です\nしばらくお待ちください")}));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetReplyText(), QStringLiteral("アップロードが完了しました"));
}

TEST_F(TransferWireTest, ACheckedDownloadSaysSoInTheLogAndTheOptionTurnsTheCheckOff)
{
    const QByteArray contents = "bytes the server vouches for";
    const QByteArray md5 = QCryptographicHash::hash(contents, QCryptographicHash::Md5).toHex();
    auto download = [&]() -> ScriptedFtpPeer& {
        return peer.AnswerPassive().AcceptData().Answer("150 sending").SendData(contents).CloseData()
            .Send("226 done\r\n");
    };
    peer.Login().Read().Send("211-Features:\r\n XMD5\r\n211 End\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 here")
        .SendData("-rw-r--r--    1 ftp      ftp            28 Jan 01 12:34 f.bin\r\n").CloseData()
        .Send("226 done\r\n");
    download().Answer("250 " + md5.toUpper());
    download();
    Connect();
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    window->SelectBinaryMode();
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    MainWindowTestAccess::ShowRemote(*window, QStringLiteral("/pub"));

    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("f.bin")}));
    LogWatch log(*window);
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_TRUE(log.lines.contains(AsLogShows(QStringLiteral("f.bin のダウンロードが正常に終了しました\n照合しました (MD5)"))))
        << log.lines.join(u'|').toStdString();
    EXPECT_EQ(window->LogText(), AsLogShows(QStringLiteral("ダウンロードが完了しました\n照合しました (MD5)")));

    // Stored off, the next download asks nothing.
    SettingsStore::WriteFlag(SettingName::VerifyTransfers, false);
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("f.bin")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(window->LogText(), QStringLiteral("ダウンロードが完了しました"));
    ASSERT_TRUE(peer.WaitScriptDone()) << peer.Errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(Commands().count("XMD5 /pub/f.bin"), 1);
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("f.bin"))), contents);
}
