#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>
#include <QtGlobal>

#include <functional>
#include <optional>

// What a remote listing says about one entry of a folder, as typed values. Every listing format
// (Unix and MS-DOS long listings, MLSD) is read into this one shape; the panes only format it.
enum class EntryKind { File, Folder, Link };

// How the lines of a listing are to be read: a long listing (LIST, whose lines may be Unix or
// MS-DOS style, told apart line by line) or a machine listing (MLSD, RFC 3659).
enum class ListingFormat { Long, Machine };

struct ListingEntry {
    QString name;                     // the bare name, as the server spells it
    EntryKind kind = EntryKind::File;
    qint64 size = -1;                 // bytes; -1 when the listing gives none
    QDateTime modified;               // invalid when the listing gives none
    bool exactTime = false;           // modified is the server's own UTC time to the second (MLSD)
    int mode = -1;                    // permission bits with the special bits (07777); -1 unknown
    QString linkTarget;               // where a link points, when the listing says
    QString unique;                   // MLSD's "unique" fact: the same text for the same folder
                                      // or file on the server, whatever path reaches it
    QString owner;                    // the owner's name (or number) as the server gives it;
                                      // empty where the format has none (MS-DOS)

    // The texts a Unix long listing showed for mode, size and date; empty for the other
    // formats, whose texts are made from the values.
    QString listedMode;
    QString listedSize;
    QString listedDate;
    // The listed date left out the year or the time of day ("Jan 15 10:22", "Jan 15  2024"):
    // modified then holds a guessed year or midnight, and listedDate is what is really known.
    bool partialDate = false;

    // The mode column: "drwxr-xr-x" style, as listed or made from kind and mode; empty when the
    // listing gives no mode.
    QString ModeText() const;
    // The size column: as listed, or the number; empty when there is none.
    QString SizeText() const;
    // The date column: as listed, or "Jan 15 10:22" for the last half year and "Jan 15  2024"
    // for older times, in the local time of this machine when the time is UTC.
    QString DateText() const;
};

// One line of a listing (a final "\r" allowed). Nothing for a line that names no usable entry:
// a summary ("total 12"), ".", "..", the folder itself or its parent (MLSD's cdir and pdir), an
// empty name, a name with "/" or NUL (no real folder holds one, and a path must never be built
// from it), and a line whose shape is not understood (never guessed at).
std::optional<ListingEntry> ParseListingEntry(QStringView line, ListingFormat format);

// The most entries one listing gives: a server must not be able to fill the memory or the pane.
inline constexpr qsizetype MaxListingEntries = 1'000'000;

// Hands every usable entry of a listing text to take, in listing order, at most maxEntries of
// them; a last line without a line feed counts. True when entries were left out for the limit.
bool ReadListingEntries(QStringView text, ListingFormat format, qsizetype maxEntries,
                        const std::function<void(ListingEntry&&)>& take);

// The formats one by one.
std::optional<ListingEntry> ParseUnixLine(QStringView line);
std::optional<ListingEntry> ParseDosLine(QStringView line);
std::optional<ListingEntry> ParseMachineLine(QStringView line);

// "rwxr-xr-x" with special bits ("rwsr-sr-t") for the low 12 bits of a mode.
QString ModeBitsText(int mode);
// The mode bits of a "drwxr-xr-x" text; -1 when the text is not of that shape.
int ModeFromText(QStringView text);
