#pragma once

#include "mainwindow/remote_entry.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>
#include <vector>

class FtpSession;
class QListWidget;
class QListWidgetItem;

// Display texts: a folder shows as "<name>", a file as its name, the parent as "..".
QString FolderDisplayText(const QString& name);

// The pane's entry for what a listing line said; its name has no brackets.
RemoteEntry ToRemoteEntry(ListingEntry listed);

// One line of a remote listing (a final "\r" allowed) as an entry whose name has no brackets;
// nothing for a line that names no usable entry (see ParseListingEntry).
std::optional<RemoteEntry> ParseListingLine(QStringView line, ListingFormat format = ListingFormat::Long);

// What a pane entry stands for. It is kept on the item (PaneKindRole) because the display text
// alone cannot tell the folder "x" from a file that is really named "<x>".
enum class PaneEntryKind { File, Folder, Parent };
inline constexpr int PaneKindRole = Qt::UserRole;
struct PaneEntry {
    QString text;
    PaneEntryKind kind;
};
// The kind recorded on the item; an item without one (or no item) counts as a file.
PaneEntryKind KindOf(const QListWidgetItem* item);

// Replaces the pane's entries in one go, sorted: ".." first, then folders, then files, each group
// without regard to case.
void FillPane(QListWidget& list, std::vector<PaneEntry> entries);

// Refills the pane with the entries of a local folder ("/" or empty for the root, which has no
// ".."). Hidden entries are listed; "." and ".." of the folder are not. False when the folder
// cannot be read.
bool ListLocalFolder(QListWidget& list, const QString& folder);

// The format of the session's latest listing (MLSD or a long listing), for FillRemotePane.
ListingFormat LastListingFormat(const FtpSession& session);

// Refills the remote pane and the entry list from the server's current folder. The entry list
// holds the usable lines in listing order, folder names in brackets.
// False when the listing failed: the pane then shows ".." alone.
bool ListRemoteFolder(QListWidget& list, const QString& folder, FtpSession& session,
                      RemoteEntryList& entries);

// The entry list alone from a listing text, at most maxEntries of them (entries.cut says when
// more were left out). This is the parsing: it runs on the worker, with the listing's fetching.
void ReadRemoteListing(QStringView listing, RemoteEntryList& entries, ListingFormat format,
                       qsizetype maxEntries = MaxListingEntries);

// The session's latest listing text read into entries; cut also when the session cut the text.
void ReadSessionListing(const FtpSession& session, QStringView listing, RemoteEntryList& entries,
                        qsizetype maxEntries = MaxListingEntries);

// Fills the remote pane from an entry list: formatting only, for the window's thread.
void ShowRemoteEntries(QListWidget& list, const RemoteEntryList& entries);

// Both from a listing text already fetched; a last line without a line feed counts.
void FillRemotePane(QListWidget& list, QStringView listing, RemoteEntryList& entries,
                    ListingFormat format = ListingFormat::Long);
