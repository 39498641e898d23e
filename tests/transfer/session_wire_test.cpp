// What single transfers and batches put on the wire, against the scripted FTP peer: the
// questions asked of the server before an upload, what a cancel leaves, the checks after the data.
#include "settings/settings_store.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"
#include "tests/support/temp_config_dir.h"
#include "transfer/strings.h"
#include "transfer/transfer_questions.h"
#include "transfer/transfer_session.h"
#include "transfer/upload_batch.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

// Answers from a script, keeping the texts asked; "いいえ" once the script is out.
class ScriptedQuestions : public TransferQuestions {
public:
    bool Ask(TransferQuestion question) override
    {
        asked << TransferQuestionText(question);
        return !answers.isEmpty() && answers.takeFirst();
    }
    QList<bool> answers;
    QStringList asked;
};

const QByteArray SizeFeatures = "211-Features:\r\n SIZE\r\n REST STREAM\r\n211 End\r\n";

// A session logged in to the scripted peer, binary, passive, asking its questions of a script.
class SessionWireTest : public ::testing::Test {
protected:
    void Connect()
    {
        session.SetQuestions(&questions);
        ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
        // The session takes the mode from the settings at connect.
        session.SetPassiveMode(true);
        ASSERT_TRUE(session.UserLogin(QStringLiteral("me"), QStringLiteral("secret")));
        ASSERT_TRUE(session.QueryFeatures());
        session.SetTypeBinary();
    }
    // The commands after the login, as the client sent them.
    QList<QByteArray> Commands() const { return peer.Commands().mid(2); }
    QString Local(const QString& name = {}) const { return name.isEmpty() ? local.path() : local.filePath(name); }

    TempConfigDir config;
    QTemporaryDir local;
    ScriptedFtpPeer peer;
    ScriptedQuestions questions;
    TransferSession session;
};

TEST_F(SessionWireTest, AnUploadTheServerHoldsOtherwiseFailsWithItsReason)
{
    peer.Login().Read().Send("211-Features:\r\n XSHA256\r\n211 End\r\n")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go ahead").ReceiveData()
        .Send("226 done\r\n").Answer("250 " + QByteArray(64, 'e'));
    Connect();
    WriteAll(Local(QStringLiteral("up.bin")), "sent bytes");
    EXPECT_FALSE(session.UploadFile(Local(), QStringLiteral("/"), QStringLiteral("up.bin"), RemoteEntryList()));
    EXPECT_EQ(session.TransferFailure(), QStringLiteral("サーバーのファイルが送ったものと一致しません"));
    EXPECT_EQ(session.GetReplyText(), QStringLiteral("アップロードに失敗しました"));
    ASSERT_TRUE(peer.WaitScriptDone());
    EXPECT_EQ(Commands().last(), "XSHA256 up.bin");
}

// The pane's listing may be stale or case-folded: before an upload the server is asked whether
// the name is taken. Here it is (SIZE answers), so the overwrite question comes, and a 中止
// before the server took the STOR deletes nothing: the file is the user's.
TEST_F(SessionWireTest, AnUploadTheListingMissedAsksTheServerAndACancelBeforeStorDeletesNothing)
{
    peer.Login().Read().Send(SizeFeatures)
        .Answer("213 40")
        .Answer("200 ok").AnswerPassive().AcceptData()
        .Read().Do([this] { session.Cancel(); })
        .Read().Send("426 aborted\r\n226 ABOR ok\r\n");
    Connect();
    session.SetIdleLimit(std::chrono::seconds(5));
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    WriteAll(Local(QStringLiteral("up.bin")), "hello world");
    questions.answers << true;
    EXPECT_FALSE(session.UploadFile(Local(), QStringLiteral("/"), QStringLiteral("up.bin"), RemoteEntryList()));
    session.ResetCancel();
    EXPECT_EQ(questions.asked, QStringList{TransferText::OverwriteQuestion});
    EXPECT_EQ(Commands().mid(0, 2), (QList<QByteArray>{"FEAT", "SIZE up.bin"}));
    EXPECT_FALSE(peer.Commands().contains("DELE up.bin"));
}

// A name the server does not have: no question, and after 中止 the file that STOR made goes.
TEST_F(SessionWireTest, ACancelledUploadOfANewNameDeletesWhatItsStorMade)
{
    peer.Login().Read().Send(SizeFeatures)
        .Answer("550 No such file")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 go ahead")
        .Read().Send("426 aborted\r\n226 ABOR ok\r\n")
        .Answer("250 deleted");
    Connect();
    SettingsStore::WriteFlag(SettingName::CheckOverwrite, true);
    {
        // Larger than any socket buffer, so the upload is still going when 中止 comes.
        QFile file(Local(QStringLiteral("up.bin")));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(64 * 1024 * 1024));
    }
    // 中止 once bytes moved, i.e. after the server took the STOR.
    session.SetFileProgressShown([this](const FileProgress* file) {
        if (file && file->stage == FileProgress::Stage::Moving && file->total == 67108864)
            session.Cancel();
    });
    EXPECT_FALSE(session.UploadFile(Local(), QStringLiteral("/"), QStringLiteral("up.bin"), RemoteEntryList()));
    session.ResetCancel();
    // The upload returned without waiting for the server: ABOR and DELE follow in the settling.
    EXPECT_FALSE(Commands().contains("ABOR"));
    ASSERT_TRUE(session.SettlePending());
    session.SettleCancelled();
    ASSERT_TRUE(peer.WaitScriptDone()) << peer.Errors().join(QLatin1Char('|')).toStdString();
    EXPECT_TRUE(questions.asked.isEmpty());
    EXPECT_EQ(Commands().last(), "DELE up.bin");
    EXPECT_TRUE(session.TransferFailure().isEmpty());
}

// A download the listing gave no size for is checked against SIZE's: cut short, it fails with
// both sizes in its reason, the target is not made, and the data waits for a resume.
TEST_F(SessionWireTest, ADownloadShorterThanSizeSaysFailsNamingBothSizes)
{
    peer.Login().Read().Send(SizeFeatures)
        .Answer("213 11")
        .Answer("200 ok").AnswerPassive().AcceptData().Answer("150 sending")
        .SendData("hello ").CloseData().Send("226 done\r\n")
        .Answer("213 11");  // asked again after the short data: the server's size has not changed
    Connect();
    EXPECT_FALSE(session.DownloadFile(Local(), QStringLiteral("/"), QStringLiteral("f.bin"), RemoteEntryList()));
    EXPECT_EQ(session.TransferFailure(), QStringLiteral("サイズが一致しません (受信 6 バイト, サーバー 11 バイト)"));
    EXPECT_FALSE(QFile::exists(Local(QStringLiteral("f.bin"))));
    EXPECT_EQ(ReadAll(Local(QStringLiteral("f.bin.part"))), QByteArray("hello "));
    EXPECT_EQ(Commands().mid(0, 2), (QList<QByteArray>{"FEAT", "SIZE /f.bin"}));
}

// The files of a folder the batch has just made cannot be on the server yet: nothing is asked
// about their names (SIZE, MLST), although the server offers both, and the files go straight
// after the folder.
TEST_F(SessionWireTest, TheFilesOfAFolderTheBatchMadeGoWithoutAQuestionToTheServer)
{
    WriteAll(Local(QStringLiteral("t/a.txt")), "first");
    WriteAll(Local(QStringLiteral("t/b.txt")), "second");
    peer.Login()
        .Read().Send("211-Features:\r\n SIZE\r\n MLST type*;size*;modify*;\r\n211 End\r\n")
        .Answer("257 \"/up/t\" created")
        .Answer("200 Switching to Binary mode.")
        .AnswerPassive().AcceptData().Answer("150 Ok to send data.").ReceiveData().Send("226 Transfer complete.\r\n")
        .AnswerPassive().AcceptData().Answer("150 Ok to send data.").ReceiveData().Send("226 Transfer complete.\r\n");
    Connect();
    UploadBatch up(Local(), QStringLiteral("/up"), {{QStringLiteral("t"), true}}, RemoteEntryList());
    up.Plan();
    EXPECT_TRUE(up.Run(session, {}));
    EXPECT_EQ(up.Tally().Failures(), 0);
    EXPECT_TRUE(peer.WaitScriptDone());
    EXPECT_TRUE(peer.Errors().isEmpty()) << peer.Errors().join(u'\n').toStdString();
    // The files go in the order the local folder lists them.
    const QList<QByteArray> commands = Commands().mid(1);
    ASSERT_EQ(commands.size(), 6);
    EXPECT_EQ(commands.mid(0, 3), (QList<QByteArray>{"MKD /up/t", "TYPE I", "PASV"}));
    EXPECT_TRUE(commands[3] == "STOR /up/t/a.txt" || commands[3] == "STOR /up/t/b.txt") << commands[3].toStdString();
    EXPECT_EQ(commands[4], "PASV");
    EXPECT_TRUE(commands[5] == "STOR /up/t/a.txt" || commands[5] == "STOR /up/t/b.txt") << commands[5].toStdString();
    EXPECT_NE(commands[3], commands[5]);
}

}  // namespace
