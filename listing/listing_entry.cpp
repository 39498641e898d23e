#include "listing/listing_entry.h"

#include "engine/ftp_reply.h"

#include <QLocale>
#include <QTimeZone>

#include <algorithm>
#include <limits>

namespace {

struct Token {
    qsizetype begin;
    qsizetype end;  // one past the last character
};

// The blank-separated fields at the front of the line; enough of them to reach the date of a
// long listing (mode, links, owner, group, size, and a date of up to four fields) with a little
// room.
constexpr int FieldsToScan = 10;

int SplitFields(QStringView line, Token* tokens)
{
    int count = 0;
    qsizetype pos = 0;
    const qsizetype length = line.size();
    while (count < FieldsToScan) {
        while (pos < length && line[pos] == u' ')
            ++pos;
        if (pos == length)
            break;
        qsizetype begin = pos;
        while (pos < length && line[pos] != u' ')
            ++pos;
        tokens[count++] = {begin, pos};
    }
    return count;
}

bool IsDigits(QStringView s)
{
    return !s.isEmpty() && std::all_of(s.begin(), s.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

int DigitsValue(QStringView s)
{
    int value = 0;
    for (QChar c : s)
        value = value * 10 + (c.unicode() - u'0');
    return value;
}

// "Dec", "déc.", "12月": short, with a letter, not a time.
bool LooksLikeMonth(QStringView s)
{
    return s.size() <= 6 && !s.contains(u':') &&
           std::any_of(s.begin(), s.end(), [](QChar c) { return c.isLetter(); });
}

bool LooksLikeDay(QStringView s)
{
    return s.size() <= 2 && IsDigits(s);
}

bool IsYear(QStringView s)
{
    return s.size() == 4 && IsDigits(s);
}

// "06:00" or "6:00"; with seconds "06:00:59" when allowed.
bool IsClock(QStringView s, bool withSeconds)
{
    const qsizetype colon = s.indexOf(u':');
    if (colon < 1 || colon > 2 || !IsDigits(s.left(colon)))
        return false;
    const QStringView rest = s.mid(colon + 1);
    if (!withSeconds)
        return rest.size() == 2 && IsDigits(rest);
    return rest.size() == 5 && IsDigits(rest.left(2)) && rest[2] == u':' && IsDigits(rest.mid(3));
}

// "2024-01-15".
bool IsIsoDate(QStringView s)
{
    return s.size() == 10 && IsDigits(s.left(4)) && s[4] == u'-' && IsDigits(s.mid(5, 2)) && s[7] == u'-' &&
           IsDigits(s.mid(8));
}

// "12:34", "12:34:56" or "12:34:56.123456789".
bool IsIsoTime(QStringView s)
{
    const qsizetype dot = s.indexOf(u'.');
    const QStringView clock = dot < 0 ? s : s.left(dot);
    if (dot >= 0 && !IsDigits(s.mid(dot + 1)))
        return false;
    return IsClock(clock, false) || (dot < 0 && IsClock(clock, true)) || (dot >= 0 && IsClock(clock, true));
}

// "+0100" or "-0500".
bool IsZone(QStringView s)
{
    return s.size() == 5 && (s[0] == u'+' || s[0] == u'-') && IsDigits(s.mid(1));
}

// The month of "Jan" .. "Dec" (any case) or "1月" .. "12月"; 0 for anything else.
int MonthNumber(QStringView s)
{
    static const char16_t* const Names[] = {u"jan", u"feb", u"mar", u"apr", u"may", u"jun",
                                            u"jul", u"aug", u"sep", u"oct", u"nov", u"dec"};
    for (int i = 0; i < 12; ++i) {
        if (s.compare(QStringView(Names[i]), Qt::CaseInsensitive) == 0)
            return i + 1;
    }
    if (s.endsWith(u'月') && IsDigits(s.chopped(1))) {
        const int month = DigitsValue(s.chopped(1));
        return month >= 1 && month <= 12 ? month : 0;
    }
    return 0;
}

QTime ClockOf(QStringView s)
{
    const qsizetype dot = s.indexOf(u'.');
    const QStringView clock = dot < 0 ? s : s.left(dot);
    const qsizetype colon = clock.indexOf(u':');
    const int hour = DigitsValue(clock.left(colon));
    const int minute = DigitsValue(clock.mid(colon + 1, 2));
    const int second = clock.size() > colon + 3 ? DigitsValue(clock.mid(colon + 4, 2)) : 0;
    return QTime(hour, minute, second);
}

// A date without a year, as long listings show the last half year: the latest such day that is
// not in the future (a day of slack for clocks and zones).
QDate DateWithoutYear(int month, int day)
{
    const QDate today = QDate::currentDate();
    for (int year = today.year(); year >= today.year() - 4; --year) {
        const QDate date(year, month, day);
        if (date.isValid() && date <= today.addDays(1))
            return date;
    }
    return {};
}

// The number of fields that make up a long listing's date from field `at` on, 0 when none does:
//   "Dec  7 07:03" / "Dec  7  2024"     (ls)
//   "Dec  7 07:03:59 2024"             (BSD ls -T)
//   "2024-12-07 07:03[:59[.frac]]"     (ls --time-style=long-iso / full-iso, with a zone)
int DateFieldCount(QStringView line, const Token* tokens, int count, int at)
{
    auto field = [&](int i) { return line.mid(tokens[i].begin, tokens[i].end - tokens[i].begin); };
    if (at + 1 >= count)
        return 0;
    if (LooksLikeMonth(field(at)) && LooksLikeDay(field(at + 1)) && at + 2 < count) {
        const QStringView third = field(at + 2);
        if (IsYear(third) || IsClock(third, false))
            return 3;
        if (IsClock(third, true) && at + 3 < count && IsYear(field(at + 3)))
            return 4;
        return 0;
    }
    if (IsIsoDate(field(at)) && IsIsoTime(field(at + 1)))
        return at + 2 < count && IsZone(field(at + 2)) ? 3 : 2;
    return 0;
}

// The typed time of a date found by DateFieldCount.
QDateTime DateOf(QStringView line, const Token* tokens, int at, int fields)
{
    auto field = [&](int i) { return line.mid(tokens[i].begin, tokens[i].end - tokens[i].begin); };
    if (IsIsoDate(field(at))) {
        const QStringView day = field(at);
        const QDate date(DigitsValue(day.left(4)), DigitsValue(day.mid(5, 2)), DigitsValue(day.mid(8)));
        if (!date.isValid())
            return {};
        if (fields == 3) {
            const QStringView zone = field(at + 2);
            const int offset = (DigitsValue(zone.mid(1, 2)) * 60 + DigitsValue(zone.mid(3))) * 60;
            return QDateTime(date, ClockOf(field(at + 1)),
                             QTimeZone(zone[0] == u'-' ? -offset : offset));
        }
        return QDateTime(date, ClockOf(field(at + 1)));
    }
    const int month = MonthNumber(field(at));
    const int day = DigitsValue(field(at + 1));
    if (month == 0)
        return {};
    const QStringView third = field(at + 2);
    if (fields == 4) {
        const QDate date(DigitsValue(field(at + 3)), month, day);
        return date.isValid() ? QDateTime(date, ClockOf(third)) : QDateTime();
    }
    if (IsYear(third)) {
        const QDate date(DigitsValue(third), month, day);
        return date.isValid() ? QDateTime(date, QTime(0, 0)) : QDateTime();
    }
    const QDate date = DateWithoutYear(month, day);
    return date.isValid() ? QDateTime(date, ClockOf(third)) : QDateTime();
}

bool IsSummaryLine(QStringView line, const Token* tokens, int count)
{
    if (count != 2 || !IsDigits(line.mid(tokens[1].begin, tokens[1].end - tokens[1].begin)))
        return false;
    QStringView word = line.mid(tokens[0].begin, tokens[0].end - tokens[0].begin);
    return word == u"total" || word == u"合計";
}

// The size field of a long listing (the number right before its date), or -1 when the line is
// not a long-listing line; dateFields gets the date's field count.
int FindSizeField(QStringView line, const Token* tokens, int count, int& dateFields)
{
    auto field = [&](int i) { return line.mid(tokens[i].begin, tokens[i].end - tokens[i].begin); };
    auto isSizeField = [&](int i) {
        if (i + 2 >= count || !IsDigits(field(i)))
            return false;
        dateFields = DateFieldCount(line, tokens, count, i + 1);
        return dateFields > 0;
    };
    // The usual places first: after mode, links, owner and group, or with no group. A named
    // owner beside a small numeric group ("ftp 50 1024 Dec ...") would look like a date earlier
    // on. Neither place can match falsely when the size stands at the other: a month has a letter.
    for (int i : {4, 3}) {
        if (isSizeField(i))
            return i;
    }
    for (int i = 1; i + 2 < count; ++i) {
        if (isSizeField(i))
            return i;
    }
    return -1;
}

bool IsUsableName(const QString& name)
{
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !name.contains(QChar::Null);
}

std::optional<ListingEntry> Usable(ListingEntry entry)
{
    if (!IsUsableName(entry.name))
        return std::nullopt;
    return entry;
}

QStringView WithoutCr(QStringView line)
{
    return line.endsWith(u'\r') ? line.chopped(1) : line;
}

qint64 SizeValue(QStringView digits)
{
    qint64 value = 0;
    for (QChar c : digits) {
        if (value > (std::numeric_limits<qint64>::max() - 9) / 10)
            return std::numeric_limits<qint64>::max();
        value = value * 10 + (c.unicode() - u'0');
    }
    return value;
}

}  // namespace

QString ModeBitsText(int mode)
{
    QString text(9, u'-');
    const char16_t* letters = u"rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        if (mode & (0400 >> i))
            text[i] = letters[i];
    }
    auto special = [&](int bit, int at, QChar set, QChar setWithoutExecute) {
        if (mode & bit)
            text[at] = text[at] == u'-' ? setWithoutExecute : set;
    };
    special(04000, 2, u's', u'S');
    special(02000, 5, u's', u'S');
    special(01000, 8, u't', u'T');
    return text;
}

int ModeFromText(QStringView text)
{
    if (text.size() < 10)
        return -1;
    int mode = 0;
    const char16_t* letters = u"rwxrwxrwx";
    for (int i = 0; i < 9; ++i) {
        const QChar c = text[i + 1];
        if (c == letters[i])
            mode |= 0400 >> i;
        else if ((i == 2 || i == 5) && (c == u's' || c == u'S'))
            mode |= (c == u's' ? (0400 >> i) : 0) | (i == 2 ? 04000 : 02000);
        else if (i == 8 && (c == u't' || c == u'T'))
            mode |= (c == u't' ? 01 : 0) | 01000;
        else if (c != u'-')
            return -1;
    }
    return mode;
}

QString ListingEntry::ModeText() const
{
    if (!listedMode.isEmpty() || mode < 0)
        return listedMode;
    const QChar type = kind == EntryKind::Folder ? u'd' : kind == EntryKind::Link ? u'l' : u'-';
    return type + ModeBitsText(mode);
}

QString ListingEntry::SizeText() const
{
    if (!listedSize.isEmpty() || size < 0)
        return listedSize;
    return QString::number(size);
}

QString ListingEntry::DateText() const
{
    if (!listedDate.isEmpty() || !modified.isValid())
        return listedDate;
    const QDateTime shown = exactTime ? modified.toLocalTime() : modified;
    const QDateTime now = QDateTime::currentDateTime();
    const QLocale c = QLocale::c();
    const QString month = c.monthName(shown.date().month(), QLocale::ShortFormat);
    const QString day = QStringLiteral("%1").arg(shown.date().day(), 2);
    // Like ls: the time of day for the last half year, the year otherwise.
    const bool recent = shown <= now.addDays(1) && shown > now.addDays(-183);
    if (recent)
        return month + u' ' + day + u' ' + shown.time().toString(QStringLiteral("HH:mm"));
    return month + u' ' + day + QStringLiteral("  ") + QString::number(shown.date().year());
}

std::optional<ListingEntry> ParseUnixLine(QStringView line)
{
    line = WithoutCr(line);
    Token tokens[FieldsToScan];
    const int count = SplitFields(line, tokens);
    if (IsSummaryLine(line, tokens, count))
        return std::nullopt;
    int dateFields = 0;
    const int sizeField = FindSizeField(line, tokens, count, dateFields);
    if (sizeField < 0)
        return std::nullopt;

    ListingEntry entry;
    const qsizetype firstBlank = line.indexOf(u' ');
    if (firstBlank > 0)
        entry.listedMode = line.left(firstBlank).toString();
    if (entry.listedMode.startsWith(u'd'))
        entry.kind = EntryKind::Folder;
    else if (entry.listedMode.startsWith(u'l'))
        entry.kind = EntryKind::Link;
    entry.mode = ModeFromText(entry.listedMode);

    const QStringView size = line.mid(tokens[sizeField].begin, tokens[sizeField].end - tokens[sizeField].begin);
    entry.size = SizeValue(size);
    if (entry.kind != EntryKind::Folder)
        entry.listedSize = size.toString();
    const qsizetype dateBegin = tokens[sizeField + 1].begin;
    const qsizetype dateEnd = tokens[sizeField + dateFields].end;
    entry.listedDate = line.mid(dateBegin, dateEnd - dateBegin).toString();
    entry.modified = DateOf(line, tokens, sizeField + 1, dateFields);

    // The name is everything after the one blank that follows the date, blanks included.
    QStringView name = line.mid(std::min(dateEnd + 1, line.size()));
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

std::optional<ListingEntry> ParseDosLine(QStringView line)
{
    // "01-15-24  10:22AM                 1234 my file.txt" and "12-07-26  07:03PM <DIR> My Folder";
    // four-digit years and 24-hour times as well.
    line = WithoutCr(line);
    Token tokens[FieldsToScan];
    const int count = SplitFields(line, tokens);
    if (count < 4)
        return std::nullopt;
    auto field = [&](int i) { return line.mid(tokens[i].begin, tokens[i].end - tokens[i].begin); };

    const QStringView day = field(0);
    if ((day.size() != 8 && day.size() != 10) || !IsDigits(day.left(2)) || !IsDigits(day.mid(3, 2)) ||
        !IsDigits(day.mid(6)) || day[2] != day[5] || (day[2] != u'-' && day[2] != u'/'))
        return std::nullopt;
    int year = DigitsValue(day.mid(6));
    if (day.size() == 8)
        year += year < 70 ? 2000 : 1900;
    const QDate date(year, DigitsValue(day.left(2)), DigitsValue(day.mid(3, 2)));

    QStringView clock = field(1);
    int addHours = -1;  // -1: a 24-hour clock
    if (clock.size() > 2 && (clock.endsWith(u"AM", Qt::CaseInsensitive) || clock.endsWith(u"PM", Qt::CaseInsensitive))) {
        addHours = clock.right(2).compare(u"PM", Qt::CaseInsensitive) == 0 ? 12 : 0;
        clock.chop(2);
    }
    if (!IsClock(clock, false) || !date.isValid())
        return std::nullopt;
    QTime time = ClockOf(clock);
    if (addHours >= 0) {
        if (time.hour() < 1 || time.hour() > 12)
            return std::nullopt;
        time = QTime(time.hour() % 12 + addHours, time.minute());
    }
    if (!time.isValid())
        return std::nullopt;

    ListingEntry entry;
    const QStringView third = field(2);
    if (third.compare(u"<DIR>", Qt::CaseInsensitive) == 0)
        entry.kind = EntryKind::Folder;
    else if (IsDigits(third))
        entry.size = SizeValue(third);
    else
        return std::nullopt;
    entry.modified = QDateTime(date, time);
    // The name starts after the blanks that pad the size column and may hold blanks of its own.
    entry.name = line.mid(tokens[3].begin).toString();
    return Usable(std::move(entry));
}

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
            for (QChar c : digits) {
                ok = ok && c >= u'0' && c <= u'7';
                mode = mode * 8 + (c.unicode() - u'0');
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

std::optional<ListingEntry> ParseListingEntry(QStringView line, ListingFormat format)
{
    if (format == ListingFormat::Machine)
        return ParseMachineLine(line);
    // An MS-DOS line starts with a digit, a Unix line with its mode letter.
    if (std::optional<ListingEntry> entry = ParseDosLine(line))
        return entry;
    return ParseUnixLine(line);
}
