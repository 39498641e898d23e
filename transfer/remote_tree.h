#pragma once

#include "transfer/remote_entries.h"

#include <QList>
#include <QString>

class FtpSession;

// Whole remote folders, walked by entering each folder and listing it. Only what the listings
// call folders is entered, never "." or ".." or a name with "/" (the listing parser drops
// those); a link the listing shows as a link is an entry of its own and never entered. Servers
// whose machine listing shows a link as what it leads to give each folder's identity (the
// "unique" fact), and a folder met a second time is not entered again, so a loop ends; without
// either, a depth limit ends it. Where machine listings hide links, STAT (a long listing read
// with lstat) tells them apart, and a link is never entered.

// One folder of a walked tree: where it is and what its listing said.
struct RemoteTreeFolder {
    QString relative;  // below the walked folder: empty for that folder itself, else "a/b"
    QString path;      // on the server
    RemoteEntryList entries;
};

// The most entries one walk collects, all its folders' listings together: a tree beyond it
// stops the walk (tooLarge) before it fills the memory.
inline constexpr qint64 MaxWalkEntries = 1'000'000;

struct RemoteTree {
    QList<RemoteTreeFolder> folders;  // each folder before the folders it holds
    // The walk stopped because the tree holds more than maxEntries entries, or one of its
    // folders' listings was cut: what was collected is not the whole tree.
    bool tooLarge = false;
    qint64 files = 0;  // file entries, links left out
    qint64 bytes = 0;  // their listed sizes
    // Relative paths of the links, and of what was listed as a folder but not entered (met
    // before, too deep): neither is transferred; deleting removes them as links.
    QStringList notEntered;
    // The entries inside the walked folder, all levels down: what deleting it removes.
    qint64 Items() const { return folders.isEmpty() ? 0 : qint64(folders.size()) - 1 + files + notEntered.size(); }
};

// Lists the folder at the path and every folder below it, then enters returnTo again (also after
// a cancel, so that the window's folder stays the server's). unique is the folder's identity
// from its parent's listing, when known. A folder that is really a link gives a tree without
// folders. False when a listing failed, the walk was cancelled, or the tree was too large.
bool WalkRemoteTree(FtpSession& session, const QString& path, const QString& unique,
                    const QString& returnTo, RemoteTree& tree, qint64 maxEntries = MaxWalkEntries);

// Lists one remote folder into entries, then enters returnTo again. False when the folder could
// not be entered or listed, or not whole (a name missing from a cut listing may be there).
bool ListRemoteFolderAt(FtpSession& session, const QString& path, const QString& returnTo,
                        RemoteEntryList& entries);

// Enters the folder even after a cancel (briefly: a server that stopped answering is not waited
// for long). The cancel stays raised.
void ReturnToRemoteFolder(FtpSession& session, const QString& folder);

// The folder entries of a listing that a walk may enter, by their bare names.
bool IsWalkableFolder(const ListingEntry& entry);

// Deletes a walked tree, deepest folder first: each folder's files (DELE), then the folder (RMD).
// Links and folders not entered go by DELE, which removes a link and never what it leads to (a
// real folder refuses it, and then so does its parent's RMD). Stops at a cancel. False when
// anything stayed; failure then names the first path that stayed and why.
bool RemoveRemoteTree(FtpSession& session, const RemoteTree& tree, QString& failure);
