#pragma once

#include "transfer/remote_entries.h"

#include <QString>

// Paths and names on either side; "/" is the root on both.

// folder + "/" + name, or "/" + name at the root.
QString JoinPath(const QString& folder, const QString& name);
// True for a name that stays inside the folder it is joined to: not empty, not "." or "..",
// no "/" and no NUL.
bool IsPlainName(const QString& name);
// The index of the first entry of that kind (a folder, or anything else) whose name equals the
// name (case-sensitive); -1 when there is none. The kind matters: a folder and a file may share
// a name in a listing.
int FindEntry(const RemoteEntryList& entries, const QString& name, bool isFolder = false);
// True when the file entry of that name is a symbolic link (which may lead to a folder).
bool IsLinkEntry(const RemoteEntryList& entries, const QString& name);
