#pragma once

#include <QString>

// The texts the main window's code shows (the dialog templates hold their own labels). Handlers
// of the main window keep theirs here too, so that every text of this layer is in one place.
namespace MainText {
inline const QString ParentEntry = QStringLiteral("..");
inline const QString FolderSize = QStringLiteral("----");
// The panes' lists, for screen readers (the form's labels above them say the same).
inline const QString LocalListName = QStringLiteral("ローカル");
inline const QString RemoteListName = QStringLiteral("リモート");

// Server work that runs while the window stays live.
inline const QString CancelButton = QStringLiteral("中止");
inline const QString CancelButtonName = QStringLiteral("中止");
inline const QString Cancelled = QStringLiteral("中止しました");
inline const QString Working = QStringLiteral("処理中です。\nしばらくお待ちください...");
inline const QString QuitWhileWorking = QStringLiteral("処理中です。中止して終了しますか？");
// Below the log's message when the control connection broke; %1 is the server's reason.
inline const QString ConnectionLost = QStringLiteral("サーバーとの接続が切れました: %1");
}  // namespace MainText

// Texts of the file handlers: transfers, transfer modes, navigation, folders and deletion,
// permissions and rename.
namespace FilesText {
inline const QString UploadQuestion = QStringLiteral("%1 個のファイルをアップロードしますか？");
inline const QString DownloadQuestion = QStringLiteral("%1 個のファイルをダウンロードしますか？");
// A selection with folders: %1 folders (all levels down), %2 files, %3 their size ("1.2 GB").
inline const QString FolderUploadQuestion = QStringLiteral("%1 個のフォルダと %2 個のファイル (%3) をアップロードしますか？");
inline const QString FolderDownloadQuestion = QStringLiteral("%1 個のフォルダと %2 個のファイル (%3) をダウンロードしますか？");
// The batch line of the progress box: "12/120 ファイル, 240 MB/1.2 GB".
inline const QString BatchProgress = QStringLiteral("%1/%2 ファイル, %3/%4");
inline const QString TransferPreparing = QStringLiteral("準備中です\nしばらくお待ちください");
inline const QString TransferProgress = QStringLiteral("...%1\n%2/%3");
inline const QString TransferUpdating = QStringLiteral("更新中です\nしばらくお待ちください");
// The speed and the time left below the byte count: "12.3 MB/s 残り 0:42".
inline const QString TransferRate = QStringLiteral("%1 MB/s");
inline const QString TransferTimeLeft = QStringLiteral(" 残り %1");

inline const QString ListingWait = QStringLiteral("ファイルリスト取得中です。\nしばらくお待ちください...");
inline const QString MakeDirFailed = QStringLiteral("ディレクトリ作成に失敗しました");
inline const QString LocalDeleteQuestion = QStringLiteral("%1 個のファイルを削除しますか？");
// %1 the folder's name, %2 how many files and folders are inside, all levels down.
inline const QString FolderTreeDeleteQuestion = QStringLiteral("フォルダ %1 とその中の %2 個の項目を削除しますか？");
inline const QString RemoteDeleteQuestion = QStringLiteral("%1 個のファイルまたは\nディレクトリを削除しますか？");
inline const QString LocalDeleted = QStringLiteral("%1 を削除しました");

inline const QString AttributeCaption = QStringLiteral("Tallowin 属性変更");
inline const QString CurrentAttributes = QStringLiteral("現在の属性：%1");
inline const QString EntryNotListed = QStringLiteral("指定されたファイルがリストにありません\r\n");
// The server answered PWD with no folder: paths cannot be made for the entries shown.
inline const QString RemoteFolderUnknown =
    QStringLiteral("サーバーが現在のフォルダを返さないため実行できません。フォルダのパスを入力して開いてください");
// The listing gave no mode (MS-DOS lines, a machine listing without one).
inline const QString UnknownAttributes = QStringLiteral("不明");
inline const QString AttributesNotChanged = QStringLiteral("属性が分からないため、変更しませんでした");
inline const QString ChangeAttribFailed = QStringLiteral("ChangeFileAttrib に失敗\r\n");
inline const QString RenameFailed = QStringLiteral("リネームに失敗しました");

// Typed folders and listings cut short.
inline const QString FolderNotOpened = QStringLiteral("%1 を開けません: %2");
// A listing longer than a listing may be (entries or text): %1 entries are shown.
inline const QString ListingCut = QStringLiteral("一覧が大きすぎるため、先頭の %1 件だけを表示しています");
}  // namespace FilesText

// Texts of connecting and disconnecting, dial-up included.
namespace ConnectText {
inline const QString MissingField = QStringLiteral("入力されていない項目があります.");
inline const QString DialParamsFailed = QStringLiteral("接続に失敗しました\nRasGetEntryDialParams Failed");
// Follows the dial-up entry's name, or its first ten characters when it is longer.
inline const QString Dialing = QStringLiteral("に接続中です\nしばらくお待ちください...");
inline const QString DialingCut = QStringLiteral("..に接続中です\nしばらくお待ちください...");
inline const QString DialFailed = QStringLiteral("接続に失敗しました\nRasDial Failed");
inline const QString DialTimedOut = QStringLiteral("接続タイムアウトです");
inline const QString LoggingIn = QStringLiteral("ログイン処理中です。\nしばらくお待ちください...");
inline const QString ConnectFailed = QStringLiteral("ConnectToServer に失敗\r\n");
inline const QString LoginFailed = QStringLiteral("UserLogin に失敗\r\n");
inline const QString PassiveMode = QStringLiteral("use PASV.");
inline const QString HangingUp = QStringLiteral("切断処理中です。\nしばらくお待ちください...");
// Added below the log's message, once per run, when a password stayed in the settings file.
inline const QString PasswordsInSettingsFile =
    QStringLiteral("キーリングが使えないため、パスワードは設定ファイルに保存されます");

// Encryption. %1 is the protocol, "TLS 1.3" say.
inline const QString TlsProtected = QStringLiteral("%1 で暗号化されています");
inline const QString NotEncrypted = QStringLiteral("この接続は暗号化されていません");
inline const QString TlsNotSupported = QStringLiteral("サーバーが TLS に対応していません");
inline const QString TlsFailed = QStringLiteral("TLS の接続に失敗しました");
inline const QString CertificateRefused = QStringLiteral("証明書が信頼されなかったため接続を中止しました");
// Said below the protection line when the server refused PROT P and the data goes in clear.
inline const QString DataNotEncrypted = QStringLiteral("データ接続は暗号化されていません");
// Asked before USER goes out in clear after the server refused AUTH TLS.
inline const QString ClearTextQuestion = QStringLiteral(
    "このサーバーは暗号化 (TLS) に対応していません。続けると、パスワードとファイルは暗号化されずに送られます。"
    "続けますか？");
inline const QString DontAskAgain = QStringLiteral("このサーバーでは今後確認しない");
// Put before the question when TLS worked with the server before.
inline const QString TlsWasRefused = QStringLiteral(
    "前回は TLS で接続できたサーバーが、今回は TLS を拒否しました。通信が妨害されている可能性があります。");
}  // namespace ConnectText

// The certificate question: what the certificate says and why the system did not vouch for it.
namespace CertificateText {
// %1 host:port, %2 the reason, %3 subject, %4 issuer, %5 and %6 the validity (UTC), %7 the
// SHA-256 fingerprint.
inline const QString Question = QStringLiteral(
    "%1 の証明書を確認できませんでした。\n理由: %2\n\n"
    "発行先: %3\n発行者: %4\n有効期間: %5 から %6 まで (UTC)\nSHA-256 指紋:\n%7\n\n"
    "この証明書を信頼して接続しますか？");
// Put before the question when a server trusted before shows another certificate; %1 the
// fingerprint trusted before.
inline const QString Changed = QStringLiteral(
    "警告: このサーバーの証明書は、以前に信頼したものと違います。\n"
    "第三者が通信に割り込んでいるおそれがあります。証明書を変えたとサーバーの管理者から"
    "聞いていない限り、「キャンセル」を選んでください。\n以前の SHA-256 指紋:\n%1\n\n");
inline const QString SelfSigned =
    QStringLiteral("サーバー自身が署名した証明書で、信頼できる認証局の確認を受けていません");
inline const QString UnknownIssuer =
    QStringLiteral("証明書の発行者 (認証局) がこのコンピューターで信頼されていません");
inline const QString Expired = QStringLiteral("証明書の有効期限が切れています");
inline const QString NotYetValid = QStringLiteral("証明書の有効期間がまだ始まっていません");
inline const QString NameMismatch = QStringLiteral("証明書は %1 のために発行されたものではありません");
inline const QString Other = QStringLiteral("証明書を検証できませんでした (%1)");
// Added when the name does not match either, besides another reason.
inline const QString AlsoNameMismatch = QStringLiteral("。また、%1 のために発行されたものでもありません");
inline const QString DateFormat = QStringLiteral("yyyy-MM-dd HH:mm");
}  // namespace CertificateText

// Texts of the window's chrome: the progress box's figures, the title, the desktop notice, the
// panes' context menus and the local rename.
namespace ChromeText {
inline const QString AppName = QStringLiteral("Tallowin");
// The title while a transfer runs: "42% - Tallowin".
inline const QString TitleWithPercent = QStringLiteral("%1% - %2");
// The progress box's bars and lines, and their names for screen readers.
inline const QString FileBarName = QStringLiteral("ファイルの進み具合");
inline const QString FilesBarName = QStringLiteral("ファイル数の進み具合");
inline const QString BytesBarName = QStringLiteral("全体の進み具合");
inline const QString SizeLineName = QStringLiteral("転送したバイト数");
inline const QString RateLineName = QStringLiteral("速度と残り時間");
inline const QString ConnectionLinesName = QStringLiteral("ほかの接続のファイル");
// "12.3 MB / 1.0 GB".
inline const QString SizeLine = QStringLiteral("%1 / %2");
// Another connection's file: %1 its number (2 and up), %2 the name's end, %3 and %4 the sizes.
inline const QString ConnectionLine = QStringLiteral("接続 %1: ...%2  %3 / %4");
// The desktop notice at the end of a long transfer while the window is in the background.
inline const QString TransferEnded = QStringLiteral("転送が終わりました");
// %1 files, %2 their size.
inline const QString TransferEndedBatch = QStringLiteral("%1 個のファイル (%2)");
// The panes' context menus.
inline const QString MenuOpen = QStringLiteral("開く");
inline const QString MenuDownload = QStringLiteral("ダウンロード");
inline const QString MenuUpload = QStringLiteral("アップロード");
inline const QString MenuNewFolder = QStringLiteral("新しいフォルダ");
inline const QString MenuDelete = QStringLiteral("削除");
inline const QString MenuRename = QStringLiteral("名前の変更");
inline const QString MenuAttributes = QStringLiteral("属性");
inline const QString MenuRefresh = QStringLiteral("最新の情報に更新");
inline const QString MenuCopyPath = QStringLiteral("パスをコピー");
inline const QString LocalMenuName = QStringLiteral("ローカルのメニュー");
inline const QString RemoteMenuName = QStringLiteral("リモートのメニュー");
// The local rename: %1 the old path, %2 the new one; the failure with the system's reason.
inline const QString LocalRenamed = QStringLiteral("%1 を %2 に変更しました");
inline const QString LocalRenameFailed = QStringLiteral("リネームに失敗しました: %1");
inline const QString NameTaken = QStringLiteral("%1 はすでに存在します");
// The splitters' names for screen readers.
inline const QString PaneSplitterName = QStringLiteral("ローカルとリモートの境界");
inline const QString LogSplitterName = QStringLiteral("一覧とログの境界");
}  // namespace ChromeText
