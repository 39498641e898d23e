#pragma once

#include "mainwindow/pane_model.h"
#include "transfer/remote_entries.h"
#include "transfer/remote_names.h"

#include <QString>
#include <QStringView>

#include <vector>

class PaneView;

// The rows of a local folder ("/" or empty for the root, which has no ".."), each with what the
// entry is (name, kind, size, time, mode). Hidden entries are listed; "." and ".." of the folder
// are not. A link that leads to a folder is a folder row. False when the folder cannot be read:
// the rows then hold ".." alone.
bool ReadLocalFolder(const QString& folder, std::vector<PaneRow>& rows);
// Refills the local pane with them.
bool ListLocalFolder(PaneView& pane, const QString& folder);

// The remote pane's rows from an entry list: ".." and one row per entry (a folder entry is a
// folder row; a link stays a file row, opened by trying).
std::vector<PaneRow> RemoteRows(const RemoteEntryList& entries);
// Fills the remote pane from an entry list: formatting only, for the window's thread.
void ShowRemoteEntries(PaneView& pane, const RemoteEntryList& entries);
// Both from a listing text already fetched; a last line without a line feed counts.
void FillRemotePane(PaneView& pane, QStringView listing, RemoteEntryList& entries,
                    ListingFormat format = ListingFormat::Long);

class FtpSession;
// Lists the server's folder into the pane and the entry list (the usable lines in listing
// order); false when the listing failed, the pane then shows ".." alone.
bool ListRemoteFolder(PaneView& pane, const QString& folder, FtpSession& session, RemoteEntryList& entries);
