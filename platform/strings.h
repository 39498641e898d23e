#pragma once

#include <QString>

// The texts the window-system seam shows itself.
namespace PlatformText {
inline const QString CertificateCaption = QStringLiteral("Tallowin 証明書の確認");
inline const QString TrustAlways = QStringLiteral("常に信頼する");
inline const QString TrustOnce = QStringLiteral("今回だけ信頼する");
inline const QString Cancel = QStringLiteral("キャンセル");
inline const QString Yes = QStringLiteral("はい");
inline const QString No = QStringLiteral("いいえ");
}  // namespace PlatformText
