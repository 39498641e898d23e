#pragma once

#include <QString>

// The texts of the transfer rules: the questions a transfer asks, the log lines and outcomes of
// transfers and remote deletions, and the reasons a file failed. The window shows them as they
// are; texts of its own stay in mainwindow/strings.h.
namespace TransferText {
inline const QString OverwriteQuestion = QStringLiteral("そのファイルはすでに存在します。\n上書きしますか？");
inline const QString ResumeQuestion = QStringLiteral("前回の続きから再開しますか？");
inline const QString UploadSucceededLine = QStringLiteral("%1 のアップロードが正常に終了しました");
inline const QString UploadFailedLine = QStringLiteral("%1 のアップロードに失敗しました\r\n");
inline const QString DownloadSucceededLine = QStringLiteral("%1 のダウンロードが正常に終了しました");
inline const QString UploadFailed = QStringLiteral("アップロードに失敗しました");
inline const QString UploadCompleted = QStringLiteral("アップロードが完了しました");
inline const QString DownloadFailed = QStringLiteral("ダウンロードに失敗しました");
inline const QString DownloadCompleted = QStringLiteral("ダウンロードが完了しました");
// After a cancelled upload over an existing file.
inline const QString UploadIncomplete = QStringLiteral("サーバー上の %1 は途中までしか書かれていません");
inline const QString RemoteDeleted = QStringLiteral("%1 の削除が正常に終了しました");
inline const QString RemoveDirFailed = QStringLiteral("ディレクトリ削除に失敗しました");
inline const QString DeleteFailed = QStringLiteral("削除に失敗しました");
inline const QString DeleteCompleted = QStringLiteral("削除が完了しました");
// Folders that cannot be read, failed listings and batches with failures.
inline const QString FolderNotRead = QStringLiteral("%1 を開けません");
inline const QString ListingFailed = QStringLiteral("ファイルリストの取得に失敗しました: %1");
// A folder walk that would collect more than a walk may: %1 is that limit.
inline const QString WalkTooLarge = QStringLiteral("フォルダの中身が多すぎるため中止しました (%1 件以上)");
// %1 items, %2 of them failed, %3 the first failure's reason.
inline const QString BatchFailed = QStringLiteral("%1 個中 %2 個が失敗しました。最初の失敗: %3");
inline const QString ReasonListenFailed = QStringLiteral("データ接続を待ち受けられません");
inline const QString ReasonDataSetupRefused = QStringLiteral("サーバーがデータ接続の準備を拒否しました");
inline const QString ReasonDataOpenFailed =
    QStringLiteral("データ接続またはローカルファイルを開けませんでした");
inline const QString ReasonConnectionLost = QStringLiteral("サーバーとの接続が切れています");
inline const QString ReasonNoReply = QStringLiteral("サーバーの応答がありません");
inline const QString ReasonNotAFile = QStringLiteral("%1 は読めるファイルではありません");
inline const QString ReasonUnsafeName = QStringLiteral("%1 はローカルに作れない名前です");
inline const QString ReasonSizeMismatch = QStringLiteral("再開した転送のサイズがサーバーのファイルと一致しません");
// The server's digest of the file is not the one of the bytes that went over the wire.
inline const QString ReasonDownloadDiffers = QStringLiteral("受け取ったファイルがサーバーのファイルと一致しません");
inline const QString ReasonUploadDiffers = QStringLiteral("サーバーのファイルが送ったものと一致しません");
// Below a transfer's line when the server's digest matched; %1 is the algorithm ("SHA-256").
inline const QString Verified = QStringLiteral("照合しました (%1)");
// A download of another size than the server gave: %1 the bytes received, %2 the server's size.
inline const QString ReasonDownloadSizeMismatch = QStringLiteral("サイズが一致しません (受信 %1 バイト, サーバー %2 バイト)");
// An encrypted data connection that ended without its closing notice; for a download with %1
// the bytes received.
inline const QString ReasonDataCutShort = QStringLiteral("データ接続が終了の通知なしに切れました");
inline const QString ReasonDownloadCutShort = QStringLiteral("データ接続が終了の通知なしに切れました (受信 %1 バイト)");
// A folder of a downloaded tree whose local name is taken by a link: %1 the local path.
inline const QString ReasonFolderIsLink = QStringLiteral("%1 はリンクのため、フォルダとして使いません");
// %1 the target, %2 the system's reason, %3 the partial file that keeps the data.
inline const QString ReasonTargetNotReplaced =
    QStringLiteral("%1 を置き換えられません (%2)。受信したデータは %3 に残してあります");
}  // namespace TransferText
