#pragma once

#include "listing/listing_entry.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>

// Cuts the bytes into listing lines as the remote pane does and parses each one both as a long
// listing (Unix or MS-DOS lines) and as a machine listing (MLSD). False when an entry breaks a
// rule the handlers build paths on: a name that is empty, ".", ".." or holds a "/", NUL or a line
// feed; a mode text that disagrees with the kind about being a folder; a size below -1.
inline bool ListingLinesHold(const std::uint8_t* data, std::size_t size)
{
    const QString listing = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (QStringView line : QStringView(listing).split(u'\n')) {
        for (ListingFormat format : {ListingFormat::Long, ListingFormat::Machine}) {
            const std::optional<ListingEntry> entry = ParseListingEntry(line, format);
            if (!entry)
                continue;
            const QString& name = entry->name;
            if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') ||
                name.contains(QChar::Null) || name.contains(u'\n'))
                return false;
            const QString mode = entry->ModeText();
            if (!mode.isEmpty() && mode.startsWith(u'd') != (entry->kind == EntryKind::Folder))
                return false;
            if (entry->size < -1 || entry->DateText().contains(u'\n') || entry->SizeText().contains(u'\n'))
                return false;
        }
    }
    return true;
}
