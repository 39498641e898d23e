// Unix long listings (ls -l as servers print it): mode, links, owner, group, size, date, name,
// with the columns servers leave out or run together, and dates in every locale's form.
#include "listing/listing_date.h"
#include "listing/listing_entry.h"
#include "listing/listing_fields.h"

using namespace ListingFields;

namespace {

// "drwxr-xr-x", also with the "+" or "." ls adds for ACLs and security contexts.
bool IsModeText(QStringView s)
{
    static const QStringView Types = u"-dlbcps";
    if (s.size() == 11 && (s.back() == u'+' || s.back() == u'.' || s.back() == u'@'))
        s.chop(1);
    return s.size() == 10 && Types.contains(s[0]) && ModeFromText(s) >= 0;
}

// "33.5k", "12M", "2KB": a size rounded to a unit, which tells no exact byte count.
bool IsRoundedSize(QStringView s)
{
    if (s.endsWith(u'B', Qt::CaseInsensitive))
        s.chop(1);
    if (s.size() < 2 || !QStringView(u"kKmMgGtT").contains(s.back()))
        return false;
    s.chop(1);
    const qsizetype dot = s.indexOf(u'.');
    return dot < 0 ? IsDigits(s) : IsDigits(s.left(dot)) && IsDigits(s.mid(dot + 1));
}

struct SizeField {
    int field = -1;       // where the size stands; -1: not a long-listing line
    qsizetype begin = 0;  // the size's text within the line
    qsizetype end = 0;
    ListedDate date;      // what follows it
};

// The size field of a long listing (the size right before its date).
SizeField FindSizeField(const Fields& f)
{
    const int count = f.Count();
    SizeField found;
    auto isSizeField = [&](int i) {
        if (i + 2 >= count || !(IsDigits(f[i]) || IsRoundedSize(f[i])))
            return false;
        found = {i, f.Begin(i), f.End(i), ReadListedDate(f, i + 1)};
        return found.date.fields > 0;
    };
    // The usual places first: after mode, links, owner and group, or with no group. A named
    // owner beside a small numeric group ("ftp 50 1024 Dec ...") would look like a date earlier
    // on. Neither place can match falsely when the size stands at the other: a month has a letter.
    for (int i : {4, 3}) {
        if (isSizeField(i))
            return found;
    }
    // Elsewhere: no owner or group ("-r--r--r-- 0125039 12 Nov 11 2005 f"), a domain before them.
    for (int i = 1; i + 2 < count; ++i) {
        if (isSizeField(i))
            return found;
    }
    // A group that fills its column runs into the size ("longgroup123456 Feb 12 17:20"): the
    // digits after the last letter are the size. Only on lines whose mode says they are ls's.
    if (count > 0 && IsModeText(f[0])) {
        for (int i = 2; i + 2 < count; ++i) {
            const QStringView field = f[i];
            qsizetype digits = field.size();
            while (digits > 0 && IsDigit(field[digits - 1]))
                --digits;
            if (digits == 0 || digits == field.size() || !field[digits - 1].isLetter())
                continue;
            const ListedDate date = ReadListedDate(f, i + 1);
            if (date.fields > 0)
                return {i, f.Begin(i) + digits, f.End(i), date};
        }
    }
    return {};
}

// "drwxr-xr-x 3 owner group 512 name": no date at all. Read only when nothing after the size
// could be a date that was not understood, which would otherwise become part of the name.
SizeField DatelessSizeField(const Fields& f)
{
    if (f.Count() < 6 || !IsModeText(f[0]) || !IsDigits(f[1]) || !IsDigits(f[4]))
        return {};
    for (int i = 5; i < f.Count() && i < 8; ++i) {
        if (LooksLikeDatePart(f[i]))
            return {};
    }
    return {4, f.Begin(4), f.End(4), {}};
}

// The owner column: the first field after the mode and the link count (NetWare's bracketed
// rights stand where the link count would), if it comes before the size. Lines without an owner
// ("-r--r--r-- 0125039 12 Nov ...") have the size there.
QString OwnerField(const Fields& f, int sizeField)
{
    int at = 1;
    if (at < f.Count() && (IsDigits(f[at]) || f[at].startsWith(u'[')))
        ++at;
    return at < sizeField ? f[at].toString() : QString();
}

// Whether a listed date gave both its year and its time of day: a clock has a colon, and a
// year is four digits in a row (no day, month or clock field has four).
bool GivesYearAndClock(QStringView date)
{
    if (!date.contains(u':'))
        return false;
    qsizetype run = 0;
    for (qsizetype i = 0; i <= date.size(); ++i) {
        if (i < date.size() && IsDigit(date[i])) {
            ++run;
            continue;
        }
        if (run == 4)
            return true;
        run = 0;
    }
    return false;
}

bool IsSummaryLine(const Fields& f)
{
    return f.Count() == 2 && IsDigits(f[1]) && (f[0] == u"total" || f[0] == u"合計");
}

}  // namespace

std::optional<ListingEntry> ParseUnixLine(QStringView line)
{
    line = WithoutCr(line);
    const Fields fields(line);
    if (IsSummaryLine(fields))
        return std::nullopt;
    SizeField size = FindSizeField(fields);
    if (size.field < 0)
        size = DatelessSizeField(fields);
    if (size.field < 0)
        return std::nullopt;

    ListingEntry entry;
    entry.owner = OwnerField(fields, size.field);
    // The mode is the first word: STAT replies (and a few LIST lines) indent each line.
    qsizetype modeBegin = 0;
    while (modeBegin < line.size() && line[modeBegin] == u' ')
        ++modeBegin;
    const qsizetype modeEnd = line.indexOf(u' ', modeBegin);
    if (modeEnd > modeBegin)
        entry.listedMode = line.mid(modeBegin, modeEnd - modeBegin).toString();
    if (entry.listedMode.startsWith(u'd'))
        entry.kind = EntryKind::Folder;
    else if (entry.listedMode.startsWith(u'l'))
        entry.kind = EntryKind::Link;
    entry.mode = ModeFromText(entry.listedMode);

    const QStringView sizeText = line.mid(size.begin, size.end - size.begin);
    // A rounded size ("33.5k") is shown as listed but gives no byte count: a resume or a
    // progress figure built on it would be wrong.
    entry.size = IsDigits(sizeText) ? SizeValue(sizeText) : -1;
    if (entry.kind != EntryKind::Folder)
        entry.listedSize = sizeText.toString();

    qsizetype nameBegin = fields.End(size.field) + 1;
    if (size.date.fields > 0) {
        const qsizetype dateBegin = fields.Begin(size.field + 1);
        const qsizetype dateEnd = fields.End(size.field + size.date.fields);
        entry.listedDate = line.mid(dateBegin, dateEnd - dateBegin).toString();
        entry.modified = size.date.time;
        entry.partialDate = !GivesYearAndClock(entry.listedDate);
        nameBegin = dateEnd + 1;
        // A date of one field without a time of day ("2004.07.15   name") leaves the time's
        // column blank, and servers whose mode column is not ls's (NetWare: "d [R----F--]")
        // pad the date's: the name starts after the blanks.
        if (size.date.fields == 1 || !IsModeText(fields[0])) {
            while (nameBegin < line.size() && line[nameBegin] == u' ')
                ++nameBegin;
        }
    }

    // The name is everything after the one blank that follows the date, blanks included.
    QStringView name = line.mid(std::min(nameBegin, line.size()));
    if (entry.kind == EntryKind::Link) {
        const qsizetype arrow = name.indexOf(u" -> ");
        if (arrow >= 0) {
            entry.linkTarget = name.mid(arrow + 4).toString();
            name = name.left(arrow);
        }
    }
    entry.name = name.toString();
    return Usable(std::move(entry));
}
