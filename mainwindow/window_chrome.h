#pragma once

#include <QSize>
#include <QString>
#include <QtGlobal>

// Sizes and addresses of the main window's chrome, free of widgets so that tests can check them
// for any screen.

// Narrower than this, the panes stand one above the other.
inline constexpr int NarrowWindowWidth = 560;

// The window's first size on a screen with this much room: about half its width and two thirds
// of its height (1000 by 680 on a 1920 by 1080 screen), never less than a two-pane window needs
// to be of use, and never more than the screen.
QSize StartWindowSize(const QSize& available);

// The ftp:// address of a remote path with the user name and never a password, percent-encoded:
// ftp://user@host:port/path ("[address]" for an IPv6 host).
QString RemotePathUrl(const QString& host, quint16 port, const QString& userName, const QString& path);
