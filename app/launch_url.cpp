#include "app/launch_url.h"

#include "app/app_text.h"
#include "mainwindow/server_address.h"
#include "settings/settings_store.h"

#include <QUrl>

namespace {

bool HasControlCharacter(const QString& text)
{
    for (QChar c : text)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            return true;
    return false;
}

// The authority of "scheme://authority/path", taken from the text itself: QUrl only says that
// a port is wrong by calling the whole link invalid.
QString AuthorityOf(const QString& text)
{
    const qsizetype start = text.indexOf(QLatin1String("://"));
    if (start < 0)
        return {};
    qsizetype end = start + 3;
    while (end < text.size() && text[end] != u'/' && text[end] != u'?' && text[end] != u'#')
        ++end;
    return text.mid(start + 3, end - start - 3);
}

// The port text after the host, if there is one: "host:port" or "[address]:port".
std::optional<QString> PortTextOf(const QString& authority)
{
    const QString hostPort = authority.mid(authority.lastIndexOf(u'@') + 1);
    if (hostPort.startsWith(u'[')) {
        const qsizetype close = hostPort.indexOf(u']');
        if (close < 0 || close + 1 >= hostPort.size() || hostPort[close + 1] != u':')
            return std::nullopt;
        return hostPort.mid(close + 2);
    }
    const qsizetype colon = hostPort.indexOf(u':');
    if (colon < 0)
        return std::nullopt;
    return hostPort.mid(colon + 1);
}

bool IsValidPort(const QString& portText, quint16& port)
{
    if (portText.isEmpty() || portText.size() > 5)
        return false;
    for (QChar c : portText)
        if (c < u'0' || c > u'9')
            return false;
    const uint value = portText.toUInt();
    if (value == 0 || value > 65535)
        return false;
    port = static_cast<quint16>(value);
    return true;
}

bool MatchesServer(const ConnectionProfile& profile, const LaunchUrl& url)
{
    const std::optional<ServerAddress> address = ParseServerText(profile.server);
    return address && address->host.compare(url.host, Qt::CaseInsensitive) == 0
           && address->port == url.port
           && (url.userName.isEmpty() || profile.userName == url.userName);
}

}  // namespace

QString LaunchUrl::ServerText() const
{
    const QString shownHost = host.contains(u':') ? u'[' + host + u']' : host;
    return port == DefaultFtpPort ? shownHost : shownHost + u':' + QString::number(port);
}

LaunchUrlResult ParseLaunchUrl(const QString& text)
{
    const qsizetype schemeEnd = text.indexOf(QLatin1String("://"));
    const QString scheme = text.left(qMax<qsizetype>(schemeEnd, 0)).toLower();
    if (schemeEnd < 0 || (scheme != QLatin1String("ftp") && scheme != QLatin1String("ftps")))
        return {std::nullopt, LaunchUrlError::NotFtp};

    LaunchUrl url;
    url.tlsRequired = scheme == QLatin1String("ftps");
    // A raw line break anywhere would reach the server as a second command.
    if (HasControlCharacter(text))
        return {std::nullopt, LaunchUrlError::Malformed};
    const QString authority = AuthorityOf(text);
    const std::optional<QString> portText = PortTextOf(authority);
    // "host:" with nothing after the colon is the default port, as in any URL.
    if (portText && !portText->isEmpty() && !IsValidPort(*portText, url.port))
        return {std::nullopt, LaunchUrlError::BadPort};

    const QUrl parsed(text, QUrl::StrictMode);
    if (parsed.host().isEmpty())
        return {std::nullopt, parsed.isValid() || authority.isEmpty() || authority.endsWith(u'@')
                                  ? LaunchUrlError::NoHost
                                  : LaunchUrlError::Malformed};
    if (!parsed.isValid())
        return {std::nullopt, LaunchUrlError::Malformed};
    url.host = parsed.host(QUrl::FullyDecoded);

    url.userName = parsed.userName(QUrl::FullyDecoded);
    if (HasControlCharacter(url.userName))
        return {std::nullopt, LaunchUrlError::BadUserName};
    url.password = parsed.password(QUrl::FullyDecoded);
    if (HasControlCharacter(url.password))
        return {std::nullopt, LaunchUrlError::BadPassword};
    url.remoteDir = parsed.path(QUrl::FullyDecoded);
    if (HasControlCharacter(url.remoteDir))
        return {std::nullopt, LaunchUrlError::BadPath};
    // "/" alone names no folder: the server's login folder is where such a link starts.
    if (url.remoteDir == QLatin1String("/"))
        url.remoteDir.clear();
    else if (url.remoteDir.size() > 1 && url.remoteDir.endsWith(u'/'))
        url.remoteDir.chop(1);
    return {url, LaunchUrlError::None};
}

QString LaunchUrlErrorText(const QString& text, LaunchUrlError error)
{
    QString reason;
    switch (error) {
    case LaunchUrlError::None:
        return {};
    case LaunchUrlError::NotFtp:
        reason = AppText::UrlNotFtp;
        break;
    case LaunchUrlError::Malformed:
        reason = AppText::UrlMalformed;
        break;
    case LaunchUrlError::NoHost:
        reason = AppText::UrlNoHost;
        break;
    case LaunchUrlError::BadPort:
        reason = AppText::UrlBadPort;
        break;
    case LaunchUrlError::BadUserName:
        reason = AppText::UrlBadUserName;
        break;
    case LaunchUrlError::BadPassword:
        reason = AppText::UrlBadPassword;
        break;
    case LaunchUrlError::BadPath:
        reason = AppText::UrlBadPath;
        break;
    }
    return AppText::BadUrl.arg(RedactedLaunchUrl(text), reason);
}

QString RedactedLaunchUrl(const QString& text)
{
    QString shown = text;
    const QString authority = AuthorityOf(text);
    const qsizetype at = authority.lastIndexOf(u'@');
    const qsizetype colon = at < 0 ? -1 : authority.left(at).indexOf(u':');
    if (colon >= 0) {
        const qsizetype authorityStart = text.indexOf(QLatin1String("://")) + 3;
        shown.replace(authorityStart + colon + 1, at - colon - 1, QStringLiteral("****"));
    }
    for (QChar& c : shown)
        if (c.unicode() < 0x20 || c.unicode() == 0x7F)
            c = QChar::ReplacementCharacter;
    return shown;
}

LoginPreset PresetForUrl(const LaunchUrl& url)
{
    LoginPreset preset;
    const bool passwordsKept = SettingsStore::ReadSavePassword();
    for (int slot = 1; slot <= ConnectionProfile::SlotCount; ++slot) {
        const QString name = ConnectionProfile::ReadProfileName(slot);
        // The dialog loads a repeated name from its lowest slot; a later one cannot be picked.
        if (name.isEmpty() || ConnectionProfile::FindProfileSlot(name) != slot)
            continue;
        ConnectionProfile profile;
        if (!profile.LoadProfile(name, false) || !MatchesServer(profile, url))
            continue;
        profile.LoadProfile(name, passwordsKept);
        preset.fields = profile;
        preset.profileSlot = slot;
        break;
    }
    if (preset.profileSlot == 0) {
        preset.fields.server = url.ServerText();
        preset.fields.userName = url.userName;
        preset.fields.encryption = ConnectionProfile::DefaultEncryption;
    }
    if (!url.password.isEmpty())
        preset.fields.password = url.password;
    if (!url.remoteDir.isEmpty())
        preset.fields.remoteInitDir = url.remoteDir;
    if (url.tlsRequired)
        preset.fields.encryption = 2;
    return preset;
}
