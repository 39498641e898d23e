#pragma once

#include "listing/listing_entry.h"

#include <QStringView>
#include <QVector>

class FtpSession;

// The entries of the latest remote listing, typed as the listing gave them, in listing order.
// Its size is its end: no entry stands for the end, since a server may list a file of any name.
// How an entry looks in a pane ("<name>" for a folder, the columns) is the window's business.
class RemoteEntryList : public QVector<ListingEntry> {
public:
    // Entries were left out: the listing was longer than a listing may be. A name not found may
    // still be on the server.
    bool cut = false;
    // The folder was made a moment ago by the batch that holds this list: it was empty then.
    bool madeNow = false;
};

// The entry list from a listing text, at most maxEntries of them (entries.cut says when more
// were left out). This is the parsing: it runs on the worker, with the listing's fetching.
void ReadRemoteListing(QStringView listing, RemoteEntryList& entries, ListingFormat format,
                       qsizetype maxEntries = MaxListingEntries);

// The format of the session's latest listing (MLSD or a long listing).
ListingFormat LastListingFormat(const FtpSession& session);

// The session's latest listing text read into entries; cut also when the session cut the text.
void ReadSessionListing(const FtpSession& session, QStringView listing, RemoteEntryList& entries,
                        qsizetype maxEntries = MaxListingEntries);
