#pragma once

#include "settings/login_preset.h"

#include <QString>
#include <QtGlobal>

#include <optional>

// An ftp:// or ftps:// link the program was started with (from a browser, a file manager or
// the command line), taken apart into what the login dialog needs. ftps:// is explicit TLS on
// the FTP port, so both schemes default to port 21.
struct LaunchUrl {
    QString host;  // without brackets for an IPv6 address
    quint16 port = 21;
    QString userName;  // percent-escapes decoded; empty when the link names none
    QString password;  // kept in memory only
    QString remoteDir;  // decoded; empty for the server's login folder
    bool tlsRequired = false;

    // The host and port as the login dialog's server text reads them back.
    QString ServerText() const;
};

enum class LaunchUrlError {
    None,
    NotFtp,  // another scheme, or no URL at all
    Malformed,
    NoHost,
    BadPort,
    BadUserName,  // control characters (CR, LF ...) would end the USER command early
    BadPassword,
    BadPath,
};

struct LaunchUrlResult {
    std::optional<LaunchUrl> url;
    LaunchUrlError error = LaunchUrlError::None;
};

LaunchUrlResult ParseLaunchUrl(const QString& text);

// The message box text for a link that cannot be opened.
QString LaunchUrlErrorText(const QString& text, LaunchUrlError error);

// The link without its password, for showing: control characters become U+FFFD.
QString RedactedLaunchUrl(const QString& text);

// The login dialog's texts for the link. A saved profile for the same server (host compared
// without regard to case, the same port and, when the link names one, the same user) is picked
// and keeps its own choices; the link adds its password, its folder and, for ftps://, TLS
// required. Without one: the link's server, user, password and folder, TLS when offered (or
// required for ftps://). The profile's own password is read only when passwords are kept, as
// the dialog itself does.
LoginPreset PresetForUrl(const LaunchUrl& url);
