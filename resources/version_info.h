#pragma once

#include <QString>

// The program's version record.
namespace VersionInfo {
inline const QString InternalName = QStringLiteral("Tallowin");
inline const QString Version = QStringLiteral("1.0.0.1");
// The first message the main window shows in its log.
inline const QString VersionBanner = InternalName + QStringLiteral(" Version ") + Version;
}  // namespace VersionInfo
