// The window's batches over several connections, against the real servers: a tree goes up
// whole over three connections, and 中止 stops a download on every connection at once.
#include "mainwindow/progress_box.h"
#include "mainwindow/strings.h"
#include "tests/mainwindow/cancel_press.h"
#include "tests/mainwindow/files_fixture.h"
#include "transfer/local_files.h"

#include <QFileInfo>

#include <gtest/gtest.h>

namespace {

class SpreadWindowTest : public RemoteFilesTest {
protected:
    void SetUp() override
    {
        RemoteFilesTest::SetUp();
        if (IsSkipped())
            return;
        SettingsStore::WriteNumber(QLatin1String(SettingName::MaxConnections), 3);
        MainWindowTestAccess::SetBatchLogin(*window, server->host, server->port, server->user, server->password);
        window->SelectBinaryMode();
    }
};

bool Exists(const QString& path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

}  // namespace

TEST_P(SpreadWindowTest, ATreeGoesUpWholeAndADownloadStopsOnEveryConnectionAtOneCancel)
{
    const QString tree = Scratch(QStringLiteral("tree"));
    ASSERT_TRUE(QDir().mkpath(tree + QStringLiteral("/in")));
    for (int i = 0; i < 7; ++i)
        WriteFile(tree + (i % 2 ? QStringLiteral("/in/") : QStringLiteral("/")) + QStringLiteral("f%1.bin").arg(i),
                  QByteArray(1000 + i, char('a' + i)));
    MainWindowTestAccess::ShowLocal(*window, Scratch());
    ASSERT_TRUE(SelectTexts(LocalList(), {QStringLiteral("<tree>")}));
    prompter.QueueAnswer(true);
    window->UploadSelection();
    EXPECT_FALSE(window->LogText().contains(QStringLiteral("失敗"))) << window->LogText().toStdString();
    for (int i = 0; i < 7; ++i) {
        const QString name = (i % 2 ? QStringLiteral("tree/in/") : QStringLiteral("tree/")) + QStringLiteral("f%1.bin").arg(i);
        EXPECT_EQ(ReadFile(InFolder(name)), QByteArray(1000 + i, char('a' + i))) << i;
    }

    // Four files no connection can finish before 中止: it comes once the box shows the other two
    // connections at work.
    PutRemoteFolder(folder + QStringLiteral("/big"));
    for (int i = 1; i <= 4; ++i) {
        PutRemoteFile(QStringLiteral("big/%1.bin").arg(i), {});
        QFile file(InFolder(QStringLiteral("big/%1.bin").arg(i)));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.resize(qint64(1) << 30));
    }
    Relist();
    ASSERT_TRUE(SelectTexts(RemoteList(), {QStringLiteral("<big>")}));
    prompter.QueueAnswer(true);
    PressCancelWhen press([this](const QString&) {
        auto* box = qobject_cast<ProgressBox*>(MainWindowTestAccess::ProgressBoxOf(*window));
        if (!box)
            return false;
        const QStringList lines = box->ConnectionLineTexts();
        return lines.size() == 2 && lines[0].contains(QStringLiteral(".bin")) && lines[1].contains(QStringLiteral(".bin"));
    });
    window->DownloadSelection();
    ASSERT_TRUE(press.pressed);
    EXPECT_TRUE(window->LogText().contains(MainText::Cancelled)) << window->LogText().toStdString();
    for (int i = 1; i <= 4; ++i)
        EXPECT_FALSE(Exists(Scratch(QStringLiteral("big/%1.bin").arg(i)))) << i;
    // The fourth file never started.
    EXPECT_FALSE(Exists(PartialPath(Scratch(QStringLiteral("big/4.bin")))));
    // The window's own connection is back in step for the next command.
    EXPECT_EQ(MainWindowTestAccess::Session(*window).GetRemoteDir(), RemoteFolder());
}

INSTANTIATE_TEST_SUITE_P(Servers, SpreadWindowTest, ::testing::ValuesIn(AllServers()));
