// The pane view: typing names, the filter field, the selection as the window reads it, drops
// and what it remembers of its columns.
#include "mainwindow/pane_view.h"
#include "tests/support/qt_printers.h"
#include "tests/support/temp_config_dir.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QApplication>
#include <QMimeData>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTest>
#include <QTreeView>
#include <QUrl>

#include <gtest/gtest.h>

#include <memory>

namespace {

PaneRow Row(const QString& name, PaneRowKind kind = PaneRowKind::File)
{
    PaneRow row;
    row.entry.name = name;
    row.kind = kind;
    return row;
}

std::vector<PaneRow> SampleRows()
{
    return {Row(QStringLiteral(".."), PaneRowKind::Parent), Row(QStringLiteral("docs"), PaneRowKind::Folder),
            Row(QStringLiteral("data"), PaneRowKind::Folder), Row(QStringLiteral("a.txt")),
            Row(QStringLiteral("dump.bin")), Row(QStringLiteral("z.txt"))};
}

QStringList NamesOf(const std::vector<PaneRow>& rows)
{
    QStringList names;
    for (const PaneRow& row : rows)
        names << row.entry.name;
    return names;
}

class PaneViewTest : public ::testing::Test {
protected:
    TempConfigDir config;
};

TEST_F(PaneViewTest, TypingFindsNamesWithoutTheirBrackets)
{
    // Letters count as one name while they come within the interval: a loaded machine must not
    // split them, so the interval is made long and a new name is begun explicitly below.
    const int interval = QApplication::keyboardInputInterval();
    QApplication::setKeyboardInputInterval(600'000);
    const auto restore = qScopeGuard([interval] { QApplication::setKeyboardInputInterval(interval); });
    PaneView pane(PaneSide::Local);
    pane.SetRows(SampleRows());  // .. <data> <docs> a.txt dump.bin z.txt
    pane.Tree().keyboardSearch(QStringLiteral("d"));
    EXPECT_EQ(pane.CurrentRow(), 1);
    pane.Tree().keyboardSearch(QStringLiteral("o"));
    EXPECT_EQ(pane.CurrentRow(), 2);
    // A new search (the view starts one after a pause) steps on to the next name with the
    // letter, and so does the same letter typed again.
    for (int expected : {4, 1, 2}) {
        pane.Tree().keyboardSearch(QString());
        pane.Tree().keyboardSearch(QStringLiteral("d"));
        EXPECT_EQ(pane.CurrentRow(), expected);
    }
    pane.Tree().keyboardSearch(QStringLiteral("d"));
    EXPECT_EQ(pane.CurrentRow(), 4);
    EXPECT_EQ(NamesOf(pane.SelectedRows()), QStringList{QStringLiteral("dump.bin")});
}

TEST_F(PaneViewTest, SelectionInViewOrderAndRowsByName)
{
    PaneView pane(PaneSide::Remote);
    pane.SetRows(SampleRows());
    EXPECT_EQ(pane.RowCount(), 6);
    EXPECT_EQ(pane.CurrentRow(), -1);
    ASSERT_TRUE(pane.SelectName(QStringLiteral("z.txt")));
    auto* selection = pane.Tree().selectionModel();
    selection->select(pane.Model().index(1, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
    EXPECT_EQ(NamesOf(pane.SelectedRows()), (QStringList{QStringLiteral("data"), QStringLiteral("z.txt")}));
    EXPECT_EQ(pane.SelectedRows()[0].kind, PaneRowKind::Folder);
    // A new order keeps the selection and the caret on their rows.
    pane.Tree().sortByColumn(PaneModel::NameColumn, Qt::DescendingOrder);
    EXPECT_EQ(NamesOf(pane.SelectedRows()), (QStringList{QStringLiteral("data"), QStringLiteral("z.txt")}));
    EXPECT_EQ(pane.Model().RowAt(pane.CurrentRow()).entry.name, QStringLiteral("z.txt"));
    ASSERT_TRUE(pane.SetCurrentName(QStringLiteral("a.txt")));
    EXPECT_EQ(pane.Model().RowAt(pane.CurrentRow()).entry.name, QStringLiteral("a.txt"));
    EXPECT_EQ(pane.SelectedRows().size(), 2u);
    EXPECT_FALSE(pane.SelectName(QStringLiteral("missing")));
    pane.SetListName(QStringLiteral("リモート"));
    EXPECT_EQ(pane.Tree().accessibleName(), QStringLiteral("リモート"));
}

TEST_F(PaneViewTest, CtrlFOpensTheFilterAndEscClearsAndClosesIt)
{
    PaneView pane(PaneSide::Local);
    pane.SetRows(SampleRows());
    pane.show();
    EXPECT_TRUE(pane.FilterField().isHidden());
    EXPECT_EQ(pane.FilterField().accessibleName(), QStringLiteral("絞り込み"));
    QTest::keyClick(&pane.Tree(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_FALSE(pane.FilterField().isHidden());
    QTest::keyClicks(&pane.FilterField(), QStringLiteral("D*T"));
    EXPECT_EQ(pane.RowCount(), 2);  // "..", "<data>"
    QTest::keyClick(&pane.FilterField(), Qt::Key_Escape);
    EXPECT_TRUE(pane.FilterField().isHidden());
    EXPECT_EQ(pane.FilterField().text(), QString());
    EXPECT_EQ(pane.RowCount(), 6);
}

// A drop arrives only where the drag's entry was accepted, as on a screen.
void Drop(PaneView& pane, QMimeData& data)
{
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pane.Tree().viewport(), &enter);
    if (!enter.isAccepted())
        return;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction | Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(pane.Tree().viewport(), &drop);
}

TEST_F(PaneViewTest, DropsOfTheOtherPaneAndOfLocalFilesComeOutTyped)
{
    PaneView local(PaneSide::Local);
    PaneView remote(PaneSide::Remote);
    local.SetRows(SampleRows(), QStringLiteral("/srv"));
    remote.SetRows(SampleRows());
    QSignalSpy localDrops(&local, &PaneView::Dropped);
    QSignalSpy remoteDrops(&remote, &PaneView::Dropped);
    local.SelectName(QStringLiteral("docs"));
    const std::unique_ptr<QMimeData> dragged(
        local.Model().mimeData(local.Tree().selectionModel()->selectedIndexes()));
    ASSERT_TRUE(dragged);
    ASSERT_TRUE(PaneModel::ReadDrop(*dragged)) << dragged->formats().join(u' ').toStdString();
    Drop(local, *dragged);  // onto its own pane: nothing
    EXPECT_EQ(localDrops.count(), 0);
    Drop(remote, *dragged);
    ASSERT_EQ(remoteDrops.count(), 1);
    const auto drop = remoteDrops[0][0].value<PaneDrop>();
    EXPECT_EQ(drop.fromPane, PaneSide::Local);
    ASSERT_EQ(drop.rows.size(), 1u);
    EXPECT_EQ(drop.rows[0].entry.name, QStringLiteral("docs"));
    EXPECT_EQ(drop.rows[0].kind, PaneRowKind::Folder);

    QMimeData files;
    files.setUrls({QUrl::fromLocalFile(QStringLiteral("/home/u/写真.jpg"))});
    Drop(local, files);
    ASSERT_EQ(localDrops.count(), 1);
    EXPECT_EQ(localDrops[0][0].value<PaneDrop>().localPaths, QStringList{QStringLiteral("/home/u/写真.jpg")});
}

TEST_F(PaneViewTest, SortAndWidthsAreKeptPerPane)
{
    {
        PaneView remote(PaneSide::Remote);
        remote.Tree().header()->setSortIndicator(PaneModel::SizeColumn, Qt::DescendingOrder);
        remote.Tree().header()->resizeSection(PaneModel::OwnerColumn, 123);
    }
    PaneView remote(PaneSide::Remote);
    EXPECT_EQ(remote.Model().SortColumn(), PaneModel::SizeColumn);
    EXPECT_EQ(remote.Model().SortOrder(), Qt::DescendingOrder);
    EXPECT_EQ(remote.Tree().header()->sortIndicatorSection(), PaneModel::SizeColumn);
    EXPECT_EQ(remote.Tree().header()->sectionSize(PaneModel::OwnerColumn), 123);
    PaneView local(PaneSide::Local);
    EXPECT_EQ(local.Model().SortColumn(), PaneModel::NameColumn);
    EXPECT_EQ(local.Model().SortOrder(), Qt::AscendingOrder);
}

}  // namespace
