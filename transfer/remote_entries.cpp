#include "transfer/remote_entries.h"

#include "engine/ftp_session.h"

void ReadRemoteListing(QStringView listing, RemoteEntryList& entries, ListingFormat format, qsizetype maxEntries)
{
    entries.clear();
    entries.cut = ReadListingEntries(listing, format, maxEntries,
                                     [&](ListingEntry&& listed) { entries.append(std::move(listed)); });
}

ListingFormat LastListingFormat(const FtpSession& session)
{
    return session.LastListingIsMachine() ? ListingFormat::Machine : ListingFormat::Long;
}

void ReadSessionListing(const FtpSession& session, QStringView listing, RemoteEntryList& entries,
                        qsizetype maxEntries)
{
    ReadRemoteListing(listing, entries, LastListingFormat(session), maxEntries);
    entries.cut = entries.cut || session.LastListingCut();
}
