#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

inline constexpr quint16 DefaultFtpPort = 21;

struct ServerAddress {
    QString host;
    quint16 port = DefaultFtpPort;
};

// Reads the server text of the login dialog: "host", "host:port", "[address]" or
// "[address]:port" (brackets around an IPv6 address). A text with several colons and no brackets
// is a bare IPv6 address. Without a port the FTP port 21 is used. Nothing when the port is not a
// number from 1 to 65535 or the host is empty. Blanks around the text and the host go here, once:
// the host as returned is the one connected to, checked against the certificate and named in the
// trust records alike.
inline std::optional<ServerAddress> ParseServerText(const QString& typed)
{
    const QString text = typed.trimmed();
    QString host = text;
    QString portText;
    bool hasPort = false;
    if (text.startsWith(QLatin1Char('['))) {
        const qsizetype close = text.indexOf(QLatin1Char(']'));
        if (close < 0)
            return std::nullopt;
        host = text.mid(1, close - 1);
        const QString rest = text.mid(close + 1);
        if (!rest.isEmpty()) {
            if (!rest.startsWith(QLatin1Char(':')))
                return std::nullopt;
            hasPort = true;
            portText = rest.mid(1);
        }
    } else if (text.count(QLatin1Char(':')) == 1) {
        const qsizetype colon = text.indexOf(QLatin1Char(':'));
        host = text.left(colon);
        hasPort = true;
        portText = text.mid(colon + 1);
    }
    host = host.trimmed();
    if (host.isEmpty())
        return std::nullopt;

    ServerAddress address{host, DefaultFtpPort};
    if (hasPort) {
        // Digits only: toUInt would also take a sign or surrounding blanks.
        for (QChar c : portText)
            if (c < QLatin1Char('0') || c > QLatin1Char('9'))
                return std::nullopt;
        bool ok = false;
        const uint port = portText.toUInt(&ok);
        if (!ok || port == 0 || port > 65535)
            return std::nullopt;
        address.port = static_cast<quint16>(port);
    }
    return address;
}
