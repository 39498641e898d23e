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

// The command line (--help). Each text in Japanese, then in English for a terminal without a
// Japanese locale.
inline const QString CommandLineDescription =
    QStringLiteral("2 ペインの FTP クライアント / Two-pane FTP client");
inline const QString Usage = QStringLiteral("使い方 / Usage: %1 [options] [ftp://user@host:port/path]");
inline const QString HelpOption = QStringLiteral("この説明を表示します / Show this help.");
inline const QString VersionOption = QStringLiteral("版を表示します / Show the version.");
inline const QString ConfigDirOption =
    QStringLiteral("設定を DIR に保存します / Keep the settings in DIR.");
inline const QString UrlArgument = QStringLiteral(
    "ログイン画面に入れる接続先 (ftp:// または ftps://) / "
    "Fill the login dialog from this link (ftps:// requires TLS).");
inline const QString EmptyConfigDir =
    QStringLiteral("--config-dir にフォルダーを指定してください / --config-dir needs a folder.");
inline const QString TooManyUrls =
    QStringLiteral("URL は 1 つだけ指定できます / Give at most one URL.");

// The message box for a link that cannot be opened: the first line names the link (without
// its password), the second says why; nothing is connected.
inline const QString BadUrl = QStringLiteral("次の URL では接続できません。\n%1\n\n%2");
inline const QString UrlNotFtp = QStringLiteral("ftp:// または ftps:// で始まる URL を指定してください。");
inline const QString UrlMalformed = QStringLiteral("URL の書き方が正しくありません。");
inline const QString UrlNoHost = QStringLiteral("サーバー名がありません。");
inline const QString UrlBadPort = QStringLiteral("ポート番号は 1 から 65535 までの数にしてください。");
inline const QString UrlBadUserName = QStringLiteral("ユーザー名に改行などの制御文字が含まれています。");
inline const QString UrlBadPassword = QStringLiteral("パスワードに改行などの制御文字が含まれています。");
inline const QString UrlBadPath = QStringLiteral("フォルダー名に改行などの制御文字が含まれています。");
}  // namespace AppText
