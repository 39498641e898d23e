#include "mainwindow/pane_entries.h"

#include <QItemSelectionModel>
#include <QListWidget>

#include <algorithm>

QString FolderNameOf(const QString& text)
{
    return text.mid(1, text.size() - 2);
}

QString JoinPath(const QString& folder, const QString& name)
{
    return folder == u"/" ? folder + name : folder + u'/' + name;
}

bool IsPlainName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar(0));
}

int FindEntry(const RemoteEntryList& entries, const QString& name, bool isFolder)
{
    for (int i = 0; i < entries.size(); ++i) {
        if (entries[i].name == name && (entries[i].isDirectory != 0) == isFolder)
            return i;
    }
    return -1;
}

bool IsLinkEntry(const RemoteEntryList& entries, const QString& name)
{
    const int index = FindEntry(entries, name);
    return index >= 0 && entries[index].listed.kind == EntryKind::Link;
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
