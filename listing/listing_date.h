#pragma once

// The dates of long listings, in every form servers print them. Private to listing/.

#include "listing/listing_fields.h"

#include <QDateTime>

#include <optional>

namespace ListingFields {

// A date found in a long listing: how many fields it takes, and its time. The time is invalid
// when the text is plainly a date but its value cannot be known for sure: a day that does not
// exist, an unknown month word, or day and month that could be read either way ("03-04-2003").
struct ListedDate {
    int fields = 0;  // 0: no date starts here
    QDateTime time;
};

// The date that starts at field `at`:
//   "Dec  7 07:03", "Dec  7  2024", "Dec  7 07:03:59 2024", "Oct 08, 2002 09:47"   (month first)
//   "26. Juli, 20:10", "2.   Okt.  2003", "01 oct 2004", "29 Jul 02:27"           (day first)
//   "4月 18日 2003年", "12月  7 07:03", "2005년  1월  6일", "2003   3月 20"          (CJK)
//   "3 29 03:26", "09-26 2000", "09-26 13:45"                                    (numbers, no year)
//   "1999/10/12 17:12", "24-04-2003 17:12", "2004.07.15", "01-jun-99",
//   "2024-01-15 12:34:56.123456789 +0100"                                        (one field, a time may follow)
// A year that is not given is the latest that does not put the day in the future; "24:00" is
// the start of the next day.
ListedDate ReadListedDate(const Fields& fields, int at);

// Whether a field could be part of a date (a time of day, a month, a year, a numeric date): a
// line whose date is not understood must not have it read as the start of a name.
bool LooksLikeDatePart(QStringView s);

// A time of day "6:00" / "06:00", or with seconds "06:00:59"; the hour 24 only as "24:00[:00]".
struct Clock {
    QTime time;
    bool nextDay = false;  // it was 24:00, the end of the day
};
std::optional<Clock> ReadClock(QStringView s, bool withSeconds);

// The month of a name ("Jan", "Okt.", "szept", "déc", "Juli", "мая" ...) or of "4月" / "4월";
// 0 for anything else.
int MonthNumber(QStringView s);

}  // namespace ListingFields
