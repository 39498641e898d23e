#pragma once

#include "mainwindow/remote_entry.h"

#include <QList>
#include <QString>

class QListWidget;

// Names and paths built from the panes' display texts (listing.h) on either side; "/" is the
// root on both.

// The folder's name: the text without its first and last character.
QString FolderNameOf(const QString& text);
// folder + "/" + name, or "/" + name at the root.
QString JoinPath(const QString& folder, const QString& name);
// True for a name that stays inside the folder it is joined to: not empty, not "." or "..",
// no "/" and no NUL.
bool IsPlainName(const QString& name);
// The index of the first entry of that kind whose name equals the text (case-sensitive), walking
// until the closing entry; -1 when there is none. The kind matters: a file named "<x>" and the
// folder x have the same text.
int FindEntry(const RemoteEntryList& entries, const QString& name, bool isFolder = false);
// True when the file entry of that name is a symbolic link (which may lead to a folder).
bool IsLinkEntry(const RemoteEntryList& entries, const QString& name);
// The rows of a pane's selection in the order the pane shows them.
QList<int> SelectedRows(const QListWidget& list);
