// The panes' model: the texts of each column, the order of rows, the filter and what a drag
// carries.
#include "mainwindow/pane_model.h"
#include "tests/support/qt_printers.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>
#include <QIcon>
#include <QMimeData>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

PaneRow Row(const QString& name, PaneRowKind kind = PaneRowKind::File, qint64 size = -1)
{
    PaneRow row;
    row.entry.name = name;
    row.kind = kind;
    row.entry.kind = kind == PaneRowKind::Folder ? EntryKind::Folder : EntryKind::File;
    row.entry.size = size;
    return row;
}

PaneRow Folder(const QString& name) { return Row(name, PaneRowKind::Folder); }
PaneRow Parent() { return Row(QStringLiteral(".."), PaneRowKind::Parent); }

QString Text(const PaneModel& model, int row, int column, int role = Qt::DisplayRole)
{
    return model.data(model.index(row, column), role).toString();
}

// The name column from top to bottom.
QStringList Names(const PaneModel& model)
{
    QStringList names;
    for (int row = 0; row < model.rowCount(); ++row)
        names << Text(model, row, PaneModel::NameColumn);
    return names;
}

QStringList Split(const char* names)
{
    return QString::fromUtf8(names).split(u' ');
}

TEST(PaneModelTest, ColumnsAndTheirTexts)
{
    PaneModel local(PaneSide::Local);
    PaneModel remote(PaneSide::Remote);
    EXPECT_EQ(local.columnCount(), 4);
    ASSERT_EQ(remote.columnCount(), 5);
    QStringList headings;
    for (int column = 0; column < 5; ++column)
        headings << remote.headerData(column, Qt::Horizontal).toString();
    EXPECT_EQ(headings, Split("名前 サイズ 更新日時 属性 所有者"));

    PaneRow folder = Folder(QStringLiteral("docs"));
    folder.entry.size = 4096;
    folder.entry.mode = 0755;
    folder.entry.owner = QStringLiteral("alice");
    PaneRow small = Row(QStringLiteral("small.txt"), PaneRowKind::File, 512);
    small.entry.modified = QDateTime(QDate(2026, 12, 7), QTime(19, 53));
    PaneRow kib = Row(QStringLiteral("kib.png"), PaneRowKind::File, 4096);
    kib.entry.modified = QDateTime(QDate(2026, 12, 7), QTime(10, 53), Qt::UTC);
    kib.entry.exactTime = true;
    PaneRow gib = Row(QStringLiteral("gib.iso"), PaneRowKind::File, 1288490189);
    gib.entry.modified = QDateTime(QDate(2025, 1, 15), QTime(0, 0));
    gib.entry.listedDate = QStringLiteral("Jan 15  2025");
    gib.entry.partialDate = true;
    PaneRow link = Row(QStringLiteral("link"), PaneRowKind::File, 7);
    link.entry.kind = EntryKind::Link;
    link.entry.linkTarget = QStringLiteral("/srv/data");
    PaneRow rounded = Row(QStringLiteral("rounded"));
    rounded.entry.listedSize = QStringLiteral("33.5k");
    remote.SetRows({gib, small, Parent(), link, folder, kib, rounded});

    ASSERT_EQ(Names(remote), Split(".. <docs> gib.iso kib.png link rounded small.txt"));
    // Folders show no size, whatever the listing said; files as a file manager shows them,
    // with the exact count in the tooltip.
    EXPECT_EQ(Text(remote, 1, PaneModel::SizeColumn), QString());
    EXPECT_EQ(Text(remote, 2, PaneModel::SizeColumn), QStringLiteral("1.2 GiB"));
    EXPECT_EQ(Text(remote, 3, PaneModel::SizeColumn), QStringLiteral("4.0 KiB"));
    EXPECT_EQ(Text(remote, 3, PaneModel::SizeColumn, Qt::ToolTipRole), QStringLiteral("4,096 バイト"));
    EXPECT_EQ(Text(remote, 5, PaneModel::SizeColumn), QStringLiteral("33.5k"));
    EXPECT_EQ(Text(remote, 6, PaneModel::SizeColumn), QStringLiteral("512 B"));
    EXPECT_EQ(PaneModel::SizeText(1023), QStringLiteral("1023 B"));
    EXPECT_EQ(PaneModel::SizeText(1024 * 1024 - 1), QStringLiteral("1.0 MiB"));
    // Times: local time to the minute; a date without its year or clock as listed.
    EXPECT_EQ(Text(remote, 6, PaneModel::TimeColumn), QStringLiteral("2026/12/07 19:53"));
    EXPECT_EQ(Text(remote, 3, PaneModel::TimeColumn),
              kib.entry.modified.toLocalTime().toString(QStringLiteral("yyyy/MM/dd HH:mm")));
    EXPECT_EQ(Text(remote, 2, PaneModel::TimeColumn), QStringLiteral("Jan 15  2025"));
    EXPECT_EQ(Text(remote, 1, PaneModel::ModeColumn), QStringLiteral("drwxr-xr-x"));
    EXPECT_EQ(Text(remote, 1, PaneModel::OwnerColumn), QStringLiteral("alice"));
    EXPECT_EQ(Text(remote, 4, PaneModel::NameColumn, Qt::ToolTipRole), QStringLiteral("リンク先: /srv/data"));
    EXPECT_EQ(Text(remote, 1, PaneModel::NameColumn, Qt::AccessibleTextRole), QStringLiteral("<docs>"));
    EXPECT_EQ(Text(remote, 1, PaneModel::NameColumn, PaneModel::NameRole), QStringLiteral("docs"));
    for (int row : {0, 1, 3})
        EXPECT_FALSE(remote.data(remote.index(row, 0), Qt::DecorationRole).value<QIcon>().isNull()) << row;
}

TEST(PaneModelTest, NamesInNaturalAndJapaneseOrder)
{
    PaneModel model(PaneSide::Remote);
    std::vector<PaneRow> rows;
    for (const QString& name : Split("file10 File1 file2 Banana apple かき アイス 一 亜 イチゴ さくら"))
        rows.push_back(Row(name));
    model.SetRows(rows);
    // Digits by value, case ignored, kana by their sounds whether hiragana or katakana, kana
    // before kanji, kanji in the order of the Japanese character set.
    EXPECT_EQ(Names(model), Split("apple Banana File1 file2 file10 アイス イチゴ かき さくら 亜 一"));
}

// A large folder's names are keyed in two halves at once and merged: the order is the same.
TEST(PaneModelTest, ALargeFolderInTheSameOrder)
{
    constexpr int Count = 30'000;
    std::vector<PaneRow> rows;
    for (int i = 0; i < Count; ++i)
        rows.push_back(Row(QStringLiteral("n%1").arg(unsigned(i) * 7919u % Count)));
    rows.push_back(Row(QStringLiteral("N5")));  // the same name to the collator: after "n5"
    PaneModel model(PaneSide::Local);
    model.SetRows(rows);
    ASSERT_EQ(model.RowCount(), Count + 1);
    QStringList expected;
    for (int i = 0; i < Count; ++i)
        expected << QStringLiteral("n%1").arg(i);
    expected.insert(6, QStringLiteral("N5"));
    EXPECT_EQ(Names(model), expected);
}

TEST(PaneModelTest, ParentAndFoldersFirstInEitherOrderOfEveryColumn)
{
    PaneModel model(PaneSide::Remote);
    std::vector<PaneRow> rows{Row(QStringLiteral("big"), PaneRowKind::File, 300),
                              Folder(QStringLiteral("b")),
                              Row(QStringLiteral("small"), PaneRowKind::File, 1),
                              Parent(),
                              Folder(QStringLiteral("a")),
                              Row(QStringLiteral("mid"), PaneRowKind::File, 20)};
    for (int i = 0; i < 6; ++i) {
        rows[size_t(i)].entry.modified = QDateTime(QDate(2020, 1, 1).addDays(i * 7 % 6), QTime(12, 0));
        rows[size_t(i)].entry.mode = 0600 + i;
        rows[size_t(i)].entry.owner = QString(QChar(u'z' - i));
    }
    model.SetRows(rows);
    EXPECT_EQ(Names(model), Split(".. <a> <b> big mid small"));
    model.sort(PaneModel::NameColumn, Qt::DescendingOrder);
    EXPECT_EQ(Names(model), Split(".. <b> <a> small mid big"));
    model.sort(PaneModel::SizeColumn, Qt::AscendingOrder);
    EXPECT_EQ(Names(model), Split(".. <a> <b> small mid big"));
    model.sort(PaneModel::SizeColumn, Qt::DescendingOrder);
    EXPECT_EQ(Names(model), Split(".. <a> <b> big mid small"));
    // Days, modes and owners differ from row to row, in another order each.
    model.sort(PaneModel::TimeColumn, Qt::DescendingOrder);
    EXPECT_EQ(Names(model), Split(".. <a> <b> mid small big"));
    model.sort(PaneModel::ModeColumn, Qt::AscendingOrder);
    EXPECT_EQ(Names(model), Split(".. <b> <a> big small mid"));
    model.sort(PaneModel::OwnerColumn, Qt::AscendingOrder);
    EXPECT_EQ(Names(model), Split(".. <a> <b> mid small big"));
    // A refill keeps the order chosen.
    model.SetRows(rows);
    EXPECT_EQ(Names(model), Split(".. <a> <b> mid small big"));
}

TEST(PaneModelTest, FilterWithWildcardsKeepsTheParent)
{
    PaneModel model(PaneSide::Local);
    model.SetRows({Parent(), Folder(QStringLiteral("Docs")), Row(QStringLiteral("a.txt")),
                   Row(QStringLiteral("B.TXT")), Row(QStringLiteral("xabcx")), Row(QStringLiteral("[x].md")),
                   Row(QStringLiteral("txt"))});
    model.SetFilter(QStringLiteral("doc"));
    EXPECT_EQ(Names(model), Split(".. <Docs>"));
    model.SetFilter(QStringLiteral("*.txt"));
    EXPECT_EQ(Names(model), Split(".. a.txt B.TXT"));
    model.SetFilter(QStringLiteral("a?c"));
    EXPECT_EQ(Names(model), Split(".. xabcx"));
    // Other pattern characters are plain text.
    model.SetFilter(QStringLiteral("[x]"));
    EXPECT_EQ(Names(model), Split(".. [x].md"));
    model.SetFilter(QStringLiteral("t?t"));
    model.sort(PaneModel::NameColumn, Qt::DescendingOrder);
    EXPECT_EQ(Names(model), Split(".. txt B.TXT a.txt"));
    EXPECT_EQ(model.RowOfName(QStringLiteral("xabcx")), -1);
    model.SetFilter(QString());
    EXPECT_EQ(model.rowCount(), 7);
}

TEST(PaneModelTest, DraggedRowsAndWhatADropHolds)
{
    PaneModel local(PaneSide::Local);
    local.SetRows({Parent(), Folder(QStringLiteral("sub")), Row(QStringLiteral("a b.txt"))},
                  QStringLiteral("/home/u/資料"));
    // Every cell of the rows comes, ".." with them: one entry per row, ".." left out.
    QModelIndexList cells{local.index(2, 1), local.index(0, 0), local.index(2, 0), local.index(1, 3)};
    std::unique_ptr<QMimeData> data(local.mimeData(cells));
    ASSERT_TRUE(data);
    EXPECT_EQ(data->urls(), (QList<QUrl>{QUrl::fromLocalFile(QStringLiteral("/home/u/資料/sub")),
                                         QUrl::fromLocalFile(QStringLiteral("/home/u/資料/a b.txt"))}));
    std::optional<PaneDrop> drop = PaneModel::ReadDrop(*data);
    ASSERT_TRUE(drop && drop->fromPane);
    EXPECT_EQ(*drop->fromPane, PaneSide::Local);
    ASSERT_EQ(drop->rows.size(), 2u);
    EXPECT_EQ(drop->rows[0].entry.name, QStringLiteral("sub"));
    EXPECT_EQ(drop->rows[0].kind, PaneRowKind::Folder);
    EXPECT_EQ(drop->rows[1].entry.name, QStringLiteral("a b.txt"));
    EXPECT_EQ(drop->rows[1].kind, PaneRowKind::File);
    EXPECT_EQ(local.mimeData({local.index(0, 0)}), nullptr);

    // Remote rows carry no URIs.
    PaneModel remote(PaneSide::Remote);
    remote.SetRows({Row(QStringLiteral("r"))});
    std::unique_ptr<QMimeData> remoteData(remote.mimeData({remote.index(0, 0)}));
    EXPECT_FALSE(remoteData->hasUrls());
    EXPECT_EQ(*PaneModel::ReadDrop(*remoteData)->fromPane, PaneSide::Remote);

    // From a file manager: local files only.
    QMimeData outside;
    outside.setUrls({QUrl(QStringLiteral("file:///tmp/x y")), QUrl(QStringLiteral("https://example.org/z"))});
    drop = PaneModel::ReadDrop(outside);
    ASSERT_TRUE(drop);
    EXPECT_FALSE(drop->fromPane);
    EXPECT_EQ(drop->localPaths, QStringList{QStringLiteral("/tmp/x y")});
    QMimeData web;
    web.setUrls({QUrl(QStringLiteral("https://example.org/z"))});
    EXPECT_FALSE(PaneModel::ReadDrop(web));

    // Rows of another process, or cut short, are not taken for this window's.
    QByteArray foreign;
    QDataStream(&foreign, QIODevice::WriteOnly) << quint32(1) << qint64(QCoreApplication::applicationPid() + 1)
                                                << qint32(1) << quint32(1) << QStringLiteral("r") << qint32(0);
    QMimeData other;
    other.setData(PaneModel::RowsMimeType, foreign);
    EXPECT_FALSE(PaneModel::ReadDrop(other));
    QByteArray cut = remoteData->data(PaneModel::RowsMimeType);
    cut.chop(6);
    QMimeData shortened;
    shortened.setData(PaneModel::RowsMimeType, cut);
    EXPECT_FALSE(PaneModel::ReadDrop(shortened));
}

}  // namespace
