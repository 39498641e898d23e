#pragma once

#include "listing/listing_entry.h"

#include <QAbstractTableModel>
#include <QHash>
#include <QIcon>
#include <QRegularExpression>
#include <QStringList>

#include <optional>
#include <vector>

// Which pane a model or a drag belongs to.
enum class PaneSide { Local, Remote };

// What a pane row stands for: the kind decides how it shows and sorts (a link to a folder is a
// Folder row), whatever the entry's own kind says.
enum class PaneRowKind { File, Folder, Parent };

struct PaneRow {
    ListingEntry entry;  // entry.name is the bare name; ".." for the parent
    PaneRowKind kind = PaneRowKind::File;
};

// What was dropped on a pane: rows of a pane of this program (its side, the rows' names and
// kinds), or local files from elsewhere (a file manager's text/uri-list).
struct PaneDrop {
    std::optional<PaneSide> fromPane;
    std::vector<PaneRow> rows;
    QStringList localPaths;
};

// A pane's rows as a table: name, size, modification time, mode, and on the remote side the
// owner. Rows are kept typed; texts and icons are made only for the rows a view asks about.
// ".." stays first and folders come before files in either order; the filter keeps rows whose
// name matches it.
class PaneModel : public QAbstractTableModel {
    Q_OBJECT
public:
    enum Column { NameColumn, SizeColumn, TimeColumn, ModeColumn, OwnerColumn };
    // The row's PaneRowKind (as int) and its bare name, for any column.
    static constexpr int KindRole = Qt::UserRole;
    static constexpr int NameRole = Qt::UserRole + 1;
    // The internal MIME type of dragged rows.
    static const QString RowsMimeType;

    explicit PaneModel(PaneSide side, QObject* parent = nullptr);

    PaneSide Side() const { return side; }
    // Replaces every row, sorted as the model is sorted and filtered as it is filtered. folder
    // is where local rows live (for the file URIs of a drag); the remote side may leave it empty.
    void SetRows(std::vector<PaneRow> rows, const QString& folder = {});
    QString Folder() const { return folder; }

    // The rows as shown (sorted, filtered).
    int RowCount() const { return int(shown.size()); }
    const PaneRow& RowAt(int row) const { return items[size_t(shown[size_t(row)])]; }
    // The shown row of a bare name (".." for the parent); -1 when none is shown.
    int RowOfName(const QString& name) const;
    // The first shown row from `from` on (wrapping) whose bare name starts with prefix, case
    // ignored; -1 when none.
    int RowStartingWith(const QString& prefix, int from) const;

    // Keeps only rows whose name contains text ("*" any run, "?" any one character; case
    // ignored); ".." always stays. Empty shows every row.
    void SetFilter(const QString& text);
    QString Filter() const { return filterText; }

    void sort(int column, Qt::SortOrder order = Qt::AscendingOrder) override;
    int SortColumn() const { return sortColumn; }
    Qt::SortOrder SortOrder() const { return sortOrder; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Dragging rows out: the internal type (side, names and kinds) and, for local rows,
    // text/uri-list with their file:// URIs.
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    Qt::DropActions supportedDragActions() const override { return Qt::CopyAction; }
    Qt::DropActions supportedDropActions() const override { return Qt::CopyAction; }

    // The typed contents of a drop: rows of this program's panes (same process only), else the
    // local files of a URI list. Nothing when it holds neither.
    static std::optional<PaneDrop> ReadDrop(const QMimeData& data);

    // "4.0 KiB", "1.2 GiB", "512 B": as a desktop file manager shows sizes.
    static QString SizeText(qint64 bytes);
    // The time column's text: local time "2026/12/07 19:53"; a listed date that left out the
    // year or the clock as listed.
    static QString TimeText(const ListingEntry& entry);

private:
    // Ranks the names; true when that also put the rows in the model's order.
    bool RankNames();
    std::vector<qint64> ColumnKeys(int column) const;
    void Order();
    void ApplyFilter();
    bool Matches(const QString& name) const;
    QIcon IconOf(const PaneRow& row) const;

    PaneSide side;
    QString folder;
    std::vector<PaneRow> items;
    // Per item, side by side so that sorting reads small arrays, not the rows: the group (".."
    // 0, folders 1, files 2) and the place of the name in Japanese natural order (equal names
    // share it).
    std::vector<quint8> groups;
    std::vector<int> nameRanks;
    std::vector<int> sorted;  // every item, in the current order
    std::vector<int> shown;   // the sorted items the filter keeps
    int sortColumn = NameColumn;
    Qt::SortOrder sortOrder = Qt::AscendingOrder;
    QString filterText;
    QRegularExpression filterPattern;  // for a filter with wildcards; invalid for plain text
    mutable QHash<QString, QIcon> iconsByType;
};
