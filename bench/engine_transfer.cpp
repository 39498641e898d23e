// One download or upload with the engine, for bench/transfer.sh to time against curl.
//   engine_transfer get|put HOST PORT USER PASSWORD REMOTE LOCAL [active]
// Binary mode, passive unless "active" is given. Exit status 0 when the transfer succeeded.
#include "engine/ftp_session.h"

#include <QString>

#include <cstdio>
#include <cstring>

int main(int argc, char** argv)
{
    if (argc < 8 || (std::strcmp(argv[1], "get") != 0 && std::strcmp(argv[1], "put") != 0)) {
        std::fprintf(stderr, "usage: %s get|put HOST PORT USER PASSWORD REMOTE LOCAL [active]\n", argv[0]);
        return 2;
    }
    const bool get = std::strcmp(argv[1], "get") == 0;
    auto arg = [&](int i) { return QString::fromLocal8Bit(argv[i]); };

    FtpSession session;
    session.SetPassiveMode(!(argc > 8 && std::strcmp(argv[8], "active") == 0));
    session.SetTypeBinary();
    if (!session.ConnectToServer(arg(2), quint16(arg(3).toUInt())) || !session.UserLogin(arg(4), arg(5))) {
        std::fprintf(stderr, "login failed: %s\n", qPrintable(session.GetReplyText()));
        return 1;
    }
    const bool ok = get ? session.RetrieveFile(arg(6), arg(7)) : session.StoreFile(arg(7), arg(6));
    if (!ok)
        std::fprintf(stderr, "transfer failed: %d %s\n", session.GetReplyCode(), qPrintable(session.GetReplyText()));
    session.DisconnectFromServer();
    return ok ? 0 : 1;
}
