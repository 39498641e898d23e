#pragma once

#include "transfer/remote_names.h"

#include <QList>
#include <QString>

class QListWidget;

// The folder's name from its display text (listing.h): the text without its first and last
// character.
QString FolderNameOf(const QString& text);
// The rows of a pane's selection in the order the pane shows them.
QList<int> SelectedRows(const QListWidget& list);
