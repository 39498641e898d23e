// Machine listings (MLSD, RFC 3659): facts, one blank, the name.
#include "engine/ftp_reply.h"
#include "listing/listing_entry.h"
#include "listing/listing_fields.h"

using namespace ListingFields;

std::optional<ListingEntry> ParseMachineLine(QStringView line)
{
    // "type=file;size=5;modify=20240115102200;UNIX.mode=0644; a name; with blanks": the facts,
    // one blank, and the name, which is everything after that blank.
    line = WithoutCr(line);
    const qsizetype blank = line.indexOf(u' ');
    if (blank < 0)
        return std::nullopt;
    ListingEntry entry;
    entry.name = line.mid(blank + 1).toString();
    bool modeSeen = false;
    // A name says more than a number: unix.ownername over UNIX.owner over unix.uid, whatever
    // order the facts come in.
    int ownerRank = 0;
    auto takeOwner = [&](QStringView value, int rank) {
        if (rank > ownerRank && !value.isEmpty()) {
            entry.owner = value.toString();
            ownerRank = rank;
        }
    };
    for (QStringView fact : line.left(blank).split(u';', Qt::SkipEmptyParts)) {
        const qsizetype equals = fact.indexOf(u'=');
        if (equals <= 0)
            return std::nullopt;  // not a machine listing line
        const QStringView key = fact.left(equals);
        const QStringView value = fact.mid(equals + 1);
        auto is = [&](QStringView name) { return key.compare(name, Qt::CaseInsensitive) == 0; };
        if (is(u"type")) {
            if (value.compare(u"cdir", Qt::CaseInsensitive) == 0 || value.compare(u"pdir", Qt::CaseInsensitive) == 0)
                return std::nullopt;
            if (value.compare(u"dir", Qt::CaseInsensitive) == 0) {
                entry.kind = EntryKind::Folder;
            } else if (value.startsWith(u"OS.unix=slink", Qt::CaseInsensitive) ||
                       value.startsWith(u"OS.unix=symlink", Qt::CaseInsensitive)) {
                entry.kind = EntryKind::Link;
                const qsizetype colon = value.indexOf(u':');
                if (colon >= 0)
                    entry.linkTarget = value.mid(colon + 1).toString();
            }
        } else if (is(u"size")) {
            if (IsDigits(value))
                entry.size = SizeValue(value);
        } else if (is(u"UNIX.ownername")) {
            takeOwner(value, 3);
        } else if (is(u"UNIX.owner")) {
            takeOwner(value, 2);
        } else if (is(u"UNIX.uid")) {
            takeOwner(value, 1);
        } else if (is(u"unique")) {
            entry.unique = value.toString();
        } else if (is(u"modify")) {
            entry.modified = ParseMachineTime(value);
            entry.exactTime = entry.modified.isValid();
        } else if (is(u"UNIX.mode")) {
            // "0644", "02775" (Pure-FTPd), "0o644" (pyftpdlib).
            QStringView digits = value;
            if (digits.startsWith(u"0o", Qt::CaseInsensitive))
                digits = digits.mid(2);
            bool ok = !digits.isEmpty() && digits.size() <= 6;
            int mode = 0;
            for (qsizetype i = 0; ok && i < digits.size(); ++i) {
                ok = digits[i] >= u'0' && digits[i] <= u'7';
                mode = mode * 8 + (digits[i].unicode() - u'0');
            }
            if (ok) {
                entry.mode = mode & 07777;
                modeSeen = true;
            }
        } else if (is(u"perm") && !modeSeen) {
            // Without a Unix mode the rights of this user stand for the owner's.
            const bool folder = entry.kind == EntryKind::Folder;
            int mode = 0;
            for (QChar c : value) {
                switch (c.toLower().unicode()) {
                case u'r': case u'l': mode |= 0400; break;
                case u'w': case u'a': case u'c': case u'm': mode |= 0200; break;
                case u'e': if (folder) mode |= 0100; break;
                default: break;
                }
            }
            entry.mode = mode;
        }
    }
    return Usable(std::move(entry));
}

