#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <vector>

// The real FTP servers that scripts/ftp-servers.sh started on loopback, read from the export
// lines it printed (scripts/test.sh evaluates them before ctest runs):
//   TALLOWIN_FTP_SERVERS="pyftpdlib vsftpd"
//   TALLOWIN_FTP_<NAME>_HOST / _PORT / _USER / _PASS / _ROOT   (<NAME> in upper case)
// _ROOT is the folder on this machine that the user sees as the server's "/" after login.
// Outside the test command the list is empty, so tests that need servers can skip.
// The servers that require explicit FTP over TLS are listed apart, in TALLOWIN_FTPS_SERVERS
// ("pyftpdlib_tls vsftpd_tls"), with the same variables; TALLOWIN_FTPS_CERT is the file of
// their self-signed certificate. A vsftpd that takes at most two connections from one address
// is listed apart as well, in TALLOWIN_FTP_LIMITED_SERVERS ("vsftpd_limited").
// vsftpd runs as its own system user: files a test puts into its root directly are fine (the
// root is world-writable), but a folder a test creates there must be made writable (0777)
// before the server can change anything inside it.
struct TestServer {
    QString name;
    QString host;
    quint16 port = 0;
    QString user;
    QString password;
    QString root;
};

inline std::vector<TestServer> TestServers(const char* listVariable = "TALLOWIN_FTP_SERVERS")
{
    std::vector<TestServer> servers;
    const auto names = QString::fromLocal8Bit(qgetenv(listVariable))
                           .split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString& name : names) {
        const QByteArray prefix = "TALLOWIN_FTP_" + name.toUpper().toLatin1() + "_";
        auto value = [&](const char* key) {
            return QString::fromLocal8Bit(qgetenv((prefix + key).constData()));
        };
        TestServer server;
        server.name = name;
        server.host = value("HOST");
        server.port = static_cast<quint16>(value("PORT").toUInt());
        server.user = value("USER");
        server.password = value("PASS");
        server.root = value("ROOT");
        // A server without an absolute root is left out: a test that cleans up below the root
        // must never be handed an empty or relative path (that would be the current folder).
        if (!server.host.isEmpty() && server.port != 0 && server.root.startsWith(QLatin1Char('/'))
            && server.root != QLatin1String("/"))
            servers.push_back(server);
    }
    return servers;
}

inline std::vector<TestServer> TlsTestServers()
{
    return TestServers("TALLOWIN_FTPS_SERVERS");
}

// Finds one server by name ("pyftpdlib", "vsftpd"); nullptr when it is not running.
inline const TestServer* FindTestServer(const std::vector<TestServer>& servers, const QString& name)
{
    for (const TestServer& server : servers)
        if (server.name == name)
            return &server;
    return nullptr;
}
