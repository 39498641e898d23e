#pragma once

#include "mainwindow/pane_model.h"

#include <QTimer>
#include <QWidget>

#include <vector>

class QLineEdit;
class QTreeView;
class PaneTree;

// One pane of the window: its rows in a table (sortable by any column, several rows selectable)
// and a filter field that Ctrl+F opens while the pane has focus and Esc clears and closes.
// Sort column, order and column widths are kept per pane in the settings store. Rows dragged
// out carry their names (and local rows their file URIs); what is dropped on the pane (the
// other pane's rows, or local files from elsewhere) comes out typed through Dropped, and the
// window decides what to do with it.
class PaneView : public QWidget {
    Q_OBJECT
public:
    explicit PaneView(PaneSide side, QWidget* parent = nullptr);
    ~PaneView() override;

    PaneModel& Model() { return model; }
    const PaneModel& Model() const { return model; }
    QTreeView& Tree();
    const QTreeView& Tree() const;
    QLineEdit& FilterField() { return *filterField; }

    // Replaces the rows (see PaneModel::SetRows); no caret and nothing selected until the
    // person picks a row or the list gets the keyboard; the filter stays.
    void SetRows(std::vector<PaneRow> rows, const QString& folder = {});
    int RowCount() const { return model.RowCount(); }

    // The selected rows, in the order the pane shows them.
    std::vector<PaneRow> SelectedRows() const;
    // The caret's row; -1 when there is none.
    int CurrentRow() const;
    // Selects that row alone and puts the caret on it; false when no shown row has the name.
    bool SelectName(const QString& name);
    // Puts the caret on that row, leaving the selection as it is.
    bool SetCurrentName(const QString& name);

    // The list's accessible name ("ローカル" / "リモート"), given by the window.
    void SetListName(const QString& name);

    void OpenFilter();
    void CloseFilter();

    // The stored values' names: "LocalPaneSortColumn", "RemotePaneColumnWidths" ...
    static QString SettingName(PaneSide side, const char* what);

signals:
    void Dropped(const PaneDrop& drop);
    // A row was double-clicked or Enter was pressed on it.
    void RowActivated(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    friend class PaneTree;
    void RestoreLayout();
    void SaveSort() const;
    void SaveWidths() const;

    PaneModel model;
    PaneTree* tree = nullptr;
    QLineEdit* filterField = nullptr;
    QTimer widthSaver;
    bool restoring = false;
};
