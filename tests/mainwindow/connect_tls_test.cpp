// Encrypted connects through the window: the certificate question and its three answers, the
// remembered certificate, the changed-certificate warning, and what the log says under each
// encryption choice against the TLS servers and the plain ones.
#include "connect_fixture.h"

#include "mainwindow/certificate_judge.h"
#include "platform/strings.h"
#include "settings/certificate_trust.h"
#include "tests/support/test_servers.h"

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

    QueueLogin(address, server->user, server->password, {}, {}, 1);
    window->Connect();
    ASSERT_TRUE(LooksConnected()) << window->LogText().toStdString();
    EXPECT_TRUE(window->LogText().endsWith(ConnectText::NotEncrypted)) << window->LogText().toStdString();
    window->Disconnect();

    QueueLogin(address, server->user, server->password, {}, {}, 2);
    window->Connect();
    EXPECT_TRUE(LooksDisconnected());
    EXPECT_EQ(window->LogText(), ConnectText::TlsNotSupported);
    EXPECT_TRUE(prompter.certificateQuestions.empty());
}
