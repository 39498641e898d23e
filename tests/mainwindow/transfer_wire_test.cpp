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

TEST_F(TransferWireTest, AnUploadTheServerHoldsOtherwiseFailsWithItsReason)
{
    peer.Login().Read().Send("211-Features:\r\n XSHA256\r\n211 End\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go ahead").ReceiveData()
        .Send("226 done\r\n").Answer("250 " + QByteArray(64, 'e'));
    Connect();
    ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures());
    window->SelectBinaryMode();
    WriteFile(Scratch(QStringLiteral("up.bin")), "sent bytes");
    EXPECT_FALSE(MainWindowTestAccess::Session(*window).UploadFile(Scratch(), QStringLiteral("/"), QStringLiteral("up.bin"),
                                              RemoteEntryList()));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).TransferFailure(), QStringLiteral("サーバーのファイルが送ったものと一致しません"));
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetReplyText(), QStringLiteral("アップロードに失敗しました"));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(Commands().last(), "XSHA256 up.bin");
}

namespace {
const QByteArray SizeFeatures = "211-Features:\r\n SIZE\r\n REST STREAM\r\n211 End\r\n";
}  // namespace

// The pane's listing may be stale or case-folded: before an upload the server is asked whether
// the name is taken. Here it is (SIZE answers), so the overwrite question comes, and a 中止
// before the server took the STOR deletes nothing: the file is the user's.
TEST_F(TransferWireTest, AnUploadTheListingMissedAsksTheServerAndACancelBeforeStorDeletesNothing)
{
    peer.Login().Read().Send(SizeFeatures)
        .Answer("213 40")
        .Answer("200 ok").AnswerPassive().AcceptData()
        .Read().Do([this] { MainWindowTestAccess::Session(*window).Cancel(); })
        .Read().Send("426 aborted\r\n226 ABOR ok\r\n");
    Connect();
    TransferSession& session = MainWindowTestAccess::Session(*window);
    session.SetIdleLimit(std::chrono::seconds(5));
    ASSERT_TRUE(session.QueryFeatures());
    window->SelectBinaryMode();
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    WriteFile(Scratch(QStringLiteral("up.bin")), "hello world");
    prompter.QueueAnswer(true);
    EXPECT_FALSE(session.UploadFile(Scratch(), QStringLiteral("/"), QStringLiteral("up.bin"), RemoteEntryList()));
    session.ResetCancel();
    EXPECT_EQ(prompter.questions, QStringList{TransferText::OverwriteQuestion});
    EXPECT_EQ(Commands().mid(0, 2), (QList<QByteArray>{"FEAT", "SIZE up.bin"}));
    EXPECT_FALSE(peer.Commands().contains("DELE up.bin"));
}

// A name the server does not have: no question, and after 中止 the file that STOR made goes.
TEST_F(TransferWireTest, ACancelledUploadOfANewNameDeletesWhatItsStorMade)
{
    peer.Login().Read().Send(SizeFeatures)
        .Answer("550 No such file")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go ahead")
        .Read().Send("426 aborted\r\n226 ABOR ok\r\n")
        .Answer("250 deleted");
    Connect();
    TransferSession& session = MainWindowTestAccess::Session(*window);
    ASSERT_TRUE(session.QueryFeatures());
    window->SelectBinaryMode();
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    {
        // Larger than any socket buffer, so the upload is still going when 中止 comes.
        QFile file(Scratch(QStringLiteral("up.bin")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(64 * 1024 * 1024));
    }
    // 中止 once bytes moved, i.e. after the server took the STOR.
    session.SetFileProgressShown([&session](const FileProgress* file) {
        if (file && file->stage == FileProgress::Stage::Moving && file->total == 67108864)
            session.Cancel();
    });
    EXPECT_FALSE(session.UploadFile(Scratch(), QStringLiteral("/"), QStringLiteral("up.bin"), RemoteEntryList()));
    session.ResetCancel();
    // The upload returned without waiting for the server: ABOR and DELE follow in the settling.
    EXPECT_FALSE(Commands().contains("ABOR"));
    ASSERT_TRUE(session.SettlePending());
    session.SettleCancelled();
    ASSERT_TRUE(peer.WaitScriptDone()) << peer.Errors().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(prompter.questions.isEmpty());
    EXPECT_EQ(Commands().last(), "DELE up.bin");
    EXPECT_TRUE(session.TransferFailure().isEmpty());
}

// A download the listing gave no size for is checked against SIZE's: cut short, it fails with
// both sizes in its reason, the target is not made, and the data waits for a resume.
TEST_F(TransferWireTest, ADownloadShorterThanSizeSaysFailsNamingBothSizes)
{
    peer.Login().Read().Send(SizeFeatures)
        .Answer("213 11")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("hello ").CloseData().Send("226 done\r\n")
        .Answer("213 11");  // asked again after the short data: the server's size has not changed
    Connect();
    TransferSession& session = MainWindowTestAccess::Session(*window);
    ASSERT_TRUE(session.QueryFeatures());
    window->SelectBinaryMode();
    EXPECT_FALSE(session.DownloadFile(Scratch(), QStringLiteral("/"), QStringLiteral("f.bin"), RemoteEntryList()));
    EXPECT_EQ(session.TransferFailure(), QStringLiteral("サイズが一致しません (受信 6 バイト, サーバー 11 バイト)"));
    EXPECT_FALSE(QFile::exists(Scratch(QStringLiteral("f.bin"))));
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("f.bin.part"))), QByteArray("hello "));
    EXPECT_EQ(Commands().mid(0, 2), (QList<QByteArray>{"FEAT", "SIZE /f.bin"}));
}
