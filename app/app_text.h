#pragma once

#include <QString>

// Texts of the application shell.
namespace AppText {
// String 103: the socket layer could not be set up.
inline const QString SocketInitFailed = QStringLiteral("Windows ソケットの初期化に失敗しました。");
// Printed to the terminal: there is no screen to show a window on.
inline constexpr char NoDisplay[] =
    "tallowin: 画面に接続できません。DISPLAY または WAYLAND_DISPLAY を設定して起動してください。\n"
    "tallowin: cannot connect to a display; set DISPLAY or WAYLAND_DISPLAY.\n";
}  // namespace AppText
