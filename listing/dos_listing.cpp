// MS-DOS style listings, as IIS sends them.
#include "listing/listing_date.h"
#include "listing/listing_entry.h"
#include "listing/listing_fields.h"

using namespace ListingFields;

std::optional<ListingEntry> ParseDosLine(QStringView line)
{
    // "01-15-24  10:22AM                 1234 my file.txt" and "12-07-26  07:03PM <DIR> My Folder";
    // four-digit years and 24-hour times as well.
    line = WithoutCr(line);
    const Fields field(line);
    if (field.Count() < 4)
        return std::nullopt;

    const QStringView day = field[0];
    if ((day.size() != 8 && day.size() != 10) || !IsDigits(day.left(2)) || !IsDigits(day.mid(3, 2)) ||
        !IsDigits(day.mid(6)) || day[2] != day[5] || (day[2] != u'-' && day[2] != u'/'))
        return std::nullopt;
    int year = DigitsValue(day.mid(6));
    if (day.size() == 8)
        year += year < 70 ? 2000 : 1900;
    const QDate date(year, DigitsValue(day.left(2)), DigitsValue(day.mid(3, 2)));

    QStringView clock = field[1];
    int addHours = -1;  // -1: a 24-hour clock
    if (clock.size() > 2 && (clock.endsWith(u"AM", Qt::CaseInsensitive) || clock.endsWith(u"PM", Qt::CaseInsensitive))) {
        addHours = clock.right(2).compare(u"PM", Qt::CaseInsensitive) == 0 ? 12 : 0;
        clock.chop(2);
    }
    const std::optional<Clock> read = ReadClock(clock, false);
    if (!read || read->nextDay || !date.isValid())
        return std::nullopt;
    QTime time = read->time;
    if (addHours >= 0) {
        if (time.hour() < 1 || time.hour() > 12)
            return std::nullopt;
        time = QTime(time.hour() % 12 + addHours, time.minute());
    }
    if (!time.isValid())
        return std::nullopt;

    ListingEntry entry;
    const QStringView third = field[2];
    if (third.compare(u"<DIR>", Qt::CaseInsensitive) == 0)
        entry.kind = EntryKind::Folder;
    else if (IsDigits(third))
        entry.size = SizeValue(third);
    else
        return std::nullopt;
    entry.modified = QDateTime(date, time);
    // The name starts after the blanks that pad the size column and may hold blanks of its own.
    entry.name = line.mid(field.Begin(3)).toString();
    return Usable(std::move(entry));
}

