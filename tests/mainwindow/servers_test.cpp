// Real servers as the window meets them after FEAT: pyftpdlib lists with MLSD, vsftpd with LIST.
// Names with blanks, ";" and Japanese; links opened like folders; modification times kept.
#include "tests/mainwindow/files_fixture.h"

#include <QFileInfo>
#include <QTimeZone>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

void SetFileTime(const QString& path, const QDateTime& time)
{
    const timespec times[2] = {{time_t(time.toSecsSinceEpoch()), 0}, {time_t(time.toSecsSinceEpoch()), 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times, 0), 0);
}

QDateTime FileTime(const QString& path)
{
    return QFileInfo(path).lastModified().toUTC();
}

class ServerHabitsTest : public RemoteFilesTest {
protected:
    void SetUp() override
    {
        RemoteFilesTest::SetUp();
        if (IsSkipped())
            return;
        ASSERT_TRUE(MainWindowTestAccess::Session(*window).QueryFeatures()) << Reply();
        SettingsStore::WriteFlag(SettingName::CheckOverwrite, false);
        window->SelectBinaryMode();
    }
    bool UsesMachineListing() const { return server->name == QStringLiteral("pyftpdlib"); }
};

const QString OddName = QStringLiteral("a; b 日本 語.txt");

TEST_P(ServerHabitsTest, ListingFormatFollowsFeat)
{
    PutRemoteFile(OddName, "12345");
    PutRemoteFolder(folder + QStringLiteral("/my folder;1"));
    Relist();
    EXPECT_EQ(MainWindowTestAccess::Session(*window).LastListingIsMachine(), UsesMachineListing());
    EXPECT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("<my folder;1>"), OddName}));
    const RemoteEntryList& entries = window->RemoteEntries();
    const int file = FindEntry(entries, OddName);
    ASSERT_GE(file, 0);
    EXPECT_EQ(entries[file].size, 5);
    EXPECT_EQ(entries[file].ModeText(), QStringLiteral("-rw-r--r--"));
    EXPECT_EQ(entries[file].DateText().size(), 12);
    EXPECT_EQ(entries[file].exactTime, UsesMachineListing());
}

TEST_P(ServerHabitsTest, TimesKeptOnDownloadAndUpload)
{
    const QDateTime serverTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    PutRemoteFile(OddName, "remote");
    SetFileTime(InFolder(OddName), serverTime);
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {OddName}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    ASSERT_EQ(ReadFile(Scratch(OddName)), QByteArray("remote")) << window->LogText().toStdString();
    // From MLSD's modify (pyftpdlib) or MDTM (vsftpd), to the second.
    EXPECT_EQ(FileTime(Scratch(OddName)), serverTime);

    const QDateTime localTime(QDate(2019, 5, 6), QTime(7, 8, 9), Qt::UTC);
    const QString upName = QStringLiteral("up; 送る.bin");
    WriteFile(Scratch(upName), "local");
    SetFileTime(Scratch(upName), localTime);
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {upName}));
    prompter.QueueAnswer(true);
    window->UploadSelection();
    ASSERT_EQ(ReadFile(InFolder(upName)), QByteArray("local")) << window->LogText().toStdString();
    // MFMT where FEAT lists it (pyftpdlib); vsftpd has no way, so the upload's own time stays.
    EXPECT_EQ(MainWindowTestAccess::Session(*window).HasFeature(QStringLiteral("MFMT")), UsesMachineListing());
    if (MainWindowTestAccess::Session(*window).HasFeature(QStringLiteral("MFMT")))
        EXPECT_EQ(FileTime(InFolder(upName)), localTime);
    else
        EXPECT_NE(FileTime(InFolder(upName)), localTime);
}

TEST_P(ServerHabitsTest, TimesLeftAloneWhenTheBoxIsOff)
{
    SettingsStore::WriteFlag(SettingName::KeepTimestamps, false);
    const QDateTime serverTime(QDate(2020, 1, 2), QTime(3, 4, 5), Qt::UTC);
    PutRemoteFile(QStringLiteral("plain.txt"), "remote");
    SetFileTime(InFolder(QStringLiteral("plain.txt")), serverTime);
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("plain.txt")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    ASSERT_EQ(ReadFile(Scratch(QStringLiteral("plain.txt"))), QByteArray("remote"));
    EXPECT_NE(FileTime(Scratch(QStringLiteral("plain.txt"))), serverTime);
}

// A link to a folder opens like one; a link to a file refuses CWD and stays a file for transfers.
TEST_P(ServerHabitsTest, LinksOpenLikeFoldersOrStayFiles)
{
    PutRemoteFolder(folder + QStringLiteral("/target dir"));
    PutRemoteFile(QStringLiteral("target dir/inside.txt"), "in");
    PutRemoteFile(QStringLiteral("a.txt"), "file");
    ASSERT_EQ(::symlink("target dir", QFile::encodeName(InFolder(QStringLiteral("dir link"))).constData()), 0);
    ASSERT_EQ(::symlink("a.txt", QFile::encodeName(InFolder(QStringLiteral("file link"))).constData()), 0);
    Relist();
    // pyftpdlib follows links in MLSD and shows the folder as one; vsftpd's LIST shows the link.
    const QString dirText = UsesMachineListing() ? QStringLiteral("<dir link>") : QStringLiteral("dir link");
    ASSERT_TRUE(PaneTexts(RemoteList()).contains(dirText)) << PaneTexts(RemoteList()).join(u'|').toStdString();

    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("file link")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("file link")}));
    prompter.QueueAnswer(true);
    window->DownloadSelection();
    EXPECT_EQ(ReadFile(Scratch(QStringLiteral("file link"))), QByteArray("file"));

    ASSERT_TRUE(PutCaret(RemoteList(), dirText));
    window->OpenRemoteEntry();
    // The path is the one the server reports: vsftpd names the target, pyftpdlib the link.
    EXPECT_TRUE(window->RemotePath() == RemoteFolder(QStringLiteral("target dir")) ||
                window->RemotePath() == RemoteFolder(QStringLiteral("dir link")))
        << window->RemotePath().toStdString();
    EXPECT_EQ(PaneTexts(RemoteList()), (QStringList{QStringLiteral(".."), QStringLiteral("inside.txt")}));
    ASSERT_TRUE(PutCaret(RemoteList(), QStringLiteral("..")));
    window->OpenRemoteEntry();
    EXPECT_EQ(window->RemotePath(), RemoteFolder());
}

}  // namespace

INSTANTIATE_TEST_SUITE_P(Servers, ServerHabitsTest, ::testing::ValuesIn(AllServers()));
