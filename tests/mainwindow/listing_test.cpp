// Listing lines as real servers send them, the panes they fill, and local folders.
#include "engine/ftp_session.h"
#include "mainwindow/listing.h"
#include "mainwindow/pane_view.h"
#include "tests/support/temp_config_dir.h"
#include "tests/support/test_servers.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTreeView>

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

struct Expected {
    const char16_t* line;
    const char16_t* name;  // nullptr: the line is left out
    int isDirectory;
    const char16_t* size;
    const char16_t* date;
    const char16_t* permissions;
};

void Check(const Expected& want)
{
    SCOPED_TRACE(QString::fromUtf16(want.line).toStdString());
    const std::optional<ListingEntry> entry = ParseListingEntry(QString::fromUtf16(want.line), ListingFormat::Long);
    if (!want.name) {
        EXPECT_FALSE(entry.has_value());
        return;
    }
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(entry->name, QString::fromUtf16(want.name));
    EXPECT_EQ(entry->kind == EntryKind::Folder ? 1 : 0, want.isDirectory);
    // A folder's size column shows no number.
    if (!want.isDirectory) {
        EXPECT_EQ(entry->SizeText(), QString::fromUtf16(want.size));
    }
    EXPECT_EQ(entry->DateText(), QString::fromUtf16(want.date));
    EXPECT_EQ(entry->ModeText(), QString::fromUtf16(want.permissions));
}

// The pane's name column, top to bottom.
QStringList Texts(const PaneView& pane)
{
    QStringList texts;
    for (int row = 0; row < pane.RowCount(); ++row)
        texts << pane.Model().data(pane.Model().index(row, PaneModel::NameColumn)).toString();
    return texts;
}

PaneRow FileRow(const QString& name)
{
    PaneRow row;
    row.entry.name = name;
    return row;
}

// A pane of its own, over a settings store of its own (a pane keeps its sort and widths there).
struct RemotePane {
    TempConfigDir config;
    PaneView pane{PaneSide::Remote};
};
struct LocalPane {
    TempConfigDir config;
    PaneView pane{PaneSide::Local};
};

// Lines as vsftpd 3.0 sends them for LIST -a: numeric owners, zero-padded days.
TEST(ParseListingLineTest, VsftpdLines)
{
    const Expected lines[] = {
        {u"drwxrwxrwx    4 1001     1001         4096 Dec 07 07:03 .\r", nullptr, 0, u"", u"", u""},
        {u"drwxrwxrwx    4 1001     1001         4096 Dec 07 07:03 ..\r", nullptr, 0, u"", u"", u""},
        {u"-rw-rw-rw-    1 0        0               2 Dec 07 07:03 .hidden\r", u".hidden", 0, u"2",
         u"Dec 07 07:03", u"-rw-rw-rw-"},
        {u"-rw-rw-rw-    1 0        0               3 Dec 07 07:03 a b.txt\r", u"a b.txt", 0, u"3",
         u"Dec 07 07:03", u"-rw-rw-rw-"},
        {u"drwxrwxrwx    2 0        0            4096 Dec 07 07:03 my folder\r", u"my folder", 1, u"----",
         u"Dec 07 07:03", u"drwxrwxrwx"},
        {u"lrwxrwxrwx    1 0        0               7 Dec 07 07:03 link -> a b.txt\r", u"link", 0, u"7",
         u"Dec 07 07:03", u"lrwxrwxrwx"},
        {u"-rw-rw-rw-    1 0        0            1234 Mar 05  2020 old.bin\r", u"old.bin", 0, u"1234",
         u"Mar 05  2020", u"-rw-rw-rw-"},
        {u"-rw-rw-rw-    1 0        0               5 Dec 07 07:03 two  spaces\r", u"two  spaces", 0, u"5",
         u"Dec 07 07:03", u"-rw-rw-rw-"},
        {u"-rw-rw-rw-    1 0        0               2 Dec 07 07:03 日本語のファイル.txt\r", u"日本語のファイル.txt", 0,
         u"2", u"Dec 07 07:03", u"-rw-rw-rw-"},
    };
    for (const Expected& line : lines)
        Check(line);
}

// pyftpdlib: named owners, and no "." or ".." of its own.
TEST(ParseListingLineTest, PyftpdlibLines)
{
    const Expected lines[] = {
        {u"drwxrwxrwx   2 root     root         4096 Dec 07 07:03 docs\r", u"docs", 1, u"----", u"Dec 07 07:03",
         u"drwxrwxrwx"},
        {u"-rw-rw-rw-   1 root     root         1234 Mar 05  2020 old.bin\r", u"old.bin", 0, u"1234",
         u"Mar 05  2020", u"-rw-rw-rw-"},
        {u"lrwxrwxrwx   1 root     root            7 Dec 07 07:03 link -> a b.txt\r", u"link", 0, u"7",
         u"Dec 07 07:03", u"lrwxrwxrwx"},
    };
    for (const Expected& line : lines)
        Check(line);
}

// Other servers: space-padded days (GNU ls, ProFTPD), no group column (busybox and some
// embedded servers), a month in Japanese, a summary line.
TEST(ParseListingLineTest, OtherServersLines)
{
    const Expected lines[] = {
        {u"-rw-r--r--   1 ftp      ftp         51200 Jan  1 12:34 report 2024.pdf", u"report 2024.pdf", 0,
         u"51200", u"Jan  1 12:34", u"-rw-r--r--"},
        {u"drwxr-xr-x   3 ftp      ftp           512 Jan  1 12:34 docs", u"docs", 1, u"----", u"Jan  1 12:34",
         u"drwxr-xr-x"},
        {u"-rw-r--r-- 1 root 1048576 Feb 29  2024 image.img", u"image.img", 0, u"1048576", u"Feb 29  2024",
         u"-rw-r--r--"},
        {u"-rw-r--r--   1 user     staff           5 12月  7 07:03 メモ.txt", u"メモ.txt", 0, u"5",
         u"12月  7 07:03", u"-rw-r--r--"},
        {u"lrwxrwxrwx   1 user     staff          11 Jan  1 12:34 a -> b -> c", u"a", 0, u"11", u"Jan  1 12:34",
         u"lrwxrwxrwx"},
        // Only a link's name is cut at the arrow.
        {u"-rw-r--r--   1 user     staff           1 Jan  1 12:34 x -> y", u"x -> y", 0, u"1", u"Jan  1 12:34",
         u"-rw-r--r--"},
        // A named owner beside a small numeric group looks like a date of its own ("ftp 50 1024").
        {u"-rw-r--r--   1 ftp      50           1024 Dec  7 07:03 a.txt", u"a.txt", 0, u"1024", u"Dec  7 07:03",
         u"-rw-r--r--"},
        {u"drwxr-xr-x   2 ftp      7            2024 Dec  7 07:03 sub", u"sub", 1, u"----", u"Dec  7 07:03",
         u"drwxr-xr-x"},
        {u"-rw-r--r-- 1 ftp 1234 Jan  1 12:34 b.txt", u"b.txt", 0, u"1234", u"Jan  1 12:34", u"-rw-r--r--"},
        {u"total 12", nullptr, 0, u"", u"", u""},
        {u"total 0\r", nullptr, 0, u"", u"", u""},
        {u"", nullptr, 0, u"", u"", u""},
        {u"\r", nullptr, 0, u"", u"", u""},
    };
    for (const Expected& line : lines)
        Check(line);
}

// A name with "/" or NUL, or no name at all, cannot be an entry of the folder.
TEST(ParseListingLineTest, NamesNoFolderCanHoldAreLeftOut)
{
    EXPECT_FALSE(ParseListingEntry(QStringLiteral("-rw-r--r-- 1 u g 1 Jan  1 12:34 a") + QChar::Null + QStringLiteral("b"), ListingFormat::Long));
    EXPECT_FALSE(ParseListingEntry(QString(QChar::Null), ListingFormat::Long));
    const Expected lines[] = {
        {u"-rw-r--r--   1 u        g               1 Jan  1 12:34 ../../etc/passwd", nullptr, 0, u"", u"", u""},
        {u"-rw-r--r--   1 u        g               1 Jan  1 12:34 sub/file", nullptr, 0, u"", u"", u""},
        {u"-rw-r--r--   1 u        g               1 Jan  1 12:34 ", nullptr, 0, u"", u"", u""},
        {u"-rw-r--r--   1 u        g               1 Jan  1 12:34", nullptr, 0, u"", u"", u""},
        {u"/etc/passwd", nullptr, 0, u"", u"", u""},
        {u"trailing blank ", nullptr, 0, u"", u"", u""},
    };
    for (const Expected& line : lines)
        Check(line);
}

// Lines of no known shape are left out rather than guessed at; MS-DOS lines (IIS) give their
// folders and names with blanks, and texts made from their values.
TEST(ParseListingLineTest, DosLinesAndLinesOfNoKnownShape)
{
    const Expected lines[] = {
        {u"readme.txt\r", nullptr, 0, u"", u"", u""},
        {u"日本語.txt", nullptr, 0, u"", u"", u""},
        {u" leading", nullptr, 0, u"", u"", u""},
        {u"12-07-20  07:03PM       <DIR>          My Folder", u"My Folder", 1, u"----", u"Dec  7  2020", u""},
        {u"01-15-19  10:22AM                 1234 my file.txt\r", u"my file.txt", 0, u"1234", u"Jan 15  2019", u""},
    };
    for (const Expected& line : lines)
        Check(line);
}

TEST(FillRemotePaneTest, MachineListingsFillThePaneLikeLongOnes)
{
    const QString listing = QStringLiteral(
        "type=cdir;modify=20240115102200;UNIX.mode=0755; .\r\n"
        "Type=Dir;Modify=20200115102200;UNIX.mode=0755; My Folder\r\n"
        "type=file;size=12;modify=20200115102200;unix.mode=0o644; a;b c.txt\r\n"
        "type=OS.unix=slink:/srv;UNIX.mode=0777; srv\r\n");
    RemotePane remote;
    PaneView& pane = remote.pane;
    RemoteEntryList entries;
    FillRemotePane(pane, listing, entries, ListingFormat::Machine);
    EXPECT_EQ(Texts(pane), (QStringList{"..", "<My Folder>", "a;b c.txt", "srv"}));
    ASSERT_EQ(entries.size(), 3);
    EXPECT_EQ(entries[0].kind, EntryKind::Folder);
    EXPECT_EQ(entries[0].ModeText(), QStringLiteral("drwxr-xr-x"));
    EXPECT_EQ(entries[1].size, 12);
    EXPECT_EQ(entries[1].ModeText(), QStringLiteral("-rw-r--r--"));
    EXPECT_EQ(entries[1].DateText().size(), 12);
    EXPECT_EQ(entries[2].kind, EntryKind::Link);
}

TEST(FillRemotePaneTest, SortsFoldersFirstAndKeepsListingOrderInTheEntries)
{
    const QString listing = QStringLiteral(
        "total 20\r\n"
        "drwxr-xr-x 2 u g 4096 Dec 07 07:03 .\r\n"
        "drwxr-xr-x 2 u g 4096 Dec 07 07:03 ..\r\n"
        "-rw-r--r-- 1 u g 3 Dec 07 07:03 b.txt\r\n"
        "drwxr-xr-x 2 u g 4096 Dec 07 07:03 Zeta\r\n"
        "-rw-r--r-- 1 u g 3 Dec 07 07:03 A.txt\r\n"
        "drwxr-xr-x 2 u g 4096 Dec 07 07:03 alpha\r\n"
        "-rw-r--r-- 1 u g 3 Dec 07 07:03 bad/name\r\n"
        "-rw-r--r-- 1 u g 9 Dec 07 07:03 c d.txt");  // no final line feed

    RemotePane remote;
    PaneView& pane = remote.pane;
    pane.SetRows({FileRow(QStringLiteral("stale"))});
    RemoteEntryList entries;
    entries.append(ListingEntry{});
    FillRemotePane(pane, listing, entries);

    EXPECT_EQ(Texts(pane), (QStringList{"..", "<alpha>", "<Zeta>", "A.txt", "b.txt", "c d.txt"}));
    QStringList names;
    for (const ListingEntry& entry : entries)
        names << entry.name;
    // The entries hold bare names; only the pane's rows show a folder as "<name>".
    EXPECT_EQ(names, (QStringList{"b.txt", "Zeta", "A.txt", "alpha", "c d.txt"}));
    EXPECT_EQ(entries[1].kind, EntryKind::Folder);
    EXPECT_EQ(entries[4].size, 9);
}

// The handlers take a selection typed: each row carries its entry, so a file named "<x>" stays a
// file of that name beside the folder x.
TEST(FillRemotePaneTest, SelectedRowsGiveTheirEntriesAndKindsInPaneOrder)
{
    const QString listing = QStringLiteral(
        "-rw-r--r-- 1 u g 3 Dec 07 07:03 <x>\r\n"
        "drwxr-xr-x 2 u g 4096 Dec 07 07:03 x\r\n"
        "-rw-r--r-- 1 u g 7 Dec 07 07:03 a.txt\r\n");
    RemotePane remote;
    PaneView& pane = remote.pane;
    RemoteEntryList entries;
    FillRemotePane(pane, listing, entries);
    ASSERT_EQ(Texts(pane), (QStringList{"..", "<x>", "<x>", "a.txt"}));
    pane.Tree().selectAll();
    const std::vector<PaneRow> rows = pane.SelectedRows();
    ASSERT_EQ(rows.size(), 4u);
    EXPECT_EQ(rows[0].kind, PaneRowKind::Parent);
    EXPECT_EQ(rows[1].kind, PaneRowKind::Folder);
    EXPECT_EQ(rows[1].entry.name, QStringLiteral("x"));
    EXPECT_EQ(rows[2].kind, PaneRowKind::File);
    EXPECT_EQ(rows[2].entry.name, QStringLiteral("<x>"));
    EXPECT_EQ(rows[3].entry.size, 7);
}

TEST(FillRemotePaneTest, NoTextLeavesOnlyTheParentAndNoEntry)
{
    RemotePane remote;
    PaneView& pane = remote.pane;
    RemoteEntryList entries;
    FillRemotePane(pane, QString(), entries);
    EXPECT_EQ(Texts(pane), QStringList{".."});
    EXPECT_TRUE(entries.isEmpty());
}

TEST(FillRemotePaneTest, OrdersWithoutRegardToCase)
{
    RemoteEntryList entries;
    for (const auto& [name, kind] : {std::pair{"b", EntryKind::File}, {"B", EntryKind::Folder}, {"a", EntryKind::File},
                                     {"a", EntryKind::Folder}, {"c", EntryKind::Folder}, {"C", EntryKind::File}}) {
        ListingEntry entry;
        entry.name = QString::fromLatin1(name);
        entry.kind = kind;
        entries.append(entry);
    }
    RemotePane remote;
    ShowRemoteEntries(remote.pane, entries);
    EXPECT_EQ(Texts(remote.pane), (QStringList{"..", "<a>", "<B>", "<c>", "a", "b", "C"}));
}

class LocalFolderTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        QDir root(dir.path());
        ASSERT_TRUE(root.mkdir(QStringLiteral("Sub")));
        ASSERT_TRUE(root.mkdir(QStringLiteral(".config")));
        for (const char* name : {"b.txt", ".profile", "A b.txt", "日本語.txt"}) {
            QFile file(root.filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        }
        ASSERT_EQ(symlink("Sub", QFile::encodeName(root.filePath(QStringLiteral("link"))).constData()), 0);
        ASSERT_EQ(symlink("missing", QFile::encodeName(root.filePath(QStringLiteral("broken"))).constData()), 0);
    }
    QTemporaryDir dir;
};

TEST_F(LocalFolderTest, ListsHiddenEntriesAndFoldersInBrackets)
{
    LocalPane local;
    PaneView& pane = local.pane;
    EXPECT_TRUE(ListLocalFolder(pane, dir.path()));
    EXPECT_EQ(Texts(pane), (QStringList{"..", "<.config>", "<link>", "<Sub>", ".profile", "A b.txt", "b.txt",
                                        "broken", "日本語.txt"}));
}

// The entries say what each is: a link to a folder opens like one, a broken link is a link, a
// file has its size, time and mode.
TEST_F(LocalFolderTest, EntriesAreTyped)
{
    QFile sized(QDir(dir.path()).filePath(QStringLiteral("b.txt")));
    ASSERT_TRUE(sized.open(QIODevice::WriteOnly));
    sized.write("12345");
    sized.close();
    ASSERT_TRUE(sized.setPermissions(QFile::ReadOwner | QFile::WriteOwner));
    std::vector<PaneRow> rows;
    ASSERT_TRUE(ReadLocalFolder(dir.path(), rows));
    ASSERT_EQ(rows.size(), 9u);  // ".." and the eight entries
    const auto find = [&](const QString& name) {
        for (const PaneRow& row : rows)
            if (row.entry.name == name && row.kind != PaneRowKind::Parent)
                return row.entry;
        return ListingEntry();
    };
    EXPECT_EQ(find(QStringLiteral("link")).kind, EntryKind::Folder);
    EXPECT_EQ(find(QStringLiteral("broken")).kind, EntryKind::Link);
    EXPECT_EQ(find(QStringLiteral("Sub")).kind, EntryKind::Folder);
    const ListingEntry file = find(QStringLiteral("b.txt"));
    EXPECT_EQ(file.kind, EntryKind::File);
    EXPECT_EQ(file.size, 5);
    EXPECT_EQ(file.mode, 0600);
    EXPECT_TRUE(file.modified.isValid());
}

TEST_F(LocalFolderTest, EmptyFolderHasOnlyTheParentAndMissingFolderFails)
{
    LocalPane local;
    PaneView& pane = local.pane;
    EXPECT_TRUE(ListLocalFolder(pane, QDir(dir.path()).filePath(QStringLiteral("Sub"))));
    EXPECT_EQ(Texts(pane), QStringList{".."});

    pane.SetRows({FileRow(QStringLiteral("stale"))});
    EXPECT_FALSE(ListLocalFolder(pane, QDir(dir.path()).filePath(QStringLiteral("none"))));
    EXPECT_EQ(Texts(pane), QStringList{".."});
}

TEST(LocalRootTest, RootAndEmptyTextListTheRootWithoutParent)
{
    LocalPane root;
    LocalPane empty;
    EXPECT_TRUE(ListLocalFolder(root.pane, QStringLiteral("/")));
    EXPECT_TRUE(ListLocalFolder(empty.pane, QString()));
    EXPECT_EQ(Texts(root.pane), Texts(empty.pane));
    EXPECT_TRUE(Texts(root.pane).contains(QStringLiteral("<tmp>")));
    EXPECT_FALSE(Texts(root.pane).contains(QStringLiteral("..")));
}

// The real servers' listings of one folder, through the engine, into the pane.
TEST(RemoteListingTest, RealServersFillThePane)
{
    const std::vector<TestServer> servers = TestServers();
    if (servers.empty())
        GTEST_SKIP() << "no test FTP servers (run scripts/test.sh)";
    for (const TestServer& server : servers) {
        SCOPED_TRACE(server.name.toStdString());
        QDir root(server.root);
        const QString folderName = QStringLiteral("listing-%1").arg(getpid());
        ASSERT_TRUE(root.mkpath(folderName + QStringLiteral("/sub dir")));
        QDir folder(root.filePath(folderName));
        const auto removeFolder = qScopeGuard([&folder] { folder.removeRecursively(); });
        for (const char* name : {"a b.txt", "日本語.txt", "Z.bin"}) {
            QFile file(folder.filePath(QString::fromUtf8(name)));
            ASSERT_TRUE(file.open(QIODevice::WriteOnly));
            file.write("12345");
        }
        ASSERT_EQ(symlink("a b.txt", QFile::encodeName(folder.filePath(QStringLiteral("link"))).constData()), 0);

        // Without FEAT a long listing; with it pyftpdlib gives a machine listing, vsftpd none.
        for (bool askFeatures : {false, true}) {
            SCOPED_TRACE(askFeatures ? "after FEAT" : "without FEAT");
            FtpSession session;
            ASSERT_TRUE(session.ConnectToServer(server.host, server.port));
            ASSERT_TRUE(session.UserLogin(server.user, server.password));
            if (askFeatures) {
                ASSERT_TRUE(session.QueryFeatures());
            }
            ASSERT_TRUE(session.ChangeDir(QLatin1Char('/') + folderName));
            RemotePane remote;
            PaneView& pane = remote.pane;
            RemoteEntryList entries;
            EXPECT_TRUE(ListRemoteFolder(pane, QLatin1Char('/') + folderName, session, entries));
            EXPECT_EQ(session.LastListingIsMachine(), askFeatures && server.name == QStringLiteral("pyftpdlib"));
            session.DisconnectFromServer();

            EXPECT_EQ(Texts(pane), (QStringList{"..", "<sub dir>", "a b.txt", "link", "Z.bin", "日本語.txt"}));
            for (const ListingEntry& entry : entries) {
                if (entry.name == QStringLiteral("a b.txt")) {
                    EXPECT_EQ(entry.size, 5);
                    EXPECT_EQ(entry.DateText().size(), 12);
                    EXPECT_EQ(entry.ModeText().left(4), QStringLiteral("-rw-"));
                    EXPECT_EQ(entry.modified.isValid(), true);
                }
            }
            EXPECT_EQ(entries.size(), 5);
        }
    }
}

}  // namespace
