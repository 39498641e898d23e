#include "mainwindow/pane_view.h"

#include "mainwindow/pane_strings.h"
#include "settings/settings_store.h"

#include <QApplication>
#include <QDragEnterEvent>
#include <QElapsedTimer>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMimeData>
#include <QTreeView>
#include <QVBoxLayout>

#include <algorithm>

namespace {

const int DefaultWidths[] = {240, 80, 130, 90, 80};

bool IsFilterKey(const QKeyEvent* key)
{
    return key->keyCombination() == QKeyCombination(Qt::ControlModifier, Qt::Key_F);
}

}  // namespace

// The table itself: typing looks names up by their bare text, Ctrl+F opens the filter, and
// drops are read here and handed to the pane.
class PaneTree : public QTreeView {
public:
    explicit PaneTree(PaneView& pane) : QTreeView(&pane), pane(pane) {}

    void keyboardSearch(const QString& search) override
    {
        if (search.isEmpty()) {
            typed.clear();
            return;
        }
        // Letters typed in quick succession make one name; the same letter again steps on to
        // the next name that starts with it.
        const bool goOn = typedTimer.isValid() && typedTimer.elapsed() < QApplication::keyboardInputInterval();
        typedTimer.restart();
        typed = goOn ? typed + search : search;
        const bool oneLetterRepeated = typed.size() > 1 && typed.count(typed[0]) == typed.size();
        QString prefix = oneLetterRepeated ? typed.left(1) : typed;
        // Without a caret the search starts at the top, the first row included.
        const bool hasCaret = currentIndex().isValid();
        const int current = hasCaret ? currentIndex().row() : 0;
        const int from = hasCaret && (typed.size() == 1 || oneLetterRepeated) ? current + 1 : current;
        const int row = pane.model.RowStartingWith(prefix, from);
        if (row >= 0) {
            const QModelIndex index = pane.model.index(row, 0);
            selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            scrollTo(index);
        }
    }

protected:
    bool event(QEvent* event) override
    {
        // The pane's own Ctrl+F comes before any window-wide one while the pane has focus.
        if (event->type() == QEvent::ShortcutOverride && IsFilterKey(static_cast<QKeyEvent*>(event))) {
            event->accept();
            return true;
        }
        return QTreeView::event(event);
    }

    void keyPressEvent(QKeyEvent* event) override
    {
        if (IsFilterKey(event)) {
            pane.OpenFilter();
            return;
        }
        QTreeView::keyPressEvent(event);
    }

    void dragEnterEvent(QDragEnterEvent* event) override { Consider(event); }
    void dragMoveEvent(QDragMoveEvent* event) override { Consider(event); }

    void dropEvent(QDropEvent* event) override
    {
        const std::optional<PaneDrop> drop = Acceptable(event->mimeData());
        if (!drop) {
            event->ignore();
            return;
        }
        event->setDropAction(Qt::CopyAction);
        event->accept();
        emit pane.Dropped(*drop);
    }

private:
    // The other pane's rows or local files; never this pane's own rows.
    std::optional<PaneDrop> Acceptable(const QMimeData* data) const
    {
        if (!data)
            return std::nullopt;
        std::optional<PaneDrop> drop = PaneModel::ReadDrop(*data);
        if (drop && drop->fromPane && *drop->fromPane == pane.model.Side())
            return std::nullopt;
        return drop;
    }

    void Consider(QDragMoveEvent* event)
    {
        if (Acceptable(event->mimeData())) {
            event->setDropAction(Qt::CopyAction);
            event->accept();
        } else {
            event->ignore();
        }
    }

    PaneView& pane;
    QString typed;
    QElapsedTimer typedTimer;
};

PaneView::PaneView(PaneSide side, QWidget* parent) : QWidget(parent), model(side)
{
    tree = new PaneTree(*this);
    tree->setModel(&model);
    tree->setRootIsDecorated(false);
    tree->setUniformRowHeights(true);
    tree->setItemsExpandable(false);
    tree->setAllColumnsShowFocus(true);
    tree->setSelectionMode(QAbstractItemView::ExtendedSelection);
    tree->setSelectionBehavior(QAbstractItemView::SelectRows);
    tree->setDragEnabled(true);
    tree->setAcceptDrops(true);
    tree->setDragDropMode(QAbstractItemView::DragDrop);
    tree->setDefaultDropAction(Qt::CopyAction);
    tree->setDropIndicatorShown(false);
    tree->header()->setSectionsClickable(true);
    tree->header()->setSortIndicatorShown(true);

    filterField = new QLineEdit(this);
    filterField->setAccessibleName(PaneText::Filter);
    filterField->setPlaceholderText(PaneText::Filter);
    filterField->setClearButtonEnabled(true);
    filterField->hide();
    filterField->installEventFilter(this);
    connect(filterField, &QLineEdit::textChanged, this, [this](const QString& text) {
        model.SetFilter(text);
        if (model.RowCount() > 0)
            tree->selectionModel()->setCurrentIndex(model.index(0, 0), QItemSelectionModel::NoUpdate);
    });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(2);
    layout->addWidget(tree);
    layout->addWidget(filterField);
    setFocusProxy(tree);

    RestoreLayout();
    // Sorting on: a header click sorts by its column, a second click reverses.
    tree->setSortingEnabled(true);
    connect(tree->header(), &QHeaderView::sortIndicatorChanged, this, [this] { SaveSort(); });
    widthSaver.setSingleShot(true);
    widthSaver.setInterval(500);
    connect(&widthSaver, &QTimer::timeout, this, [this] { SaveWidths(); });
    connect(tree->header(), &QHeaderView::sectionResized, this, [this] {
        if (!restoring)
            widthSaver.start();
    });
    connect(tree, &QAbstractItemView::activated, this, [this](const QModelIndex& index) {
        emit RowActivated(index.row());
    });
}

PaneView::~PaneView()
{
    if (widthSaver.isActive())
        SaveWidths();
}

QTreeView& PaneView::Tree()
{
    return *tree;
}

const QTreeView& PaneView::Tree() const
{
    return *tree;
}

QString PaneView::SettingName(PaneSide side, const char* what)
{
    return (side == PaneSide::Local ? QStringLiteral("LocalPane") : QStringLiteral("RemotePane")) +
           QLatin1String(what);
}

void PaneView::RestoreLayout()
{
    restoring = true;
    const PaneSide side = model.Side();
    const QStringList widths = SettingsStore::ReadString(SettingName(side, "ColumnWidths")).split(u',');
    for (int column = 0; column < model.columnCount(); ++column) {
        bool ok = false;
        const int stored = column < widths.size() ? widths[column].toInt(&ok) : 0;
        tree->header()->resizeSection(column, ok && stored > 0 && stored < 10000 ? stored : DefaultWidths[column]);
    }
    int column = SettingsStore::ReadNumber(SettingName(side, "SortColumn"));
    if (column < 0 || column >= model.columnCount())
        column = PaneModel::NameColumn;
    const Qt::SortOrder order =
        SettingsStore::ReadNumber(SettingName(side, "SortOrder")) == 1 ? Qt::DescendingOrder : Qt::AscendingOrder;
    tree->header()->setSortIndicator(column, order);
    restoring = false;
}

void PaneView::SaveSort() const
{
    const PaneSide side = model.Side();
    SettingsStore::WriteNumber(SettingName(side, "SortColumn"), tree->header()->sortIndicatorSection());
    SettingsStore::WriteNumber(SettingName(side, "SortOrder"),
                               tree->header()->sortIndicatorOrder() == Qt::DescendingOrder ? 1 : 0);
}

void PaneView::SaveWidths() const
{
    QStringList widths;
    for (int column = 0; column < model.columnCount(); ++column)
        widths << QString::number(tree->header()->sectionSize(column));
    SettingsStore::WriteString(SettingName(model.Side(), "ColumnWidths"), widths.join(u','));
}

void PaneView::SetRows(std::vector<PaneRow> rows, const QString& folder)
{
    // No caret until the list gets the keyboard (it then takes the first row): "開" pressed
    // right after a fill must not open a row nobody chose.
    model.SetRows(std::move(rows), folder);
}

std::vector<PaneRow> PaneView::SelectedRows() const
{
    QModelIndexList selected = tree->selectionModel()->selectedRows(PaneModel::NameColumn);
    std::sort(selected.begin(), selected.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<PaneRow> rows;
    rows.reserve(size_t(selected.size()));
    for (const QModelIndex& index : selected)
        rows.push_back(model.RowAt(index.row()));
    return rows;
}

int PaneView::CurrentRow() const
{
    const QModelIndex current = tree->currentIndex();
    return current.isValid() ? current.row() : -1;
}

bool PaneView::SelectName(const QString& name)
{
    const int row = model.RowOfName(name);
    if (row < 0)
        return false;
    const QModelIndex index = model.index(row, 0);
    tree->selectionModel()->setCurrentIndex(index, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
    tree->scrollTo(index);
    return true;
}

bool PaneView::SetCurrentName(const QString& name)
{
    const int row = model.RowOfName(name);
    if (row < 0)
        return false;
    tree->selectionModel()->setCurrentIndex(model.index(row, 0), QItemSelectionModel::NoUpdate);
    tree->scrollTo(model.index(row, 0));
    return true;
}

void PaneView::SetListName(const QString& name)
{
    tree->setAccessibleName(name);
}

void PaneView::OpenFilter()
{
    filterField->show();
    filterField->setFocus(Qt::ShortcutFocusReason);
    filterField->selectAll();
}

void PaneView::CloseFilter()
{
    filterField->clear();
    filterField->hide();
    tree->setFocus(Qt::OtherFocusReason);
}

bool PaneView::eventFilter(QObject* watched, QEvent* event)
{
    // Esc in the filter field is the pane's, not a window-wide shortcut's.
    if (watched == filterField && (event->type() == QEvent::ShortcutOverride || event->type() == QEvent::KeyPress)) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
            event->accept();
            if (event->type() == QEvent::KeyPress)
                CloseFilter();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}
