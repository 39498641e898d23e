#pragma once

#include "transfer/remote_entries.h"

#include <QList>
#include <QVector>

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

class FtpSession;
class QListWidget;
class QListWidgetItem;

// Display texts: a folder shows as "<name>", a file as its name, the parent as "..". The text
// is drawn here only: handlers take the typed entries (PaneItem), never the text.
QString FolderDisplayText(const QString& name);

// What a pane entry stands for. It is kept on the item (PaneKindRole) because the display text
// alone cannot tell the folder "x" from a file that is really named "<x>".
enum class PaneEntryKind { File, Folder, Parent };
inline constexpr int PaneKindRole = Qt::UserRole;
// The index of the item's entry in the pane's entry list; -1 for the parent.
inline constexpr int PaneIndexRole = Qt::UserRole + 1;
struct PaneEntry {
    QString text;
    PaneEntryKind kind;
    int index = -1;
};
// A selected pane item as the handlers take it: the entry and what it stands for (the parent
// has an empty entry).
struct PaneItem {
    ListingEntry entry;
    PaneEntryKind kind = PaneEntryKind::File;
};
// The pane's selected items in the order the pane shows them, typed from the entry list the pane
// was filled from.
QList<PaneItem> SelectedItems(const QListWidget& list, const QVector<ListingEntry>& entries);
// The caret item (the one with the focus mark, selected or not); nothing when the pane is empty.
std::optional<PaneItem> CaretItem(const QListWidget& list, const QVector<ListingEntry>& entries);
// The kind recorded on the item; an item without one (or no item) counts as a file.
PaneEntryKind KindOf(const QListWidgetItem* item);

// Replaces the pane's entries in one go, sorted: ".." first, then folders, then files, each group
// without regard to case.
void FillPane(QListWidget& list, std::vector<PaneEntry> entries);

// Refills the pane with the entries of a local folder ("/" or empty for the root, which has no
// ".."), and entries with what each is (name, kind, size, time, mode). Hidden entries are
// listed; "." and ".." of the folder are not. A link that leads to a folder counts as a folder.
// False when the folder cannot be read.
bool ListLocalFolder(QListWidget& list, const QString& folder, QVector<ListingEntry>& entries);
bool ListLocalFolder(QListWidget& list, const QString& folder);

// Refills the remote pane and the entry list from the server's current folder. The entry list
// holds the usable lines in listing order.
// False when the listing failed: the pane then shows ".." alone.
bool ListRemoteFolder(QListWidget& list, const QString& folder, FtpSession& session,
                      RemoteEntryList& entries);

// Fills the remote pane from an entry list: formatting only, for the window's thread.
void ShowRemoteEntries(QListWidget& list, const RemoteEntryList& entries);

// Both from a listing text already fetched; a last line without a line feed counts.
void FillRemotePane(QListWidget& list, QStringView listing, RemoteEntryList& entries,
                    ListingFormat format = ListingFormat::Long);
