#include "listing/listing_date.h"

#include <QList>
#include <QTimeZone>

namespace ListingFields {

namespace {

// Month names as ls prints them in the locales servers run in: abbreviations and full names,
// compared without regard to case, after the dots and commas of "Okt." and "Juli," are gone.
// No name stands for two different months in two languages.
struct MonthName {
    const char16_t* name;
    int month;
};
constexpr MonthName MonthNames[] = {
    // English
    {u"jan", 1}, {u"feb", 2}, {u"mar", 3}, {u"apr", 4}, {u"may", 5}, {u"jun", 6}, {u"jul", 7}, {u"aug", 8},
    {u"sep", 9}, {u"oct", 10}, {u"nov", 11}, {u"dec", 12}, {u"january", 1}, {u"february", 2}, {u"march", 3},
    {u"april", 4}, {u"june", 6}, {u"july", 7}, {u"august", 8}, {u"september", 9}, {u"october", 10},
    {u"november", 11}, {u"december", 12}, {u"sept", 9},
    // German
    {u"mär", 3}, {u"mrz", 3}, {u"mai", 5}, {u"okt", 10}, {u"dez", 12}, {u"januar", 1}, {u"februar", 2},
    {u"märz", 3}, {u"juni", 6}, {u"juli", 7}, {u"oktober", 10}, {u"dezember", 12},
    // French
    {u"janv", 1}, {u"févr", 2}, {u"fév", 2}, {u"mars", 3}, {u"avr", 4}, {u"juin", 6}, {u"juil", 7},
    {u"août", 8}, {u"déc", 12}, {u"janvier", 1}, {u"février", 2}, {u"avril", 4}, {u"juillet", 7},
    {u"septembre", 9}, {u"octobre", 10}, {u"novembre", 11}, {u"décembre", 12},
    // Spanish, Italian, Portuguese
    {u"ene", 1}, {u"abr", 4}, {u"ago", 8}, {u"dic", 12}, {u"gen", 1}, {u"mag", 5}, {u"giu", 6}, {u"lug", 7},
    {u"set", 9}, {u"ott", 10}, {u"fev", 2}, {u"out", 10},
    // Dutch, Swedish, Danish, Norwegian
    {u"mrt", 3}, {u"mei", 5}, {u"maj", 5},
    // Hungarian
    {u"febr", 2}, {u"márc", 3}, {u"ápr", 4}, {u"máj", 5}, {u"jún", 6}, {u"júl", 7}, {u"szept", 9},
    // Polish
    {u"sty", 1}, {u"lut", 2}, {u"kwi", 4}, {u"cze", 6}, {u"lip", 7}, {u"sie", 8}, {u"wrz", 9}, {u"paź", 10},
    {u"lis", 11}, {u"gru", 12},
    // Czech
    {u"led", 1}, {u"úno", 2}, {u"bře", 3}, {u"dub", 4}, {u"kvě", 5}, {u"čer", 6}, {u"čvc", 7}, {u"srp", 8},
    {u"zář", 9}, {u"říj", 10}, {u"pro", 12},
    // Finnish
    {u"tammi", 1}, {u"helmi", 2}, {u"maalis", 3}, {u"huhti", 4}, {u"touko", 5}, {u"kesä", 6}, {u"heinä", 7},
    {u"elo", 8}, {u"syys", 9}, {u"loka", 10}, {u"marras", 11}, {u"joulu", 12},
    // Russian (with the genitive "мая" ls prints after a day)
    {u"янв", 1}, {u"фев", 2}, {u"мар", 3}, {u"апр", 4}, {u"май", 5}, {u"мая", 5}, {u"июн", 6}, {u"июл", 7},
    {u"авг", 8}, {u"сен", 9}, {u"окт", 10}, {u"ноя", 11}, {u"дек", 12},
};

// Without the "." and "," localized dates put after a day or a month ("26.", "Okt.", "Juli,").
QStringView Bare(QStringView s)
{
    while (!s.isEmpty() && (s.back() == u'.' || s.back() == u','))
        s.chop(1);
    return s;
}

QStringView WithoutUnit(QStringView s, char16_t japanese, char16_t korean)
{
    return s.endsWith(QChar(japanese)) || s.endsWith(QChar(korean)) ? s.chopped(1) : s;
}

// "7", "07", "26.", "08,", "18日", "6일".
int DayNumber(QStringView s)
{
    s = WithoutUnit(Bare(s), u'日', u'일');
    if (s.size() > 2 || !IsDigits(s))
        return 0;
    const int day = DigitsValue(s);
    return day >= 1 && day <= 31 ? day : 0;
}

// "2003", "2002,", "2003年", "2005년". Only years a file can have been written in: a size of
// "4096" beside small numeric owners must not pass for one.
int YearNumber(QStringView s)
{
    s = WithoutUnit(Bare(s), u'年', u'년');
    const int year = s.size() == 4 && IsDigits(s) ? DigitsValue(s) : 0;
    return year >= 1900 && year < 2200 ? year : 0;
}

// A number of one or two digits, 0 when it is not one.
int SmallNumber(QStringView s)
{
    return s.size() <= 2 && IsDigits(s) ? DigitsValue(s) : 0;
}

// "Dec", "déc.", "12月": short, with a letter, not a time. Long listings of locales not in the
// table still show their entries; only the typed time is then unknown.
bool LooksLikeMonth(QStringView s)
{
    return s.size() <= 6 && !s.contains(u':') && std::any_of(s.begin(), s.end(), [](QChar c) { return c.isLetter(); });
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

// The time of a day, month, year (0: not given) and time of day (midnight when not given).
QDateTime Make(int year, int month, int day, const std::optional<Clock>& clock)
{
    if (month == 0)
        return {};
    QDate date = year ? QDate(year, month, day) : DateWithoutYear(month, day);
    if (!date.isValid())
        return {};
    if (!clock)
        return QDateTime(date, QTime(0, 0));
    return QDateTime(clock->nextDay ? date.addDays(1) : date, clock->time);
}

// Day and month as numbers in an order the listing does not say: known only when one of them
// cannot be a month, or both are the same. month is 0 when the order cannot be told; false when
// neither order makes a date.
bool DayAndMonth(int first, int second, int& month, int& day)
{
    if (first < 1 || second < 1 || (first > 12 && second > 12) || first > 31 || second > 31)
        return false;
    if (first > 12 || second > 12 || first == second) {
        month = first > 12 ? second : first;
        day = first > 12 ? first : second;
    } else {
        month = 0;
    }
    return true;
}

struct NumericDate {
    int year = 0;   // 0: none given
    int month = 0;  // 0: day and month cannot be told apart
    int day = 0;
};

// A date in one field: "1999/10/12", "2004.07.15", "2024-01-15" (the year first), "24-04-2003",
// "04/24/2003" (the year last, day and month in either order), "01-jun-99", "6-Apr-07",
// "Feb-28-1998" (a month name, any year), "09-26" (month and day).
std::optional<NumericDate> ReadNumericDate(QStringView s)
{
    qsizetype first = -1;
    for (qsizetype i = 0; i < s.size() && first < 0; ++i) {
        if (s[i] == u'-' || s[i] == u'/' || s[i] == u'.')
            first = i;
    }
    if (first < 1)
        return std::nullopt;
    const QChar separator = s[first];
    const QList<QStringView> parts = s.split(separator);
    NumericDate date;
    if (parts.size() == 2) {
        // Month first, as in the ISO order; the year or time follows in a field of its own.
        if (separator == u'.' || SmallNumber(parts[0]) < 1 || SmallNumber(parts[0]) > 12 ||
            SmallNumber(parts[1]) < 1)
            return std::nullopt;
        date.month = SmallNumber(parts[0]);
        date.day = SmallNumber(parts[1]);
        return date;
    }
    if (parts.size() != 3)
        return std::nullopt;
    if (parts[0].size() == 4 && IsDigits(parts[0])) {
        date.year = YearNumber(parts[0]);
        date.month = SmallNumber(parts[1]);
        date.day = SmallNumber(parts[2]);
        if (!date.year || date.month < 1 || date.month > 12 || date.day < 1)
            return std::nullopt;
        return date;
    }
    const QStringView year = parts[2];
    if (!IsDigits(year) || (year.size() != 4 && year.size() != 2))
        return std::nullopt;
    date.year = DigitsValue(year);
    const int namedFirst = MonthNumber(parts[0]);
    const int namedSecond = MonthNumber(parts[1]);
    if (namedFirst || namedSecond) {
        // With a month name even a two-digit year is plain: 70 and later are the 1900s.
        if (year.size() == 2)
            date.year += date.year < 70 ? 2000 : 1900;
        date.month = namedFirst ? namedFirst : namedSecond;
        date.day = SmallNumber(namedFirst ? parts[1] : parts[0]);
        if (date.day < 1 || (namedFirst && namedSecond))
            return std::nullopt;
        return date;
    }
    // Numbers only: "18.09.06" could be any of three dates, so a short year is not read.
    if (year.size() != 4 || !YearNumber(year) ||
        !DayAndMonth(SmallNumber(parts[0]), SmallNumber(parts[1]), date.month, date.day))
        return std::nullopt;
    return date;
}

// "2024-01-15".
bool IsIsoDate(QStringView s)
{
    return s.size() == 10 && IsDigits(s.left(4)) && s[4] == u'-' && IsDigits(s.mid(5, 2)) && s[7] == u'-' &&
           IsDigits(s.mid(8));
}

// "12:34", "12:34:56" or "12:34:56.123456789" (ls --full-time).
std::optional<Clock> ReadIsoTime(QStringView s)
{
    const qsizetype dot = s.indexOf(u'.');
    if (dot >= 0 && !IsDigits(s.mid(dot + 1)))
        return std::nullopt;
    const QStringView clock = dot < 0 ? s : s.left(dot);
    if (std::optional<Clock> withSeconds = ReadClock(clock, true))
        return withSeconds;
    return dot < 0 ? ReadClock(clock, false) : std::nullopt;
}

// "+0100" or "-0500".
bool IsZone(QStringView s)
{
    return s.size() == 5 && (s[0] == u'+' || s[0] == u'-') && IsDigits(s.mid(1));
}

// A year ("2024", "2003年") or a time of day ("07:03") after a day and a month.
bool ReadYearOrClock(QStringView s, int& year, std::optional<Clock>& clock)
{
    year = YearNumber(s);
    if (year)
        return true;
    clock = ReadClock(s, false);
    return clock.has_value();
}

// Month first: "Dec  7 07:03", "Dec  7  2024", "4月 18日 2003年", "Dec  7 07:03:59 2024" (BSD
// ls -T), "Oct 08, 2002 09:47".
ListedDate MonthFirst(const Fields& f, int at)
{
    const int count = f.Count();
    if (at + 2 >= count || !LooksLikeMonth(Bare(f[at])) || !DayNumber(f[at + 1]))
        return {};
    const int month = MonthNumber(f[at]);
    const int day = DayNumber(f[at + 1]);
    if (at + 3 < count) {
        const int year = YearNumber(f[at + 3]);
        if (std::optional<Clock> clock = ReadClock(f[at + 2], true); clock && year)
            return {4, Make(year, month, day, clock)};
        if (f[at + 1].endsWith(u',') && YearNumber(f[at + 2])) {
            if (std::optional<Clock> clock = ReadClock(f[at + 3], false))
                return {4, Make(YearNumber(f[at + 2]), month, day, clock)};
        }
    }
    int year = 0;
    std::optional<Clock> clock;
    if (!ReadYearOrClock(f[at + 2], year, clock))
        return {};
    return {3, Make(year, month, day, clock)};
}

// Day first, with a month name: "26. Juli, 20:10", "2.   Okt.  2003", "01 oct 2004",
// "29 Jul 02:27" (a year after the time belongs to the name: no ls prints both without seconds).
ListedDate DayFirst(const Fields& f, int at)
{
    if (at + 2 >= f.Count() || !DayNumber(f[at]))
        return {};
    const int month = MonthNumber(f[at + 1]);
    int year = 0;
    std::optional<Clock> clock;
    if (!month || f[at + 1].endsWith(u'月') || f[at + 1].endsWith(u'월') || !ReadYearOrClock(f[at + 2], year, clock))
        return {};
    return {3, Make(year, month, DayNumber(f[at]), clock)};
}

// Year first: "2005년  1월  6일", "2003   3月 20", "2003 Mar 20".
ListedDate YearFirst(const Fields& f, int at)
{
    if (at + 2 >= f.Count() || !YearNumber(f[at]))
        return {};
    const int month = MonthNumber(f[at + 1]);
    const int day = DayNumber(f[at + 2]);
    if (!month || !day)
        return {};
    return {3, Make(YearNumber(f[at]), month, day, std::nullopt)};
}

// Numbers in fields of their own: "3 29 03:26", "3 29  2003".
ListedDate NumbersOnly(const Fields& f, int at)
{
    int month = 0;
    int day = 0;
    int year = 0;
    std::optional<Clock> clock;
    if (at + 2 >= f.Count() || !IsDigits(f[at]) || !IsDigits(f[at + 1]) ||
        !DayAndMonth(SmallNumber(f[at]), SmallNumber(f[at + 1]), month, day) ||
        !ReadYearOrClock(f[at + 2], year, clock))
        return {};
    return {3, Make(year, month, day, clock)};
}

// A date in one field, with its time after it when given.
ListedDate OneField(const Fields& f, int at)
{
    const bool more = at + 1 < f.Count();
    // ls --time-style=long-iso and full-iso, with the zone.
    if (IsIsoDate(f[at]) && more) {
        if (std::optional<Clock> clock = ReadIsoTime(f[at + 1])) {
            const QStringView day = f[at];
            QDateTime time = Make(DigitsValue(day.left(4)), DigitsValue(day.mid(5, 2)), DigitsValue(day.mid(8)), clock);
            if (at + 2 < f.Count() && IsZone(f[at + 2])) {
                const QStringView zone = f[at + 2];
                const int offset = (DigitsValue(zone.mid(1, 2)) * 60 + DigitsValue(zone.mid(3))) * 60;
                if (time.isValid())
                    time = QDateTime(time.date(), time.time(), QTimeZone(zone[0] == u'-' ? -offset : offset));
                return {3, time};
            }
            return {2, time};
        }
    }
    const std::optional<NumericDate> date = ReadNumericDate(f[at]);
    if (!date)
        return {};
    auto make = [&](int year, const std::optional<Clock>& clock) {
        return date->month ? Make(year, date->month, date->day, clock) : QDateTime();
    };
    if (!date->year) {
        // "09-26" says nothing without the year or time after it.
        int year = 0;
        std::optional<Clock> clock;
        if (!more || !ReadYearOrClock(f[at + 1], year, clock))
            return {};
        return {2, make(year, clock)};
    }
    if (more) {
        std::optional<Clock> clock = ReadClock(f[at + 1], false);
        if (!clock)
            clock = ReadClock(f[at + 1], true);
        if (clock)
            return {2, make(date->year, clock)};
    }
    return {1, make(date->year, std::nullopt)};
}

}  // namespace

std::optional<Clock> ReadClock(QStringView s, bool withSeconds)
{
    const qsizetype colon = s.indexOf(u':');
    if (colon < 1 || colon > 2 || !IsDigits(s.left(colon)))
        return std::nullopt;
    const QStringView rest = s.mid(colon + 1);
    if (withSeconds ? (rest.size() != 5 || rest[2] != u':' || !IsDigits(rest.mid(3))) : rest.size() != 2)
        return std::nullopt;
    if (!IsDigits(rest.left(2)))
        return std::nullopt;
    const int hour = DigitsValue(s.left(colon));
    const int minute = DigitsValue(rest.left(2));
    const int second = withSeconds ? DigitsValue(rest.mid(3)) : 0;
    if (hour == 24 && minute == 0 && second == 0)
        return Clock{QTime(0, 0), true};
    const QTime time(hour, minute, second);
    if (!time.isValid())
        return std::nullopt;
    return Clock{time, false};
}

int MonthNumber(QStringView s)
{
    s = Bare(s);
    if (s.endsWith(u'月') || s.endsWith(u'월')) {
        const int month = SmallNumber(s.chopped(1));
        return month <= 12 ? month : 0;
    }
    for (const MonthName& name : MonthNames) {
        if (s.compare(QStringView(name.name), Qt::CaseInsensitive) == 0)
            return name.month;
    }
    return 0;
}

ListedDate ReadListedDate(const Fields& fields, int at)
{
    if (at >= fields.Count())
        return {};
    for (ListedDate (*form)(const Fields&, int) : {MonthFirst, DayFirst, YearFirst, NumbersOnly, OneField}) {
        if (ListedDate date = form(fields, at); date.fields > 0)
            return date;
    }
    return {};
}

bool LooksLikeDatePart(QStringView s)
{
    // Digits and date separators ("18.09.06", "2024-01-15") whether or not a date of them is read.
    const bool numeric = !s.isEmpty() && IsDigit(s[0]) && std::all_of(s.begin(), s.end(), [](QChar c) {
        return IsDigit(c) || c == u'-' || c == u'/' || c == u'.';
    }) && !IsDigits(s);
    return numeric || (s.contains(u':') && std::any_of(s.begin(), s.end(), IsDigit)) || MonthNumber(s) ||
           YearNumber(s) || ReadNumericDate(s).has_value();
}

}  // namespace ListingFields
