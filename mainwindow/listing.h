#pragma once

#include "mainwindow/remote_entry.h"

#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

class FtpSession;
class QListWidget;

// Display texts: a folder shows as "<name>", a file as its name, the parent as "..".
QString FolderDisplayText(const QString& name);
bool IsFolderDisplayText(const QString& text);

// One line of a remote listing (a final "\r" allowed) as an entry whose name has no brackets.
// Nothing for a line that names no usable entry: "total 12", ".", "..", an empty name or a name
// that contains "/" or NUL (no real folder holds one, and a path must never be built from it).
std::optional<RemoteEntry> ParseListingLine(QStringView line);

// Replaces the pane's texts in one go, sorted: ".." first, then folders, then files, each group
// without regard to case.
void FillPane(QListWidget& list, QStringList texts);

// Refills the pane with the entries of a local folder ("/" or empty for the root, which has no
// ".."). Hidden entries are listed; "." and ".." of the folder are not. False when the folder
// cannot be read.
bool ListLocalFolder(QListWidget& list, const QString& folder);

// Refills the remote pane and the entry list from the server's current folder. The entry list
// holds the usable lines in listing order, folder names in brackets, closed by the end marker.
void ListRemoteFolder(QListWidget& list, const QString& folder, FtpSession& session,
                      RemoteEntryList& entries);

// The same from a listing text already fetched; a last line without a line feed counts.
void FillRemotePane(QListWidget& list, QStringView listing, RemoteEntryList& entries);
