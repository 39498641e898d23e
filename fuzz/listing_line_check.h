#pragma once

#include "mainwindow/listing.h"

#include <QString>
#include <QStringView>

#include <cstddef>
#include <cstdint>

// Cuts the bytes into listing lines as the remote pane does and parses each one. False when an
// entry breaks a rule the handlers build paths on: a name that is empty, ".", ".." or holds a
// "/", NUL or a line feed, or a folder without the folder size.
inline bool ListingLinesHold(const std::uint8_t* data, std::size_t size)
{
    const QString listing = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    for (QStringView line : QStringView(listing).split(u'\n')) {
        const std::optional<RemoteEntry> entry = ParseListingLine(line);
        if (!entry)
            continue;
        const QString& name = entry->name;
        if (name.isEmpty() || name == u"." || name == u".." || name.contains(u'/') ||
            name.contains(QChar::Null) || name.contains(u'\n'))
            return false;
        if (entry->isDirectory != (entry->permissions.startsWith(u'd') ? 1 : 0))
            return false;
        if (entry->isDirectory && entry->size != u"----")
            return false;
    }
    return true;
}
