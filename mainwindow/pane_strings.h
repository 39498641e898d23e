#pragma once

#include <QString>

// The texts of the panes: column headings, tooltips and the filter field.
namespace PaneText {
inline const QString NameColumn = QStringLiteral("名前");
inline const QString SizeColumn = QStringLiteral("サイズ");
inline const QString TimeColumn = QStringLiteral("更新日時");
inline const QString ModeColumn = QStringLiteral("属性");
inline const QString OwnerColumn = QStringLiteral("所有者");
inline const QString Parent = QStringLiteral("..");
// A folder's name cell: "<name>".
inline const QString FolderName = QStringLiteral("<%1>");
// The size cell's tooltip: the exact byte count, "1,234,567 バイト".
inline const QString ExactSize = QStringLiteral("%1 バイト");
// A link's tooltip: where it points.
inline const QString LinkTarget = QStringLiteral("リンク先: %1");
// The filter field, shown by Ctrl+F.
inline const QString Filter = QStringLiteral("絞り込み");
}  // namespace PaneText
