// Explicit FTP over TLS against the real servers that require it (pyftpdlib's TLS handler and
// vsftpd with session reuse required), and the plain servers under each encryption choice.
#include "engine/ftp_session.h"
#include "transfer/local_files.h"
#include "tests/support/test_servers.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QUuid>

#include <openssl/pem.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

using Encryption = FtpSession::Encryption;
using TlsState = FtpSession::TlsState;

struct Target {
    const char* server;
    bool passive;
    Encryption encryption;
};

std::string TargetName(const testing::TestParamInfo<Target>& info)
{
    return std::string(info.param.server) + (info.param.passive ? "_passive" : "_active")
           + (info.param.encryption == Encryption::Required ? "_required" : "_ifavailable");
}

QByteArray Sha256(const QString& path)
{
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return "<unreadable>";
    return hash.result().toHex();
}

void WriteRandom(const QString& path, qsizetype size, unsigned seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    std::mt19937 random(seed);
    for (qsizetype i = 0; i < size; ++i)
        bytes[i] = char(random());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    ASSERT_EQ(file.write(bytes), size);
}

// The SHA-256 fingerprint of the servers' certificate file, as the engine spells it.
QString CertificateFileFingerprint()
{
    const QByteArray path = qgetenv("TALLOWIN_FTPS_CERT");
    FILE* file = std::fopen(path.constData(), "r");
    if (!file)
        return {};
    X509* certificate = PEM_read_X509(file, nullptr, nullptr, nullptr);
    std::fclose(file);
    if (!certificate)
        return {};
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    X509_digest(certificate, EVP_sha256(), digest, &length);
    X509_free(certificate);
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(digest), int(length)).toHex(':').toUpper());
}

class TlsServer : public testing::TestWithParam<Target> {
protected:
    void SetUp() override
    {
        const std::vector<TestServer> servers = TlsTestServers();
        const TestServer* found = FindTestServer(servers, QString::fromLatin1(GetParam().server));
        if (!found)
            GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";
        server = *found;
        session.SetPassiveMode(GetParam().passive);
        session.SetEncryption(GetParam().encryption);
        session.SetCertificateCheck([this](const CertificateInfo& info, const QString& host, quint16 port) {
            judged << info;
            judgedHost = QStringLiteral("%1:%2").arg(host).arg(port);
            return true;
        });
        ASSERT_TRUE(local.isValid());
    }

    void Login()
    {
        ASSERT_TRUE(session.ConnectToServer(server.host, server.port)) << session.GetReplyText().toStdString();
        ASSERT_TRUE(session.UserLogin(server.user, server.password)) << session.GetReplyText().toStdString();
        folder = QStringLiteral("t-") + QUuid::createUuid().toString(QUuid::Id128).left(12);
        serverFolder = QDir(server.root).filePath(folder);
        ASSERT_TRUE(session.MakeDir(folder)) << session.GetReplyText().toStdString();
        ASSERT_TRUE(session.ChangeDir(folder)) << session.GetReplyText().toStdString();
        session.SetTypeBinary();
    }

    void TearDown() override
    {
        const QFileInfo own(serverFolder);
        if (!folder.isEmpty() && own.isAbsolute() && own.fileName() == folder && own.isDir())
            QDir(serverFolder).removeRecursively();
        if (session.IsConnected())
            session.DisconnectFromServer();
    }

    TestServer server;
    FtpSession session;
    QList<CertificateInfo> judged;
    QString judgedHost;
    QString folder;
    QString serverFolder;
    QTemporaryDir local;
};

// One session: the self-signed certificate judged once, then an upload, a listing and two
// downloads over protected data connections, byte-exact.
TEST_P(TlsServer, SessionMovesFilesByteExactUnderTls)
{
    Login();
    EXPECT_EQ(session.GetTlsState(), TlsState::Protected);
    EXPECT_EQ(session.TlsProtocol(), QStringLiteral("TLS 1.3"));
    EXPECT_TRUE(session.DataProtected());
    ASSERT_EQ(judged.size(), 1);
    EXPECT_EQ(judgedHost, QStringLiteral("%1:%2").arg(server.host).arg(server.port));
    EXPECT_EQ(judged[0].problem, CertificateInfo::Problem::SelfSigned);
    EXPECT_FALSE(judged[0].nameMatches);  // issued to localhost, reached as 127.0.0.1
    EXPECT_EQ(judged[0].subject, QStringLiteral("CN=localhost"));
    EXPECT_EQ(judged[0].sha256, CertificateFileFingerprint());
    EXPECT_TRUE(judged[0].notBefore.isValid() && judged[0].notBefore < judged[0].notAfter);

    const QString source = local.filePath(QStringLiteral("up.bin"));
    WriteRandom(source, 3 * 1024 * 1024 + 17, 11);
    ASSERT_TRUE(UploadFromFile(session, source, QStringLiteral("file.bin"))) << session.GetReplyText().toStdString();
    EXPECT_EQ(Sha256(QDir(serverFolder).filePath(QStringLiteral("file.bin"))), Sha256(source));

    QString listing;
    ASSERT_TRUE(session.GetFileList(QString(), listing)) << session.GetReplyText().toStdString();
    EXPECT_TRUE(listing.contains(QStringLiteral("file.bin"))) << listing.toStdString();

    for (const char* name : {"first.bin", "second.bin"}) {
        const QString target = local.filePath(QString::fromLatin1(name));
        ASSERT_TRUE(DownloadToFile(session, QStringLiteral("file.bin"), target)) << session.GetReplyText().toStdString();
        EXPECT_EQ(Sha256(target), Sha256(source)) << name;
        // vsftpd requires every data connection to resume the control connection's session
        // (pyftpdlib resumes none).
        if (server.name == QLatin1String("vsftpd_tls")) {
            EXPECT_TRUE(session.LastDataSessionReused()) << name;
        }
    }
    EXPECT_EQ(session.GetRemoteDir(), QLatin1Char('/') + folder);
}

// A cancel in the middle of a protected download ends it at once and leaves the control
// connection in step; the next download still resumes and arrives whole.
TEST_P(TlsServer, CancelledDownloadLeavesConnectionInStep)
{
    Login();
    const QString big = QDir(serverFolder).filePath(QStringLiteral("big.bin"));
    WriteRandom(big, 48 * 1024 * 1024, 5);
    const QString target = local.filePath(QStringLiteral("big.bin"));
    session.SetProgressCallback([this](qint64 soFar) {
        if (soFar > 0)
            session.Cancel();
    });
    EXPECT_FALSE(DownloadToFile(session, QStringLiteral("big.bin"), target));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_FALSE(QFileInfo::exists(target));
    session.ResetCancel();
    session.SetProgressCallback({});

    ASSERT_TRUE(session.IsConnected());
    EXPECT_EQ(session.GetRemoteDir(), QLatin1Char('/') + folder);
    ASSERT_TRUE(DownloadToFile(session, QStringLiteral("big.bin"), target)) << session.GetReplyText().toStdString();
    EXPECT_EQ(Sha256(target), Sha256(big));
}

// A certificate the person does not accept ends the connection before USER, and without a
// check at all a self-signed certificate never passes.
TEST_P(TlsServer, RejectedCertificateEndsTheConnection)
{
    session.SetCertificateCheck([](const CertificateInfo&, const QString&, quint16) { return false; });
    EXPECT_FALSE(session.ConnectToServer(server.host, server.port));
    EXPECT_EQ(session.GetTlsState(), TlsState::CertificateRejected);
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::CertificateRejected);
    EXPECT_FALSE(session.IsConnected());
    EXPECT_FALSE(session.UserLogin(server.user, server.password));

    FtpSession unchecked;
    unchecked.SetEncryption(GetParam().encryption);
    EXPECT_FALSE(unchecked.ConnectToServer(server.host, server.port));
    EXPECT_EQ(unchecked.GetTlsState(), TlsState::CertificateRejected);
}

std::vector<Target> Targets()
{
    std::vector<Target> targets;
    for (const char* server : {"pyftpdlib_tls", "vsftpd_tls"})
        for (bool passive : {true, false})
            for (Encryption encryption : {Encryption::IfAvailable, Encryption::Required})
                targets.push_back({server, passive, encryption});
    return targets;
}

INSTANTIATE_TEST_SUITE_P(Servers, TlsServer, testing::ValuesIn(Targets()), TargetName);

// The plain servers refuse AUTH TLS: "if available" goes on in clear, "required" leaves before
// USER. (The wire of both is pinned down against the scripted peer in the engine tests.)
class PlainServerTls : public testing::TestWithParam<const char*> {};

TEST_P(PlainServerTls, RefusalGoesOnInClearOnlyWhenTlsIsOptional)
{
    const std::vector<TestServer> servers = TestServers();
    const TestServer* server = FindTestServer(servers, QString::fromLatin1(GetParam()));
    if (!server)
        GTEST_SKIP() << "server not running (start the suite with scripts/test.sh)";

    FtpSession optional;
    optional.SetEncryption(Encryption::IfAvailable);
    ASSERT_TRUE(optional.ConnectToServer(server->host, server->port)) << optional.GetReplyText().toStdString();
    EXPECT_EQ(optional.GetTlsState(), TlsState::Refused);
    EXPECT_TRUE(optional.TlsProtocol().isEmpty());
    ASSERT_TRUE(optional.UserLogin(server->user, server->password)) << optional.GetReplyText().toStdString();
    optional.SetPassiveMode(true);
    QString listing;
    EXPECT_TRUE(optional.GetFileList(QString(), listing)) << optional.GetReplyText().toStdString();
    optional.DisconnectFromServer();

    FtpSession required;
    required.SetEncryption(Encryption::Required);
    EXPECT_FALSE(required.ConnectToServer(server->host, server->port));
    EXPECT_EQ(required.GetTlsState(), TlsState::Refused);
    EXPECT_EQ(required.GetReplyCode(), LocalStatus::TlsRefused);
    EXPECT_FALSE(required.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Servers, PlainServerTls, testing::Values("pyftpdlib", "vsftpd"));

}  // namespace
