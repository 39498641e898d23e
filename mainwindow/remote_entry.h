#pragma once

#include "listing/listing_entry.h"

#include <QString>
#include <QVector>

// One entry of a remote listing as the pane shows it: the display texts, and the typed values
// they were made from.
struct RemoteEntry {
    QString permissions;  // the mode string, e.g. "drwxr-xr-x"
    QString name;         // the display text: "<name>" for a folder, the bare name otherwise
    int isDirectory = 0;  // 1 for a folder
    QString size;         // the size column as text; "----" for a folder
    QString date;         // the date column, e.g. "Jan  1 12:34"
    ListingEntry listed = {};  // name, kind, size, time and mode as the listing gave them
};

// The entries of the latest remote listing, in listing order. Its size is its end: no entry
// stands for the end, since a server may list a file of any name.
class RemoteEntryList : public QVector<RemoteEntry> {
public:
    // Entries were left out: the listing was longer than a listing may be. A name not found may
    // still be on the server.
    bool cut = false;
};
