// How a download's data ends: a TLS end without close_notify is no end, only the server's size
// vouches for it; and whether a name is taken before an upload.
#include "engine/ftp_session.h"
#include "engine/tls_data_stream.h"
#include "engine/download_verdict.h"
#include "tests/support/local_files.h"
#include "tests/support/scripted_ftp_peer.h"

#include <QFileInfo>
#include <QTemporaryDir>

#include <openssl/evp.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>

namespace {

const QByteArray RestFeatures = "211-Features:\r\n REST STREAM\r\n SIZE\r\n211 End\r\n";

void Start(FtpSession& session, ScriptedFtpPeer& peer)
{
    session.SetPassiveMode(true);
    session.SetTypeBinary();
    ASSERT_TRUE(session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port()));
    ASSERT_TRUE(session.QueryFeatures());
}

// --- TLS data that ends without close_notify ---

// A TLS server on one end of a socket pair with a throwaway certificate: sends the data, then
// ends with close_notify or only closes the socket (what anyone on the path can do).
class TlsSender {
public:
    TlsSender()
    {
        key = EVP_EC_gen("P-256");
        cert = X509_new();
        X509_set_version(cert, 2);
        ASN1_INTEGER_set(X509_get_serialNumber(cert), 1);
        X509_gmtime_adj(X509_getm_notBefore(cert), 0);
        X509_gmtime_adj(X509_getm_notAfter(cert), 3600);
        X509_set_pubkey(cert, key);
        X509_NAME* name = X509_get_subject_name(cert);
        X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("peer"), -1, -1, 0);
        X509_set_issuer_name(cert, name);
        X509_sign(cert, key, EVP_sha256());
        ctx = SSL_CTX_new(TLS_server_method());
        SSL_CTX_use_certificate(ctx, cert);
        SSL_CTX_use_PrivateKey(ctx, key);
    }
    ~TlsSender()
    {
        if (thread.joinable())
            thread.join();
        SSL_CTX_free(ctx);
        X509_free(cert);
        EVP_PKEY_free(key);
    }

    void Serve(int fd, QByteArray data, bool closeNotify)
    {
        thread = std::thread([this, fd, data, closeNotify] {
            SSL* ssl = SSL_new(ctx);
            SSL_set_fd(ssl, fd);
            if (SSL_accept(ssl) == 1) {
                SSL_write(ssl, data.constData(), int(data.size()));
                if (closeNotify)
                    SSL_shutdown(ssl);
            }
            SSL_free(ssl);
            ::shutdown(fd, SHUT_RDWR);
            ::close(fd);
        });
    }

private:
    EVP_PKEY* key = nullptr;
    X509* cert = nullptr;
    SSL_CTX* ctx = nullptr;
    std::thread thread;
};

// What the client's stream says of the end, and how much arrived in the file.
struct TlsEnd {
    DataEnd end;
    bool inOrder;
    qint64 received;
};

TlsEnd ReceiveOverTls(bool closeNotify, const QByteArray& data, const QString& file)
{
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, fds) != 0)
        return {DataEnd::NetworkFailed, false, -1};
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    TlsSender sender;
    sender.Serve(fds[1], data, closeNotify);
    TlsContext tls;
    auto plain = std::make_unique<PlainDataStream>(DataContext{});
    plain->Socket().Attach(fds[0]);
    TlsDataStream stream(DataContext{}, std::move(plain), tls);
    if (!stream.Handshake(QStringLiteral("peer")))
        return {DataEnd::NetworkFailed, false, -1};
    const int fileFd = ::open(QFile::encodeName(file).constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const DataEnd end = stream.ReceiveToFile(fileFd, false);
    ::close(fileFd);
    stream.Close();
    return {end, stream.EndedInOrder(), QFileInfo(file).size()};
}

TEST(TlsDownloadEnd, AnEndWithoutCloseNotifyCountsOnlyAtTheServersSize)
{
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("data"));
    const QByteArray data(70000, 'x');

    const TlsEnd announced = ReceiveOverTls(true, data, file);
    ASSERT_EQ(announced.end, DataEnd::Clean);
    EXPECT_TRUE(announced.inOrder);
    EXPECT_EQ(JudgeDownload(true, announced.inOrder, announced.received, 0), DownloadVerdict::Whole);

    const TlsEnd cut = ReceiveOverTls(false, data, file);
    ASSERT_EQ(cut.end, DataEnd::Clean);  // the socket's end looks like any other
    EXPECT_FALSE(cut.inOrder);
    EXPECT_EQ(cut.received, data.size());
    // Without a size from the server nothing vouches for it; with one, the size does.
    EXPECT_EQ(JudgeDownload(true, cut.inOrder, cut.received, 0), DownloadVerdict::CutShort);
    EXPECT_EQ(JudgeDownload(false, cut.inOrder, cut.received, data.size() + 1), DownloadVerdict::CutShort);
    EXPECT_EQ(JudgeDownload(true, cut.inOrder, cut.received, data.size()), DownloadVerdict::Whole);
    EXPECT_EQ(JudgeDownload(true, cut.inOrder, cut.received, data.size() + 1), DownloadVerdict::SizeMismatch);
}

}  // namespace

// Before an upload the server says whether a name is taken. A name the wire cannot carry is
// asked nothing, and no older command's reply is taken for its answer.
TEST(UploadTarget, TheServerSaysWhetherANameIsTakenAndAnUnsendableNameStaysUnknown)
{
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send("211-Features:\r\n MLST type*;size*;\r\n SIZE\r\n211 End\r\n")
        .Answer("550 No such file")
        .Read().Send("250-Listing old.bin\r\n type=file;size=5; /old.bin\r\n250 End\r\n")
        .Answer("213 5");
    FtpSession session;
    Start(session, peer);
    EXPECT_EQ(session.AskRemoteName(QStringLiteral("new.bin")).state, FtpSession::RemoteName::Absent);
    const FtpSession::RemoteName old = session.AskRemoteName(QStringLiteral("old.bin"));
    EXPECT_EQ(old.state, FtpSession::RemoteName::Exists);
    EXPECT_EQ(old.size, 5);
    ASSERT_TRUE(peer.WaitScriptDone()) << peer.Errors().join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(session.AskRemoteName(QStringLiteral("a\r\nDELE b")).state, FtpSession::RemoteName::Unknown);
    EXPECT_EQ(peer.Commands().last(), "SIZE old.bin");
}
