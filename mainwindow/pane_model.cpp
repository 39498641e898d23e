#include "mainwindow/pane_model.h"

#include "mainwindow/pane_strings.h"

#include <QApplication>
#include <QCollator>
#include <QLocale>
#include <QMimeDatabase>
#include <QStyle>

#include <algorithm>
#include <iterator>
#include <limits>
#include <system_error>
#include <thread>
#include <tuple>
#include <utility>

namespace {

// ".." first, then folders, then files, in either order.
int Group(PaneRowKind kind)
{
    return kind == PaneRowKind::Parent ? 0 : kind == PaneRowKind::Folder ? 1 : 2;
}

// Japanese order for kana and kanji, digits by value ("file2" before "file10"), letters without
// regard to case.
QCollator MakeNameCollator()
{
    QCollator collator{QLocale(QLocale::Japanese)};
    collator.setNumericMode(true);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    return collator;
}

// The one the window's thread uses for every pane.
const QCollator& NameCollator()
{
    static const QCollator collator = MakeNameCollator();
    return collator;
}

}  // namespace

PaneModel::PaneModel(PaneSide side, QObject* parent) : QAbstractTableModel(parent), side(side) {}

void PaneModel::SetRows(std::vector<PaneRow> rows, const QString& rowsFolder)
{
    beginResetModel();
    folder = rowsFolder;
    items = std::move(rows);
    groups.resize(items.size());
    for (size_t i = 0; i < items.size(); ++i)
        groups[i] = quint8(Group(items[i].kind));
    // Sorted by name ascending, as a pane mostly is, the ranking's own order is the pane's.
    if (!RankNames())
        Order();
    ApplyFilter();
    endResetModel();
}

// The names are put in order once per fill, by sort keys made once per name (comparing keys is
// comparing bytes; a collator call per comparison would cost many times that). Every later sort
// compares these ranks. A large folder is keyed and sorted in two halves at once, then merged:
// making and comparing the keys is nearly all of a fill's time.
bool PaneModel::RankNames()
{
    using Keyed = std::pair<QCollatorSortKey, int>;
    // Equal names in listing order, so that the ranking's order is the pane's own.
    auto byKey = [](const Keyed& a, const Keyed& b) {
        const int c = a.first.compare(b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    };
    auto keyAndSort = [&](size_t begin, size_t end, const QCollator& keyMaker) {
        std::vector<Keyed> keyed;
        keyed.reserve(end - begin);
        for (size_t i = begin; i < end; ++i)
            keyed.emplace_back(keyMaker.sortKey(items[i].entry.name), int(i));
        std::sort(keyed.begin(), keyed.end(), byKey);
        return keyed;
    };
    const size_t count = items.size();
    const size_t half = count / 2;
    std::vector<Keyed> keyed;
    std::vector<Keyed> first;
    std::thread other;
    constexpr size_t SplitFrom = 20'000;
    if (count >= SplitFrom) {
        try {
            // A collator of its own for the other thread: copies of one share it, and one is
            // not to be used by two threads.
            other = std::thread([&] { first = keyAndSort(0, half, MakeNameCollator()); });
        } catch (const std::system_error&) {
            // No thread to be had: all of it here.
        }
    }
    if (!other.joinable()) {
        keyed = keyAndSort(0, count, NameCollator());
    } else {
        std::vector<Keyed> second = keyAndSort(half, count, NameCollator());
        other.join();
        keyed.reserve(count);
        std::merge(std::make_move_iterator(first.begin()), std::make_move_iterator(first.end()),
                   std::make_move_iterator(second.begin()), std::make_move_iterator(second.end()),
                   std::back_inserter(keyed), byKey);
    }
    nameRanks.resize(count);
    int rank = 0;
    for (size_t i = 0; i < count; ++i) {
        if (i > 0 && keyed[i].first.compare(keyed[i - 1].first) != 0)
            ++rank;
        nameRanks[size_t(keyed[i].second)] = rank;
    }
    if (sortColumn != NameColumn || sortOrder != Qt::AscendingOrder)
        return false;
    // ".." first, then folders, then files: each group in the names' order.
    sorted.clear();
    sorted.reserve(count);
    for (quint8 group : {0, 1, 2}) {
        for (const Keyed& entry : keyed) {
            if (groups[size_t(entry.second)] == group)
                sorted.push_back(entry.second);
        }
    }
    return true;
}

// What the column sorts by, as one number per item; all equal for the name column.
std::vector<qint64> PaneModel::ColumnKeys(int column) const
{
    std::vector<qint64> keys(items.size(), 0);
    switch (column) {
    case SizeColumn:
        // Folders have no size: among folders the names decide.
        for (size_t i = 0; i < items.size(); ++i)
            keys[i] = items[i].kind == PaneRowKind::File ? items[i].entry.size : 0;
        break;
    case TimeColumn:
        // The wall-clock date and time of the entry's own zone, which avoids a zone conversion
        // per row: one listing's times share their zone.
        for (size_t i = 0; i < items.size(); ++i) {
            const QDateTime& time = items[i].entry.modified;
            keys[i] = time.isValid() ? time.date().toJulianDay() * 86'400'000 + time.time().msecsSinceStartOfDay()
                                     : std::numeric_limits<qint64>::min();
        }
        break;
    case ModeColumn:
        for (size_t i = 0; i < items.size(); ++i)
            keys[i] = items[i].entry.mode;
        break;
    case OwnerColumn: {
        // A listing has few owners: each is placed once, its rows take its place.
        QHash<QString, qint64> places;
        for (const PaneRow& row : items)
            places.insert(row.entry.owner, 0);
        QStringList owners = places.keys();
        std::sort(owners.begin(), owners.end(), [](const QString& a, const QString& b) {
            const int c = a.compare(b, Qt::CaseInsensitive);
            return c != 0 ? c < 0 : a < b;
        });
        for (qsizetype i = 0; i < owners.size(); ++i)
            places[owners[i]] = i;
        for (size_t i = 0; i < items.size(); ++i)
            keys[i] = places.value(items[i].entry.owner);
        break;
    }
    default: break;
    }
    return keys;
}

// By the column's value; names settle ties (reversed only when the names are the column), and
// the listing's order settles equal names. Each row's place is packed into one small record
// first, so that the sort moves and compares those and never reaches into the rows.
void PaneModel::Order()
{
    const bool descending = sortOrder == Qt::DescendingOrder;
    const bool byName = sortColumn == NameColumn;
    const std::vector<qint64> keys = ColumnKeys(sortColumn);
    struct Place {
        quint32 group;
        qint64 value;
        quint64 nameAndIndex;  // the name's rank above the item's index
        bool operator<(const Place& other) const
        {
            return std::tie(group, value, nameAndIndex) < std::tie(other.group, other.value, other.nameAndIndex);
        }
    };
    // Ranks and indexes are ints: 32 bits each.
    constexpr int IndexBits = 32;
    constexpr quint64 LastRank = (quint64(1) << IndexBits) - 1;
    std::vector<Place> places(items.size());
    for (size_t i = 0; i < items.size(); ++i) {
        const quint64 rank = quint64(nameRanks[i]);
        places[i] = {groups[i], descending ? ~keys[i] : keys[i],
                     ((descending && byName ? LastRank - rank : rank) << IndexBits) | i};
    }
    std::sort(places.begin(), places.end());
    sorted.resize(items.size());
    for (size_t i = 0; i < places.size(); ++i)
        sorted[i] = int(places[i].nameAndIndex & LastRank);
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
        const PaneRow& row = items[size_t(item)];
        if (row.kind == PaneRowKind::Parent || Matches(row.entry.name))
            shown.push_back(item);
    }
}

int PaneModel::RowOfName(const QString& name) const
{
    for (size_t row = 0; row < shown.size(); ++row) {
        if (items[size_t(shown[row])].entry.name == name)
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
    if (!index.isValid() || index.row() >= RowCount())
        return Qt::NoItemFlags;
    Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    // The tree asks every row's flags on each layout: read the small group array, not the row.
    if (groups[size_t(shown[size_t(index.row())])] != 0)
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}
