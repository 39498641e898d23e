#include "mainwindow/pane_model.h"

#include "mainwindow/pane_strings.h"

#include <QApplication>
#include <QCollator>
#include <QLocale>
#include <QMimeDatabase>
#include <QStyle>

#include <algorithm>
#include <limits>

namespace {

// ".." first, then folders, then files, in either order.
int Group(PaneRowKind kind)
{
    return kind == PaneRowKind::Parent ? 0 : kind == PaneRowKind::Folder ? 1 : 2;
}

template <typename T>
int Compare(const T& a, const T& b)
{
    return a < b ? -1 : b < a ? 1 : 0;
}

// One collator for every pane: Japanese order for kana and kanji, digits by value ("file2"
// before "file10"), letters without regard to case.
const QCollator& NameCollator()
{
    static const QCollator collator = [] {
        QCollator c{QLocale(QLocale::Japanese)};
        c.setNumericMode(true);
        c.setCaseSensitivity(Qt::CaseInsensitive);
        return c;
    }();
    return collator;
}

}  // namespace

PaneModel::PaneModel(PaneSide side, QObject* parent) : QAbstractTableModel(parent), side(side) {}

void PaneModel::SetRows(std::vector<PaneRow> rows, const QString& rowsFolder)
{
    beginResetModel();
    folder = rowsFolder;
    items.clear();
    timeKeys.clear();
    items.reserve(rows.size());
    // The sort keys are made once here, so that sorting compares bytes, not names.
    const QCollator& collator = NameCollator();
    for (PaneRow& row : rows) {
        QCollatorSortKey key = collator.sortKey(row.entry.name);
        items.push_back({std::move(row), std::move(key)});
    }
    sorted.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        sorted[i] = int(i);
    Order();
    ApplyFilter();
    endResetModel();
}

// By value of the one column; names settle ties (reversed only when the names are the column),
// and the listing's order settles equal names.
void PaneModel::Order()
{
    const bool descending = sortOrder == Qt::DescendingOrder;
    const int column = sortColumn;
    const std::vector<qint64>* times = column == TimeColumn ? &TimeKeys() : nullptr;
    std::sort(sorted.begin(), sorted.end(), [&](int a, int b) {
        const Item& x = items[size_t(a)];
        const Item& y = items[size_t(b)];
        if (x.row.kind != y.row.kind && Group(x.row.kind) != Group(y.row.kind))
            return Group(x.row.kind) < Group(y.row.kind);
        int c = 0;
        switch (column) {
        case SizeColumn:
            if (x.row.kind == PaneRowKind::File)
                c = Compare(x.row.entry.size, y.row.entry.size);
            break;
        case TimeColumn: c = Compare((*times)[size_t(a)], (*times)[size_t(b)]); break;
        case ModeColumn: c = Compare(x.row.entry.mode, y.row.entry.mode); break;
        case OwnerColumn: c = x.row.entry.owner.compare(y.row.entry.owner, Qt::CaseInsensitive); break;
        default: break;
        }
        if (c != 0)
            return descending ? c > 0 : c < 0;
        c = x.nameKey.compare(y.nameKey);
        if (c != 0)
            return descending && column == NameColumn ? c > 0 : c < 0;
        return a < b;
    });
}

// A time as a number that orders like it. The wall-clock date and time of the entry's own zone
// are used, which avoids a zone conversion per row: one listing's times share their zone.
const std::vector<qint64>& PaneModel::TimeKeys() const
{
    if (timeKeys.size() != items.size()) {
        timeKeys.resize(items.size());
        for (size_t i = 0; i < items.size(); ++i) {
            const QDateTime& time = items[i].row.entry.modified;
            timeKeys[i] = time.isValid() ? time.date().toJulianDay() * 86'400'000 + time.time().msecsSinceStartOfDay()
                                         : std::numeric_limits<qint64>::min();
        }
    }
    return timeKeys;
}

void PaneModel::sort(int column, Qt::SortOrder order)
{
    if (column < 0 || column >= columnCount())
        return;
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    const QModelIndexList before = persistentIndexList();
    std::vector<int> itemsBefore;
    itemsBefore.reserve(size_t(before.size()));
    for (const QModelIndex& index : before)
        itemsBefore.push_back(shown[size_t(index.row())]);
    sortColumn = column;
    sortOrder = order;
    Order();
    ApplyFilter();
    // Selection and caret stay on their rows: map each item to its new place.
    if (!before.isEmpty()) {
        std::vector<int> rowOfItem(items.size(), -1);
        for (size_t row = 0; row < shown.size(); ++row)
            rowOfItem[size_t(shown[row])] = int(row);
        QModelIndexList after;
        after.reserve(before.size());
        for (qsizetype i = 0; i < before.size(); ++i) {
            const int row = rowOfItem[size_t(itemsBefore[size_t(i)])];
            after.append(row < 0 ? QModelIndex() : index(row, before[i].column()));
        }
        changePersistentIndexList(before, after);
    }
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

void PaneModel::SetFilter(const QString& text)
{
    if (text == filterText)
        return;
    beginResetModel();
    filterText = text;
    filterPattern = QRegularExpression();
    if (text.contains(u'*') || text.contains(u'?')) {
        QString pattern;
        for (QChar c : text) {
            if (c == u'*')
                pattern += QStringLiteral(".*");
            else if (c == u'?')
                pattern += u'.';
            else
                pattern += QRegularExpression::escape(QString(c));
        }
        filterPattern.setPattern(pattern);
        filterPattern.setPatternOptions(QRegularExpression::CaseInsensitiveOption |
                                        QRegularExpression::DotMatchesEverythingOption);
    }
    ApplyFilter();
    endResetModel();
}

bool PaneModel::Matches(const QString& name) const
{
    if (filterPattern.pattern().isEmpty())
        return name.contains(filterText, Qt::CaseInsensitive);
    return filterPattern.match(name).hasMatch();
}

void PaneModel::ApplyFilter()
{
    if (filterText.isEmpty()) {
        shown = sorted;
        return;
    }
    shown.clear();
    for (int item : sorted) {
        const PaneRow& row = items[size_t(item)].row;
        if (row.kind == PaneRowKind::Parent || Matches(row.entry.name))
            shown.push_back(item);
    }
}

int PaneModel::RowOfName(const QString& name) const
{
    for (size_t row = 0; row < shown.size(); ++row) {
        if (items[size_t(shown[row])].row.entry.name == name)
            return int(row);
    }
    return -1;
}

int PaneModel::RowStartingWith(const QString& prefix, int from) const
{
    const int count = RowCount();
    for (int i = 0; i < count; ++i) {
        const int row = (std::max(from, 0) + i) % count;
        const PaneRow& candidate = RowAt(row);
        if (candidate.kind != PaneRowKind::Parent && candidate.entry.name.startsWith(prefix, Qt::CaseInsensitive))
            return row;
    }
    return -1;
}

int PaneModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : RowCount();
}

int PaneModel::columnCount(const QModelIndex& parent) const
{
    if (parent.isValid())
        return 0;
    return side == PaneSide::Remote ? 5 : 4;
}

QString PaneModel::SizeText(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB", "PiB", "EiB"};
    double value = double(bytes) / 1024;
    int unit = 0;
    // 1023.96 KiB would read "1024.0 KiB": the next unit takes over where one decimal rounds up.
    while (value >= 1023.95 && unit < 5) {
        value /= 1024;
        ++unit;
    }
    return QString::number(value, 'f', 1) + u' ' + QLatin1String(units[unit]);
}

QString PaneModel::TimeText(const ListingEntry& entry)
{
    if (!entry.modified.isValid() || entry.partialDate)
        return entry.listedDate;
    const QDateTime shown = entry.exactTime ? entry.modified.toLocalTime() : entry.modified;
    return shown.toString(QStringLiteral("yyyy/MM/dd HH:mm"));
}

QIcon PaneModel::IconOf(const PaneRow& row) const
{
    QStyle* style = QApplication::style();
    if (row.kind != PaneRowKind::File) {
        const QString key = row.kind == PaneRowKind::Parent ? QStringLiteral("/parent") : QStringLiteral("/folder");
        auto found = iconsByType.constFind(key);
        if (found != iconsByType.constEnd())
            return *found;
        const QIcon icon = row.kind == PaneRowKind::Parent
                               ? QIcon::fromTheme(QStringLiteral("go-up"), style->standardIcon(QStyle::SP_FileDialogToParent))
                               : QIcon::fromTheme(QStringLiteral("folder"), style->standardIcon(QStyle::SP_DirIcon));
        iconsByType.insert(key, icon);
        return icon;
    }
    // By name only: a remote file has no content here, and a local one need not be read.
    static const QMimeDatabase mimes;
    const QMimeType type = mimes.mimeTypeForFile(row.entry.name, QMimeDatabase::MatchExtension);
    auto found = iconsByType.constFind(type.name());
    if (found != iconsByType.constEnd())
        return *found;
    QIcon icon = QIcon::fromTheme(type.iconName());
    if (icon.isNull())
        icon = QIcon::fromTheme(type.genericIconName());
    if (icon.isNull())
        icon = style->standardIcon(QStyle::SP_FileIcon);
    iconsByType.insert(type.name(), icon);
    return icon;
}

QVariant PaneModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= RowCount())
        return {};
    const PaneRow& row = RowAt(index.row());
    const ListingEntry& entry = row.entry;
    const bool file = row.kind == PaneRowKind::File;
    switch (role) {
    case KindRole: return int(row.kind);
    case NameRole: return entry.name;
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        switch (index.column()) {
        case NameColumn:
            if (row.kind == PaneRowKind::Parent)
                return PaneText::Parent;
            return row.kind == PaneRowKind::Folder ? PaneText::FolderName.arg(entry.name) : entry.name;
        case SizeColumn:
            if (!file)
                return QString();
            return entry.size >= 0 ? SizeText(entry.size) : entry.listedSize;
        case TimeColumn: return row.kind == PaneRowKind::Parent ? QString() : TimeText(entry);
        case ModeColumn: return row.kind == PaneRowKind::Parent ? QString() : entry.ModeText();
        case OwnerColumn: return entry.owner;
        default: return {};
        }
    case Qt::DecorationRole:
        return index.column() == NameColumn ? QVariant(IconOf(row)) : QVariant();
    case Qt::ToolTipRole:
        if (index.column() == NameColumn && entry.kind == EntryKind::Link && !entry.linkTarget.isEmpty())
            return PaneText::LinkTarget.arg(entry.linkTarget);
        if (index.column() == SizeColumn && file && entry.size >= 0)
            return PaneText::ExactSize.arg(QLocale(QLocale::Japanese).toString(entry.size));
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == SizeColumn)
            return QVariant(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default: return {};
    }
}

QVariant PaneModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case NameColumn: return PaneText::NameColumn;
    case SizeColumn: return PaneText::SizeColumn;
    case TimeColumn: return PaneText::TimeColumn;
    case ModeColumn: return PaneText::ModeColumn;
    case OwnerColumn: return PaneText::OwnerColumn;
    default: return {};
    }
}

Qt::ItemFlags PaneModel::flags(const QModelIndex& index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (RowAt(index.row()).kind != PaneRowKind::Parent)
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}
