// One download or upload with the engine, for bench/transfer.sh to time against curl.
//   engine_transfer get|put HOST PORT USER PASSWORD REMOTE LOCAL [active] [tls]
// Binary mode, passive unless "active" is given; "tls" requires TLS and takes any certificate
// (the loopback servers' is self-signed). Exit status 0 when the transfer succeeded.
#include "engine/ftp_session.h"
#include "transfer/local_files.h"

#include <QString>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 8 || (std::strcmp(argv[1], "get") != 0 && std::strcmp(argv[1], "put") != 0)) {
        std::fprintf(stderr, "usage: %s get|put HOST PORT USER PASSWORD REMOTE LOCAL [active] [tls]\n", argv[0]);
        return 2;
    }
    const bool get = std::strcmp(argv[1], "get") == 0;
    auto arg = [&](int i) { return QString::fromLocal8Bit(argv[i]); };

    bool active = false;
    bool tls = false;
    for (int i = 8; i < argc; ++i) {
        active = active || std::strcmp(argv[i], "active") == 0;
        tls = tls || std::strcmp(argv[i], "tls") == 0;
    }
    FtpSession session;
    session.SetPassiveMode(!active);
    if (tls) {
        session.SetEncryption(FtpSession::Encryption::Required);
        session.SetCertificateCheck([](const CertificateInfo&, const QString&, quint16) { return true; });
    }
    session.SetTypeBinary();
    if (!session.ConnectToServer(arg(2), quint16(arg(3).toUInt())) || !session.UserLogin(arg(4), arg(5))) {
        std::fprintf(stderr, "login failed: %s\n", qPrintable(session.GetReplyText()));
        return 1;
    }
    const bool ok = get ? DownloadToFile(session, arg(6), arg(7)) : UploadFromFile(session, arg(7), arg(6));
    if (!ok)
        std::fprintf(stderr, "transfer failed: %d %s\n", session.GetReplyCode(), qPrintable(session.GetReplyText()));
    session.DisconnectFromServer();
    return ok ? 0 : 1;
}
