// Encrypted connects through the window: the certificate question and its three answers, the
// remembered certificate, the changed-certificate warning, and what the log says under each
// encryption choice against the TLS servers and the plain ones.
#include "connect_fixture.h"

#include "mainwindow/certificate_judge.h"
#include "platform/strings.h"
#include "settings/certificate_trust.h"
#include "tests/support/test_servers.h"

#include <QCheckBox>
#include <QMessageBox>
#include <QTimeZone>
#include <QPushButton>

namespace {

CertificateInfo SelfSigned(const QString& fingerprint)
{
    CertificateInfo info;
    info.subject = QStringLiteral("CN=files.example");
    info.issuer = QStringLiteral("CN=files.example");
    info.notBefore = QDateTime(QDate(2026, 1, 2), QTime(3, 4), QTimeZone::utc());
    info.notAfter = QDateTime(QDate(2027, 1, 2), QTime(3, 4), QTimeZone::utc());
    info.sha256 = fingerprint;
    info.problem = CertificateInfo::Problem::SelfSigned;
    info.nameMatches = true;
    return info;
}

const QString First = QStringLiteral("AA:BB:CC");
const QString Second = QStringLiteral("DD:EE:FF");
const QString Host = QStringLiteral("files.example");
constexpr quint16 Port = 990;

}  // namespace

using CertificateJudgeTest = ConnectTest;

TEST_F(CertificateJudgeTest, EachAnswerDecidesAndOnlyAlwaysIsRemembered)
{
    prompter.QueueCertificateAnswer(CertificateAnswer::Cancel);
    EXPECT_FALSE(JudgeCertificate(SelfSigned(First), Host, Port));
    prompter.QueueCertificateAnswer(CertificateAnswer::TrustOnce);
    EXPECT_TRUE(JudgeCertificate(SelfSigned(First), Host, Port));
    EXPECT_EQ(CertificateTrust::Remembered(Host, Port), QString());
    prompter.QueueCertificateAnswer(CertificateAnswer::TrustAlways);
    EXPECT_TRUE(JudgeCertificate(SelfSigned(First), Host, Port));
    EXPECT_EQ(CertificateTrust::Remembered(Host, Port), First);
    // Remembered for that host and port only: asked no more there, asked on another port.
    EXPECT_TRUE(JudgeCertificate(SelfSigned(First), Host, Port));
    ASSERT_EQ(prompter.certificateQuestions.size(), 3u);
    EXPECT_FALSE(JudgeCertificate(SelfSigned(First), Host, 21));
    EXPECT_EQ(prompter.certificateQuestions.size(), 4u);
    EXPECT_EQ(prompter.unanswered, 1);

    const CertificateQuestion& asked = prompter.certificateQuestions.front();
    EXPECT_FALSE(asked.changed);
    for (const QString& part : {QStringLiteral("files.example:990"), CertificateText::SelfSigned,
                                QStringLiteral("CN=files.example"), QStringLiteral("2026-01-02 03:04"),
                                QStringLiteral("2027-01-02 03:04"), First})
        EXPECT_TRUE(asked.text.contains(part)) << part.toStdString();
}

TEST_F(CertificateJudgeTest, AnotherCertificateForARememberedServerGetsTheWarning)
{
    ASSERT_TRUE(CertificateTrust::Remember(Host, Port, First));
    prompter.QueueCertificateAnswer(CertificateAnswer::Cancel);
    EXPECT_FALSE(JudgeCertificate(SelfSigned(Second), Host, Port));
    ASSERT_EQ(prompter.certificateQuestions.size(), 1u);
    const CertificateQuestion& asked = prompter.certificateQuestions.front();
    EXPECT_TRUE(asked.changed);
    EXPECT_TRUE(asked.text.startsWith(CertificateText::Changed.arg(First))) << asked.text.toStdString();
    EXPECT_TRUE(asked.text.contains(Second));
    EXPECT_EQ(CertificateTrust::Remembered(Host, Port), First);  // a refusal changes nothing

    prompter.QueueCertificateAnswer(CertificateAnswer::TrustAlways);
    EXPECT_TRUE(JudgeCertificate(SelfSigned(Second), Host, Port));
    EXPECT_EQ(CertificateTrust::Remembered(Host, Port), Second);
}

TEST_F(CertificateJudgeTest, ReasonsSayWhatIsWrongIncludingTheName)
{
    CertificateInfo wrongName = SelfSigned(First);
    wrongName.problem = CertificateInfo::Problem::Expired;
    wrongName.nameMatches = false;
    const QString text = CertificateQuestionText(wrongName, QStringLiteral("127.0.0.1"), 21, {});
    EXPECT_TRUE(text.contains(CertificateText::Expired + CertificateText::AlsoNameMismatch.arg(QStringLiteral("127.0.0.1"))))
        << text.toStdString();
    // A "%" in a certificate's name stays as it is.
    CertificateInfo percent = SelfSigned(First);
    percent.subject = QStringLiteral("CN=%1%2 odd");
    EXPECT_TRUE(CertificateQuestionText(percent, Host, Port, {}).contains(QStringLiteral("CN=%1%2 odd")));
}

TEST_F(CertificateJudgeTest, TheBoxHasThreeNamedButtonsAndCancelIsTheDefaultWhenChanged)
{
    for (bool changed : {false, true}) {
        const std::unique_ptr<QMessageBox> box = QtPrompter::CertificateBox({QStringLiteral("text"), changed});
        EXPECT_EQ(box->windowTitle(), PlatformText::CertificateCaption);
        QStringList names;
        for (QAbstractButton* button : box->buttons())
            names << button->accessibleName();
        names.sort();
        QStringList expected = {PlatformText::TrustAlways, PlatformText::TrustOnce, PlatformText::Cancel};
        expected.sort();
        EXPECT_EQ(names, expected);
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), changed ? PlatformText::Cancel : PlatformText::TrustOnce);
        EXPECT_EQ(box->escapeButton()->text(), PlatformText::Cancel);
    }
}

// Against the servers that require TLS: judged once with "always", then connected again
// without a question; each choice that asks for TLS logs the protocol.
TEST_F(ConnectTest, TlsServerIsJudgedOnceAndThenTrustedSilently)
{
    const std::vector<TestServer> servers = TlsTestServers();
    const TestServer* server = FindTestServer(servers, QStringLiteral("vsftpd_tls"));
    if (!server)
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
    const QString address = QStringLiteral("%1:%2").arg(server->host).arg(server->port);

    prompter.QueueCertificateAnswer(CertificateAnswer::TrustAlways);
    QueueLogin(address, server->user, server->password, {}, {}, 2);
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_TRUE(window->LogText().contains(ConnectText::TlsProtected.arg(QStringLiteral("TLS 1.3"))))
        << window->LogText().toStdString();
    ASSERT_EQ(prompter.certificateQuestions.size(), 1u);
    EXPECT_TRUE(prompter.certificateQuestions[0].text.contains(CertificateText::SelfSigned));
    window->Disconnect();

    QueueLogin(address, server->user, server->password, {}, {}, 1);
    window->Connect();
    EXPECT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_TRUE(window->LogText().contains(ConnectText::TlsProtected.arg(QStringLiteral("TLS 1.3"))));
    EXPECT_FALSE(window->LogText().contains(ConnectText::DataNotEncrypted));
    EXPECT_TRUE(TlsMemory::TlsWorkedBefore(server->host, server->port));
    EXPECT_EQ(prompter.certificateQuestions.size(), 1u);
    EXPECT_EQ(prompter.unanswered, 0);
    window->Disconnect();

    // Plain FTP to a server that requires TLS: its refusal is the log's last word.
    QueueLogin(address, server->user, server->password, {}, {}, 0);
    window->Connect();
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_EQ(window->LogText(), AsLogged(ConnectText::LoginFailed));
}

TEST_F(ConnectTest, RefusedCertificateEndsTheConnectBeforeTheLogin)
{
    const std::vector<TestServer> servers = TlsTestServers();
    const TestServer* server = FindTestServer(servers, QStringLiteral("pyftpdlib_tls"));
    if (!server)
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
    prompter.QueueCertificateAnswer(CertificateAnswer::Cancel);
    QueueLogin(QStringLiteral("%1:%2").arg(server->host).arg(server->port), server->user, server->password, {}, {}, 1);
    window->Connect();
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_EQ(window->LogText(), AsLogged(ConnectText::CertificateRefused));
    EXPECT_EQ(CertificateTrust::Remembered(server->host, server->port), QString());
}

// Against a plain server: "if available" works in clear and says so, "required" leaves
// before the login and says why.
TEST_F(ConnectTest, PlainServerUnderEachTlsChoice)
{
    const std::vector<TestServer> servers = TestServers();
    const TestServer* server = FindTestServer(servers, QStringLiteral("pyftpdlib"));
    if (!server)
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
    const QString address = QStringLiteral("%1:%2").arg(server->host).arg(server->port);

    prompter.QueueCheckedAnswer(true);
    QueueLogin(address, server->user, server->password, {}, {}, 1);
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_TRUE(window->LogText().endsWith(ConnectText::NotEncrypted)) << window->LogText().toStdString();
    EXPECT_EQ(prompter.checkedQuestions.size(), 1u);
    window->Disconnect();

    QueueLogin(address, server->user, server->password, {}, {}, 2);
    window->Connect();
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_EQ(window->LogText(), ConnectText::TlsNotSupported);
    EXPECT_TRUE(prompter.certificateQuestions.empty());
}

// "TLS を使えれば使う" against a server that refuses AUTH TLS: asked before USER goes out in
// clear; いいえ leaves nothing sent after AUTH TLS.
TEST_F(ConnectTest, RefusedTlsIsAskedAboutBeforeTheLogin)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("500 AUTH not understood").WaitForClose();
    prompter.QueueCheckedAnswer(false);
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), {}, {}, 1);
    window->Connect();
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_EQ(window->LogText(), ConnectText::TlsNotSupported);
    ASSERT_EQ(prompter.checkedQuestions.size(), 1u);
    EXPECT_EQ(prompter.checkedQuestions[0].text, ConnectText::ClearTextQuestion);
    EXPECT_EQ(prompter.checkedQuestions[0].checkText, ConnectText::DontAskAgain);
    ASSERT_TRUE(peer.WaitFinished());
    EXPECT_EQ(peer.Received(), QByteArray("AUTH TLS\r\n"));
    EXPECT_FALSE(TlsMemory::ClearTextAccepted(QStringLiteral("127.0.0.1"), peer.Port()));
}

// はい with the box ticked goes on in clear and is remembered for that host and port; a server
// remembered so is not asked about.
TEST_F(ConnectTest, ClearTextAcceptedForGoodIsNotAskedAgain)
{
    const QString host = QStringLiteral("127.0.0.1");
    ScriptedFtpPeer first;
    ScriptConnect(first, {}, "/home", "502 Command not implemented");
    prompter.QueueCheckedAnswer(true, true);
    QueueLogin(PeerServer(first), QStringLiteral("user"), QStringLiteral("secret"), {}, {}, 1);
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_TRUE(TlsMemory::ClearTextAccepted(host, first.Port()));
    EXPECT_EQ(first.Commands().mid(0, 2), (QList<QByteArray>{"AUTH TLS", "USER user"}));

    window = std::make_unique<MainWindow>();
    ScriptedFtpPeer second;
    ScriptConnect(second, {}, "/home", "502 Command not implemented");
    EXPECT_FALSE(TlsMemory::ClearTextAccepted(host, second.Port()));
    ASSERT_TRUE(TlsMemory::RememberClearTextAccepted(host, second.Port()));
    QueueLogin(PeerServer(second), QStringLiteral("user"), QStringLiteral("secret"), {}, {}, 1);
    window->Connect();
    EXPECT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_EQ(prompter.checkedQuestions.size(), 1u);
    EXPECT_EQ(prompter.unanswered, 0);
}

// A server where TLS worked before and now refuses it: the question says so first and cannot be
// silenced, even where clear text was accepted for good earlier.
TEST_F(ConnectTest, RefusalFromAServerThatHadTlsWarnsWithoutTheCheckBox)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("500 AUTH not understood").WaitForClose();
    const QString host = QStringLiteral("127.0.0.1");
    ASSERT_TRUE(TlsMemory::RememberClearTextAccepted(host, peer.Port()));
    ASSERT_TRUE(TlsMemory::RememberTlsWorked(host, peer.Port()));
    prompter.QueueCheckedAnswer(false);
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), {}, {}, 1);
    window->Connect();
    EXPECT_TRUE(LooksDisconnected());
    ASSERT_EQ(prompter.checkedQuestions.size(), 1u);
    const CheckedQuestion& asked = prompter.checkedQuestions[0];
    EXPECT_TRUE(asked.text.startsWith(ConnectText::TlsWasRefused)) << asked.text.toStdString();
    EXPECT_TRUE(asked.text.endsWith(ConnectText::ClearTextQuestion));
    EXPECT_TRUE(asked.checkText.isEmpty());
    ASSERT_TRUE(peer.WaitFinished());
    EXPECT_EQ(peer.Received(), QByteArray("AUTH TLS\r\n"));
}

// "なし (平文の FTP)" sends no AUTH TLS and so has nothing to ask, whatever is remembered.
TEST_F(ConnectTest, PlainProfileNeverAsksAboutClearText)
{
    ScriptedFtpPeer peer;
    ScriptConnect(peer);
    ASSERT_TRUE(TlsMemory::RememberTlsWorked(QStringLiteral("127.0.0.1"), peer.Port()));
    QueueLogin(PeerServer(peer), QStringLiteral("user"), QStringLiteral("secret"), {}, {}, 0);
    window->Connect();
    EXPECT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_TRUE(prompter.checkedQuestions.empty());
    EXPECT_EQ(peer.Commands().value(0), QByteArray("USER user"));
}

TEST(EncryptionLog, DataInClearIsSaidWhenProtPWasRefused)
{
    const QString tls13 = QStringLiteral("TLS 1.3");
    EXPECT_EQ(EncryptionLine(FtpSession::TlsState::Protected, tls13, true), ConnectText::TlsProtected.arg(tls13));
    EXPECT_EQ(EncryptionLine(FtpSession::TlsState::Protected, tls13, false),
              ConnectText::TlsProtected.arg(tls13) + u'\n' + ConnectText::DataNotEncrypted);
    EXPECT_EQ(EncryptionLine(FtpSession::TlsState::Refused, {}, false), ConnectText::NotEncrypted);
    EXPECT_TRUE(EncryptionLine(FtpSession::TlsState::Off, {}, false).isEmpty());
}

TEST(CheckedBox, NoIsTheDefaultAndTheCheckBoxIsNamed)
{
    for (const QString& checkText : {QString(), ConnectText::DontAskAgain}) {
        const std::unique_ptr<QMessageBox> box = QtPrompter::CheckedBox({ConnectText::ClearTextQuestion, checkText});
        QStringList names;
        for (QAbstractButton* button : box->buttons())
            names << button->accessibleName();
        EXPECT_EQ(names.size(), 2);
        EXPECT_TRUE(names.contains(PlatformText::Yes) && names.contains(PlatformText::No));
        ASSERT_NE(box->defaultButton(), nullptr);
        EXPECT_EQ(box->defaultButton()->text(), PlatformText::No);
        EXPECT_EQ(box->escapeButton()->text(), PlatformText::No);
        EXPECT_EQ(box->checkBox() != nullptr, !checkText.isEmpty());
        if (box->checkBox()) {
            EXPECT_EQ(box->checkBox()->accessibleName(), checkText);
            EXPECT_FALSE(box->checkBox()->isChecked());
        }
    }
}
