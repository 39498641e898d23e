#include "mainwindow/pane_entries.h"

#include <QItemSelectionModel>
#include <QListWidget>

#include <algorithm>

QString FolderNameOf(const QString& text)
{
    return text.mid(1, text.size() - 2);
}

QList<int> SelectedRows(const QListWidget& list)
{
    // From the selection model: asking each selected item for its row is a search per item.
    QList<int> rows;
    for (const QModelIndex& index : list.selectionModel()->selectedIndexes())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}
