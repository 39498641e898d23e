#pragma once

#include <QString>

// The log lines of a batch that runs over several connections at once.
namespace ConnectionText {
// %1: how many connections the batch has (the window's own included).
inline const QString ServerLimit = QStringLiteral("サーバーが追加の接続を受け付けないため、%1 本の接続で続けます");
// %1: as above; %2: why the extra connection could not be used (TLS, its certificate, the folder).
inline const QString ExtraFailed = QStringLiteral("追加の接続を使えないため、%1 本の接続で続けます: %2");
}  // namespace ConnectionText
