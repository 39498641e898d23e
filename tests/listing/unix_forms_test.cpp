// Unix long listings as servers in other locales and with other column habits print them: each
// form read with its size, date and name, and lines whose date cannot be known for sure read
// without a typed time or not at all, never with a wrong one.
#include "engine/wire_codec.h"
#include "listing/listing_entry.h"

#include <gtest/gtest.h>

namespace {

// The latest month and day that is not in the future, as a listing without a year means it.
QDate WithoutYear(int month, int day)
{
    const QDate today = QDate::currentDate();
    for (int year = today.year();; --year) {
        const QDate date(year, month, day);
        if (date.isValid() && date <= today.addDays(1))
            return date;
    }
}

QDateTime At(QDate date, int hour = 0, int minute = 0) { return QDateTime(date, QTime(hour, minute)); }

struct Form {
    const char16_t* line;
    const char16_t* name;
    qint64 size;
    QDateTime modified;  // invalid: the listing's date is shown but not read
    EntryKind kind = EntryKind::File;
};

void Check(const Form& form)
{
    const QString line = QString::fromUtf16(form.line);
    SCOPED_TRACE(line.toStdString());
    const std::optional<ListingEntry> entry = ParseListingEntry(line + u'\r', ListingFormat::Long);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, QString::fromUtf16(form.name));
    EXPECT_EQ(entry->size, form.size);
    EXPECT_EQ(entry->modified, form.modified);
    EXPECT_EQ(entry->kind, form.kind);
    // The date column shows what the server listed, read or not.
    if (entry->modified.isValid() || !entry->listedDate.isEmpty()) {
        EXPECT_TRUE(line.contains(entry->DateText())) << entry->DateText().toStdString();
    }
}

TEST(UnixFormsTest, NumericDates)
{
    const Form forms[] = {
        {u"-rw-r--r--   1 kenji    staff        531 3 29 03:26 売上 3月.xlsx", u"売上 3月.xlsx", 531,
         At(WithoutYear(3, 29), 3, 26)},
        {u"-rw-r--r--   1 kenji    staff       4096 09-26 2000 old notes.txt", u"old notes.txt", 4096,
         At(QDate(2000, 9, 26))},
        {u"-rw-r--r--   1 kenji    staff         77 09-26 13:45 today.log", u"today.log", 77,
         At(WithoutYear(9, 26), 13, 45)},
        {u"-rw-r--r--   1 root     wheel       2235 1999/10/12 17:12 report 1999.doc", u"report 1999.doc", 2235,
         At(QDate(1999, 10, 12), 17, 12)},
        {u"-rw-r--r--   1 root     wheel        100 24-04-2003 17:12 a  b", u"a  b", 100, At(QDate(2003, 4, 24), 17, 12)},
        {u"-rw-r--r--   1 root     wheel        100 04/24/2003 08:00 us", u"us", 100, At(QDate(2003, 4, 24), 8, 0)},
        {u"-r-xr-xr-x   2 root     root          96 2004.07.15   dotted date", u"dotted date", 96,
         At(QDate(2004, 7, 15))},
        {u"-rw-r--r--   2 owner    group       4512 01-jun-99 short month", u"short month", 4512, At(QDate(1999, 6, 1))},
        {u"-rw-r--r--   2 owner    group       4512 Feb-28-1998 05:23:30 month first", u"month first", 4512,
         QDateTime(QDate(1998, 2, 28), QTime(5, 23, 30))},
        {u"drwxr-xr-x   3 user     group        512 01 oct 2004 swapped", u"swapped", 512, At(QDate(2004, 10, 1)),
         EntryKind::Folder},
        // No ls prints a year after a time without seconds: the year belongs to the name.
        {u"drwxrwxrwx   1 0        0              0 29 Jul 02:27 2014 Invoices", u"2014 Invoices", 0,
         At(WithoutYear(7, 29), 2, 27), EntryKind::Folder},
        {u"-rwxr-xr-x   1 user     group          9 Oct 08, 2002 09:47 vshell", u"vshell", 9,
         At(QDate(2002, 10, 8), 9, 47)},
        // 24:00 is the end of the day, the start of the next.
        {u"-rw-------   1 99999999 0              3 Apr  4 24:00 midnight", u"midnight", 3,
         At(WithoutYear(4, 4).addDays(1))},
    };
    for (const Form& form : forms)
        Check(form);
}

TEST(UnixFormsTest, EuropeanMonthNames)
{
    const Form forms[] = {
        {u"dr-xr-xr-x   2 root     other       2235 26. Juli, 20:10 Ordner mit Leerzeichen", u"Ordner mit Leerzeichen",
         2235, At(WithoutYear(7, 26), 20, 10), EntryKind::Folder},
        {u"-r-xr-xr-x   2 root     other       2235 2.   Okt.  2003 Datei", u"Datei", 2235, At(QDate(2003, 10, 2))},
        {u"drwxr-xr-x   6 user     sys         1024 30. Jan., 12:40 x", u"x", 1024, At(WithoutYear(1, 30), 12, 40),
         EntryKind::Folder},
        {u"-rw-r--r--   1 root     other       2235 3. März 2021 Bericht", u"Bericht", 2235, At(QDate(2021, 3, 3))},
        {u"drwxr-xr-x   2 root     other       2235 szept 26 20:10 mappa", u"mappa", 2235,
         At(WithoutYear(9, 26), 20, 10), EntryKind::Folder},
        {u"-rw-r--r--   1 root     other         10 márc 5  2019 fájl", u"fájl", 10, At(QDate(2019, 3, 5))},
        {u"-rw-r--r--   1 jean     users        100 7 déc. 2021 fichier", u"fichier", 100, At(QDate(2021, 12, 7))},
        {u"-rw-r--r--   1 jean     users        100 févr.  3 10:00 f", u"f", 100, At(WithoutYear(2, 3), 10, 0)},
        {u"-rw-r--r--   1 ivan     users        100 5 мая 2020 файл", u"файл", 100, At(QDate(2020, 5, 5))},
        {u"-rw-r--r--   1 ana      users        100 dic 24  2018 navidad", u"navidad", 100, At(QDate(2018, 12, 24))},
    };
    for (const Form& form : forms)
        Check(form);
}

TEST(UnixFormsTest, JapaneseChineseAndKoreanDates)
{
    const Form forms[] = {
        {u"-rw-r--r--   1 root     sys         8473  4月 18日 2003年 日本語 ファイル", u"日本語 ファイル", 8473,
         At(QDate(2003, 4, 18))},
        {u"-rw-r--r--   1 root     sys         8473  8月 17日 08:52 予定", u"予定", 8473, At(WithoutYear(8, 17), 8, 52)},
        {u"drwxr-xr-x   5 root     sys          512 2005년  1월  6일 한국어 폴더", u"한국어 폴더", 512,
         At(QDate(2005, 1, 6)), EntryKind::Folder},
        {u"-rwxrwxrwx   1 root     staff          0 2003   3月 20 中文 文件", u"中文 文件", 0, At(QDate(2003, 3, 20))},
        {u"-rw-r--r--   1 user     staff          5  3月 20 11:02 memo", u"memo", 5, At(WithoutYear(3, 20), 11, 2)},
    };
    for (const Form& form : forms)
        Check(form);
}

// The parser sees text: the session's character set decodes the server's bytes first.
TEST(UnixFormsTest, JapaneseDatesInEveryCharacterSetArriveAsTheSameText)
{
    const QString expected = QStringLiteral("-rw-r--r--   1 root     sys         8473  4月 18日 2003年 名前");
    for (const char* charset : {"UTF-8", "SHIFT_JIS", "EUC-JP"}) {
        SCOPED_TRACE(charset);
        WireCodec codec(charset);
        const std::optional<QByteArray> bytes = codec.Encode(expected);
        ASSERT_TRUE(bytes.has_value());
        const std::optional<ListingEntry> entry = ParseListingEntry(codec.Decode(*bytes), ListingFormat::Long);
        ASSERT_TRUE(entry.has_value());
        EXPECT_EQ(entry->name, QStringLiteral("名前"));
        EXPECT_EQ(entry->modified, At(QDate(2003, 4, 18)));
    }
    // Shift_JIS as a server in that locale sends it: 月 8C 8E, 日 93 FA, 年 94 4E.
    WireCodec shiftJis("SHIFT_JIS");
    const QByteArray raw("-rw-r--r--   1 root       sys           8473  4\x8c\x8e 18\x93\xfa 2003\x94\x4e x y");
    const std::optional<ListingEntry> entry = ParseListingEntry(shiftJis.Decode(raw), ListingFormat::Long);
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, QStringLiteral("x y"));
    EXPECT_EQ(entry->size, 8473);
    EXPECT_EQ(entry->modified, At(QDate(2003, 4, 18)));
}

TEST(UnixFormsTest, ColumnsLeftOutOrRunTogether)
{
    const Form forms[] = {
        {u"dr-xr-xr-x   2 root                  512 Apr  8  1994 no group", u"no group", 512, At(QDate(1994, 4, 8)),
         EntryKind::Folder},
        {u"-r--r--r-- 0125039 12 Nov 11 2005 no owner", u"no owner", 12, At(QDate(2005, 11, 11))},
        {u"-r-xr-xr-x longowner longgroup123456 Feb 12 17:20 run together", u"run together", 123456,
         At(WithoutYear(2, 12), 17, 20)},
        {u"d [R----F--] supervisor            512       Jan 16 18:53    netware dir", u"netware dir", 512,
         At(WithoutYear(1, 16), 18, 53), EntryKind::Folder},
        {u"drwxr-xr-x 3 slopri devlab 512 no date dir", u"no date dir", 512, QDateTime(), EntryKind::Folder},
        {u"-rw-r--r--   1 root     other  33.5k Oct  5 21:22 rounded size", u"rounded size", -1,
         At(WithoutYear(10, 5), 21, 22)},
        {u"-rw-r--r--   1 root     other    2KB Oct  5  2001 kilo", u"kilo", -1, At(QDate(2001, 10, 5))},
    };
    for (const Form& form : forms)
        Check(form);
    // A rounded size is shown as listed.
    EXPECT_EQ(ParseUnixLine(u"-rw-r--r-- 1 u g 33.5k Oct  5 21:22 f")->SizeText(), QStringLiteral("33.5k"));
    EXPECT_EQ(ParseUnixLine(u"drwxr-xr-x 3 u g 512 d")->DateText(), QString());
}

// STAT replies indent their lines: the mode still says what each entry is, and a link's name
// stands without its target, in a STAT reply as in a listing.
TEST(UnixFormsTest, IndentedLinesKeepTheirModes)
{
    const Form forms[] = {
        {u" lrwxrwxrwx 1 u g 4 Jan  1  2001 lnk -> /x", u"lnk", 4, At(QDate(2001, 1, 1)), EntryKind::Link},
        {u"  drwxr-xr-x 2 u g 512 Jan  1  2001 dir", u"dir", 512, At(QDate(2001, 1, 1)), EntryKind::Folder},
    };
    for (const Form& form : forms)
        Check(form);
    EXPECT_EQ(ParseListingEntry(u" lrwxrwxrwx 1 u g 4 Jan  1  2001 lnk -> /x", ListingFormat::Long)->linkTarget,
              QStringLiteral("/x"));
    EXPECT_EQ(ParseUnixLine(u" -rw-r----- 1 u g 4 Jan  1  2001 f")->mode, 0640);
}

// Day and month that could be read either way, and days or times that do not exist: the entry
// is there, with its listed date, but no time is made up for it.
TEST(UnixFormsTest, DatesThatCannotBeKnownAreNotGuessed)
{
    for (const char16_t* line : {u"-rw-r--r-- 1 u g 1 03-04-2003 12:00 either", u"-rw-r--r-- 1 u g 1 3 4 03:26 either",
                                 u"-rw-r--r-- 1 u g 1 Feb 30  2023 no such day", u"-rw-r--r-- 1 u g 1 Xyz 5 10:00 word"}) {
        SCOPED_TRACE(QString::fromUtf16(line).toStdString());
        const std::optional<ListingEntry> entry = ParseUnixLine(QString::fromUtf16(line));
        ASSERT_TRUE(entry.has_value());
        EXPECT_FALSE(entry->modified.isValid());
        EXPECT_FALSE(entry->DateText().isEmpty());
        EXPECT_EQ(entry->size, 1);
    }
    // A date not understood never becomes part of a name.
    for (const char16_t* line : {u"-rw-r--r-- 1 u g 1 listopad 7 07:03 x", u"-rw-r--r-- 1 u g 5 18.09.06 x",
                                 u"-rw-r--r-- 1 u g 5 Dec  7 25:00 x", u"-rw-r--r-- 1 u g 5 Dec  7 24:30 x",
                                 u"-rw-r--r-- 1 u g 5 Mär 7 2023", u"x-r--r--r-- 1 u g 5 a b"})
        EXPECT_FALSE(ParseUnixLine(QString::fromUtf16(line)).has_value()) << QString::fromUtf16(line).toStdString();
}

}  // namespace
