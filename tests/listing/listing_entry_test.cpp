// Listing lines of Windows servers, machine listings and the Unix variants, read into typed
// entries, and the texts the panes get from them.
#include "listing/listing_entry.h"

#include <QLocale>
#include <QTimeZone>

#include <gtest/gtest.h>

namespace {

ListingEntry Parsed(const QString& line, ListingFormat format)
{
    const std::optional<ListingEntry> entry = ParseListingEntry(line, format);
    EXPECT_TRUE(entry.has_value()) << line.toStdString();
    return entry.value_or(ListingEntry{});
}

ListingEntry Dos(const QString& line) { return Parsed(line, ListingFormat::Long); }
ListingEntry Machine(const QString& line) { return Parsed(line, ListingFormat::Machine); }

QDateTime Local(int y, int mo, int d, int h, int mi) { return QDateTime(QDate(y, mo, d), QTime(h, mi)); }

// IIS's MS-DOS style: blanks inside names, folders, two- and four-digit years, 12- and 24-hour
// clocks.
TEST(DosListingTest, NamesKeepTheirBlanksAndFoldersAreFolders)
{
    ListingEntry folder = Dos(QStringLiteral("12-07-26  07:03PM       <DIR>          My Folder\r"));
    EXPECT_EQ(folder.name, QStringLiteral("My Folder"));
    EXPECT_EQ(folder.kind, EntryKind::Folder);
    EXPECT_EQ(folder.modified, Local(2026, 12, 7, 19, 3));
    EXPECT_EQ(folder.ModeText(), QString());

    ListingEntry file = Dos(QStringLiteral("01-15-24  10:22AM                 1234 my file.txt"));
    EXPECT_EQ(file.name, QStringLiteral("my file.txt"));
    EXPECT_EQ(file.kind, EntryKind::File);
    EXPECT_EQ(file.size, 1234);
    EXPECT_EQ(file.SizeText(), QStringLiteral("1234"));
    EXPECT_EQ(file.modified, Local(2024, 1, 15, 10, 22));
    EXPECT_EQ(file.DateText(), QStringLiteral("Jan 15  2024"));

    EXPECT_EQ(Dos(QStringLiteral("01-15-2024  12:05AM  5 a")).modified, Local(2024, 1, 15, 0, 5));
    EXPECT_EQ(Dos(QStringLiteral("01-15-1999  12:05PM  5 a")).modified, Local(1999, 1, 15, 12, 5));
    EXPECT_EQ(Dos(QStringLiteral("03-01-98  23:59  5 b;c d")).modified, Local(1998, 3, 1, 23, 59));
    EXPECT_EQ(Dos(QStringLiteral("03-01-98  23:59  5 b;c d")).name, QStringLiteral("b;c d"));
    EXPECT_EQ(Dos(QStringLiteral("03-01-98  11:00pm  9000000000 big")).size, 9000000000LL);
}

TEST(DosListingTest, LinesOfOtherShapesAreLeftOut)
{
    for (const char* line : {"12-07-26  07:03PM       <DIR>", "13-40-26  07:03PM  1 bad date",
                             "12-07-26  13:03PM  1 bad clock", "12-07-26  07:03PM  <JUNCTION> j",
                             "12-07-26  07:03PM  1 ..", "12-07-26  07:03PM  1 a/b", "readme.txt",
                             "2024-01-15 12:34 name"})
        EXPECT_FALSE(ParseListingEntry(QString::fromUtf8(line), ListingFormat::Long).has_value()) << line;
}

// Machine listings as ProFTPD, Pure-FTPd and pyftpdlib send them.
TEST(MachineListingTest, FactsInAnyCaseAndNamesAfterTheFirstBlank)
{
    ListingEntry file = Machine(QStringLiteral("Type=file;Size=5;Modify=20240115102200;UNIX.mode=0644; a b;c.txt\r"));
    EXPECT_EQ(file.name, QStringLiteral("a b;c.txt"));
    EXPECT_EQ(file.kind, EntryKind::File);
    EXPECT_EQ(file.size, 5);
    EXPECT_EQ(file.modified, QDateTime(QDate(2024, 1, 15), QTime(10, 22), Qt::UTC));
    EXPECT_TRUE(file.exactTime);
    EXPECT_EQ(file.ModeText(), QStringLiteral("-rw-r--r--"));

    // The name is everything after the first blank: blanks, "=" and ";" included.
    EXPECT_EQ(Machine(QStringLiteral("type=file;size=1;  two blanks")).name, QStringLiteral(" two blanks"));
    EXPECT_EQ(Machine(QStringLiteral("type=file; x=1;y")).name, QStringLiteral("x=1;y"));
    EXPECT_EQ(Machine(QStringLiteral("TYPE=DIR;unix.mode=0o755; 日本語 フォルダ")).ModeText(),
              QStringLiteral("drwxr-xr-x"));
    // Special bits as Pure-FTPd sends them; the modify fact with fractions of a second.
    EXPECT_EQ(Machine(QStringLiteral("type=dir;UNIX.mode=02775; shared")).ModeText(), QStringLiteral("drwxrwsr-x"));
    // The identity that tells a folder reached through a link from one reached before.
    EXPECT_EQ(Machine(QStringLiteral("type=dir;Unique=803g1a2b; loop")).unique, QStringLiteral("803g1a2b"));
    EXPECT_TRUE(Machine(QStringLiteral("type=dir; plain")).unique.isEmpty());
    EXPECT_EQ(Machine(QStringLiteral("type=dir;UNIX.mode=01777; tmp")).ModeText(), QStringLiteral("drwxrwxrwt"));
    EXPECT_EQ(Machine(QStringLiteral("type=file;modify=20240115102200.123; f")).modified,
              QDateTime(QDate(2024, 1, 15), QTime(10, 22), Qt::UTC));
    // Without a Unix mode, the rights of this user stand for the owner's.
    EXPECT_EQ(Machine(QStringLiteral("type=file;perm=adfrw; f")).ModeText(), QStringLiteral("-rw-------"));
    EXPECT_EQ(Machine(QStringLiteral("type=dir;perm=flcdmpe; d")).ModeText(), QStringLiteral("drwx------"));
    EXPECT_EQ(Machine(QStringLiteral("type=file; f")).ModeText(), QString());
    // A mode of other characters is no mode (and no arithmetic on them).
    EXPECT_EQ(Machine(QStringLiteral("type=file;UNIX.mode=\uFFFF\uFFFF\uFFFF\uFFFF\uFFFF\uFFFF; f")).mode, -1);
    EXPECT_EQ(Machine(QStringLiteral("type=file; f")).SizeText(), QString());
}

TEST(MachineListingTest, LinksInEachServersSpelling)
{
    const ListingEntry symlink = Machine(QStringLiteral("type=OS.unix=symlink;size=7;UNIX.mode=0777; link"));
    EXPECT_EQ(symlink.kind, EntryKind::Link);
    EXPECT_EQ(symlink.ModeText(), QStringLiteral("lrwxrwxrwx"));
    const ListingEntry slink = Machine(QStringLiteral("type=OS.unix=slink:/srv/data;size=9; data"));
    EXPECT_EQ(slink.kind, EntryKind::Link);
    EXPECT_EQ(slink.linkTarget, QStringLiteral("/srv/data"));
    const ListingEntry empty = Machine(QStringLiteral("type=os.UNIX=slink:;size=9; other"));
    EXPECT_EQ(empty.kind, EntryKind::Link);
    EXPECT_EQ(empty.linkTarget, QString());
}

TEST(MachineListingTest, TheFolderItselfItsParentAndOtherShapesAreLeftOut)
{
    for (const char* line : {"type=cdir;modify=20240115102200; .", "type=pdir; ..", "Type=CDir; /home/user",
                             "type=file;size=1;name-without-blank", "-rw-r--r-- 1 u g 1 Jan  1 12:34 a",
                             "type=file; ", "type=file; a/b", ""})
        EXPECT_FALSE(ParseListingEntry(QString::fromUtf8(line), ListingFormat::Machine).has_value()) << line;
}

// Unix lines that earlier fell back to "the last word is the name".
TEST(UnixListingTest, IsoDatesAndTimesWithSeconds)
{
    const ListingEntry iso = Dos(QStringLiteral("-rw-r--r-- 1 user group 1234 2024-01-15 12:34 my file.txt"));
    EXPECT_EQ(iso.name, QStringLiteral("my file.txt"));
    EXPECT_EQ(iso.DateText(), QStringLiteral("2024-01-15 12:34"));
    EXPECT_EQ(iso.modified, Local(2024, 1, 15, 12, 34));

    const ListingEntry full = Dos(QStringLiteral(
        "drwxr-xr-x 2 user group 4096 2024-01-15 12:34:56.123456789 +0100 a dir"));
    EXPECT_EQ(full.name, QStringLiteral("a dir"));
    EXPECT_EQ(full.kind, EntryKind::Folder);
    EXPECT_EQ(full.modified.toUTC(), QDateTime(QDate(2024, 1, 15), QTime(11, 34, 56), Qt::UTC));

    const ListingEntry seconds = Dos(QStringLiteral("-rw-r--r-- 1 user group 5 Jan 15 12:34:56 2024 b c"));
    EXPECT_EQ(seconds.name, QStringLiteral("b c"));
    EXPECT_EQ(seconds.DateText(), QStringLiteral("Jan 15 12:34:56 2024"));
    EXPECT_EQ(seconds.modified, QDateTime(QDate(2024, 1, 15), QTime(12, 34, 56)));
}

TEST(UnixListingTest, TypedValuesBesideTheListedTexts)
{
    const ListingEntry link = Dos(QStringLiteral("lrwxrwxrwx 1 u g 7 Mar 05  2020 link -> a b.txt"));
    EXPECT_EQ(link.kind, EntryKind::Link);
    EXPECT_EQ(link.linkTarget, QStringLiteral("a b.txt"));
    EXPECT_EQ(link.modified, Local(2020, 3, 5, 0, 0));
    EXPECT_FALSE(link.exactTime);
    EXPECT_EQ(Dos(QStringLiteral("-rwsr-S--T 1 u g 1 Mar 05  2020 f")).mode, 07740);
    // A date without a year is the latest such day that is not in the future.
    const QDate today = QDate::currentDate();
    const QString shortDate = QLocale::c().toString(today, QStringLiteral("MMM dd"));
    EXPECT_EQ(Dos(QStringLiteral("-rw-r--r-- 1 u g 1 %1 07:03 f").arg(shortDate)).modified,
              QDateTime(today, QTime(7, 3)));
    const QDate later = today.addDays(10);
    const ListingEntry past = Dos(QStringLiteral("-rw-r--r-- 1 u g 1 %1 07:03 f")
                                      .arg(QLocale::c().toString(later, QStringLiteral("MMM dd"))));
    EXPECT_LT(past.modified.date(), today);
    EXPECT_EQ(past.modified.date().month(), later.month());
}

TEST(UnixListingTest, LinesNotUnderstoodAreLeftOut)
{
    for (const char* line : {"readme.txt", "日本語.txt", " leading", "-rw-r--r-- 1 u g x Jan  1 12:34 a",
                             "-rw-r--r-- 1 u g 1 someday 12:34 a", "total 12"})
        EXPECT_FALSE(ParseListingEntry(QString::fromUtf8(line), ListingFormat::Long).has_value()) << line;
}

TEST(EntryTextTest, MadeFromValuesWhenNothingWasListed)
{
    ListingEntry entry;
    entry.kind = EntryKind::Link;
    entry.mode = 06755;
    entry.size = 42;
    EXPECT_EQ(entry.ModeText(), QStringLiteral("lrwsr-sr-x"));
    EXPECT_EQ(entry.SizeText(), QStringLiteral("42"));
    EXPECT_EQ(entry.DateText(), QString());
    entry.modified = QDateTime::currentDateTime().addDays(-2);
    EXPECT_EQ(entry.DateText().size(), 12);
    EXPECT_TRUE(entry.DateText().contains(u':'));
    entry.modified = QDateTime(QDate(2001, 2, 3), QTime(4, 5));
    EXPECT_EQ(entry.DateText(), QStringLiteral("Feb  3  2001"));
}

// The owner column of each format: where a long listing has one, and which MLSD fact names it.
TEST(OwnerTest, EachFormatsOwnerOrNone)
{
    const struct {
        const char* line;
        const char* owner;
    } unixLines[] = {
        {"-rw-r--r-- 1 alice staff 5 Jan 15 10:22 f", "alice"},
        {"dr-xr-xr-x   2 root                  512 Apr  8  1994 no group", "root"},
        {"-r-xr-xr-x longowner longgroup123456 Feb 12 17:20 run together", "longowner"},
        {"-r--r--r-- 0125039 12 Nov 11 2005 no owner", ""},
        {"d [R----F--] supervisor            512       Jan 16 18:53    netware dir", "supervisor"},
        {"drwxr-xr-x 3 slopri devlab 512 no date dir", "slopri"},
        {"-rw-r--r-- 1 1001 1001 5 Jan 15 10:22 numeric", "1001"},
    };
    for (const auto& line : unixLines)
        EXPECT_EQ(Dos(QString::fromUtf8(line.line)).owner, QString::fromUtf8(line.owner)) << line.line;
    EXPECT_EQ(Dos(QStringLiteral("01-15-24  10:22AM  1234 dos")).owner, QString());

    EXPECT_EQ(Machine(QStringLiteral("type=file;UNIX.owner=bob; f")).owner, QStringLiteral("bob"));
    EXPECT_EQ(Machine(QStringLiteral("type=file;unix.uid=1000; f")).owner, QStringLiteral("1000"));
    // A name wins over a number whichever fact comes first.
    EXPECT_EQ(Machine(QStringLiteral("type=file;unix.ownername=carol;UNIX.owner=1000;unix.uid=1000; f")).owner,
              QStringLiteral("carol"));
    EXPECT_EQ(Machine(QStringLiteral("type=file;unix.uid=1000;UNIX.owner=dave; f")).owner, QStringLiteral("dave"));
    EXPECT_EQ(Machine(QStringLiteral("type=file;size=1; f")).owner, QString());
}

// A long listing's date that left out the year or the clock is known only as listed; one that
// gave both (and MLSD's) is a whole time.
TEST(PartialDateTest, YearOrClockLeftOut)
{
    for (const char* line : {"-rw-r--r-- 1 u g 5 Jan 15 10:22 f", "-rw-r--r-- 1 u g 5 Jan 15  2024 f",
                             "-rw-r--r-- 1 u g 5 4月 18日 2003年 f", "-rw-r--r-- 1 u g 5 29 Jul 02:27 f"})
        EXPECT_TRUE(Dos(QString::fromUtf8(line)).partialDate) << line;
    for (const char* line : {"-rw-r--r-- 1 u g 5 Jan 15 12:34:56 2024 f", "-rw-r--r-- 1 u g 5 2024-01-15 12:34 f",
                             "-rw-r--r-- 1 u g 5 1999/10/12 17:12 f", "01-15-24  10:22AM  1234 dos"})
        EXPECT_FALSE(Dos(QString::fromUtf8(line)).partialDate) << line;
    EXPECT_FALSE(Machine(QStringLiteral("type=file;modify=20240115102200; f")).partialDate);
}

}  // namespace

namespace {

// The cap on one listing's entries counts usable entries only; lines left out cost nothing.
TEST(ReadListingEntriesTest, StopsAtTheCapAndSaysSo)
{
    const QString listing = QStringLiteral(
        "total 3\r\n"
        "-rw-r--r-- 1 u g 1 Jan  1 12:34 a\r\n"
        "-rw-r--r-- 1 u g 1 Jan  1 12:34 ..\r\n"
        "-rw-r--r-- 1 u g 1 Jan  1 12:34 b\r\n"
        "-rw-r--r-- 1 u g 1 Jan  1 12:34 c");
    QStringList names;
    const auto take = [&](ListingEntry&& entry) { names << entry.name; };
    EXPECT_FALSE(ReadListingEntries(listing, ListingFormat::Long, 3, take));
    EXPECT_EQ(names, (QStringList{QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("c")}));
    names.clear();
    EXPECT_TRUE(ReadListingEntries(listing, ListingFormat::Long, 2, take));
    EXPECT_EQ(names, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
}

}  // namespace
