// The window's chrome: the progress box's figures, the title's percentage, the desktop notice,
// the size that suits the screen and the splitters.
#include "mainwindow/main_window.h"
#include "mainwindow/notifications.h"
#include "mainwindow/progress_box.h"
#include "mainwindow/progress_texts.h"
#include "mainwindow/window_chrome.h"
#include "resources/resource_ids.h"
#include "tests/support/main_window_test_access.h"
#include "tests/support/scripted_prompter.h"
#include "tests/support/temp_config_dir.h"

#include <QProgressBar>
#include <QPushButton>
#include <QSplitter>
#include <QTest>

#include <gtest/gtest.h>

namespace {

FileProgress Moving(const QString& name, qint64 bytes, qint64 total)
{
    FileProgress file;
    file.stage = FileProgress::Stage::Moving;
    file.name = name;
    file.bytes = bytes;
    file.total = total;
    file.elapsedMs = 2000;
    return file;
}

// A batch of 120 files, 12.3 MB of 1 GB moved, two connections at work.
BatchProgress TwoConnectionBatch()
{
    BatchProgress progress;
    progress.isBatch = true;
    progress.files = 120;
    progress.filesDone = 30;
    progress.bytes = 1'000'000'000;
    progress.bytesDone = 12'300'000;
    progress.elapsedMs = 4000;
    progress.connections = {Moving(QStringLiteral("/pub/first.bin"), 250, 1000),
                            Moving(QStringLiteral("/pub/a-rather-long-second-name.iso"), 1'000'000, 4'000'000)};
    return progress;
}

TEST(ProgressBoxTest, ShowsTheTextBarsLinesAndOtherConnectionsOfABatch)
{
    ProgressBox box;
    box.SetMinRepaintInterval(0);
    box.SetCancellable(true);
    const BatchProgress batch = TwoConnectionBatch();
    box.SetFigures(batch);
    box.OpenBox();

    EXPECT_EQ(box.ShownText(), ProgressBoxText(batch));
    EXPECT_EQ(box.FileBar()->value(), 250);
    EXPECT_EQ(box.FilesBar()->value(), 250);
    EXPECT_EQ(box.BytesBar()->value(), 12);
    EXPECT_FALSE(box.FilesBar()->isHidden());
    EXPECT_EQ(box.SizeLineText(), QStringLiteral("12.3 MB / 1.0 GB"));
    EXPECT_TRUE(box.RateLineText().contains(QStringLiteral("残り"))) << box.RateLineText().toStdString();
    EXPECT_EQ(box.ConnectionLineTexts(), QStringList{QStringLiteral("接続 2: ...second-name.iso  1.0 MB / 4.0 MB")});
    for (const QWidget* bar : {box.FileBar(), box.FilesBar(), box.BytesBar()})
        EXPECT_FALSE(bar->accessibleName().isEmpty());
    EXPECT_TRUE(box.CancelButton()->isVisible());

    // One connection again, then a single file of unknown size: the extra lines and the batch's
    // bars go, and the file's bar says it does not know.
    BatchProgress single;
    single.files = 1;
    single.connections = {Moving(QStringLiteral("x.bin"), 5000, -1)};
    box.SetFigures(single);
    EXPECT_TRUE(box.ConnectionLineTexts().isEmpty());
    EXPECT_TRUE(box.FilesBar()->isHidden());
    EXPECT_TRUE(box.BytesBar()->isHidden());
    EXPECT_EQ(box.FileBar()->maximum(), 0);
    EXPECT_EQ(box.SizeLineText(), QStringLiteral("5.0 KB"));
    EXPECT_TRUE(box.RateLineText().isEmpty());
    box.CloseBox();
}

TEST(ProgressBoxTest, BarsHoldSizesNoIntCanAndNeverPassTheEnd)
{
    EXPECT_EQ(ProgressPerMille(0, 0), -1);
    EXPECT_EQ(ProgressPerMille(5, -1), -1);
    EXPECT_EQ(ProgressPerMille(1, 3), 333);
    EXPECT_EQ(ProgressPerMille(qint64(1) << 60, qint64(1) << 61), 500);
    EXPECT_EQ(ProgressPerMille(200, 100), 1000);
    EXPECT_EQ(ProgressPerMille(-5, 100), 0);
}

TEST(WindowChromeTest, StartSizeSuitsTheScreenAndStaysOnIt)
{
    const QSize full = StartWindowSize(QSize(1920, 1080));
    EXPECT_NEAR(full.width(), 1000, 10);
    EXPECT_NEAR(full.height(), 680, 10);
    EXPECT_EQ(StartWindowSize(QSize(1366, 768)), QSize(800, 560));
    EXPECT_EQ(StartWindowSize(QSize(640, 480)), QSize(640, 480));
    const QSize wide = StartWindowSize(QSize(3840, 2160));
    EXPECT_GT(wide.width(), 1900);
    EXPECT_LE(wide.height(), 2160);
}

TEST(WindowChromeTest, RemoteUrlsCarryTheUserNeverAPasswordAndEncodeEverything)
{
    EXPECT_EQ(RemotePathUrl(QStringLiteral("ftp.example.com"), 2121, QStringLiteral("a b@c"),
                            QStringLiteral("/日本/x y#z?%")),
              QStringLiteral("ftp://a%20b%40c@ftp.example.com:2121/%E6%97%A5%E6%9C%AC/x%20y%23z%3F%25"));
    EXPECT_EQ(RemotePathUrl(QStringLiteral("::1"), 21, QStringLiteral("user"), QStringLiteral("/")),
              QStringLiteral("ftp://user@[::1]:21/"));
}

TEST(WindowChromeTest, OnlyALongTransferEndingInTheBackgroundIsNoticed)
{
    EXPECT_TRUE(ShouldNotifyTransferEnd(10'001, false));
    EXPECT_FALSE(ShouldNotifyTransferEnd(10'000, false));
    EXPECT_FALSE(ShouldNotifyTransferEnd(600'000, true));
    // Without a notification service nothing happens and nothing waits.
    SendDesktopNotice(QStringLiteral("t"), QStringLiteral("b"));
}

class ChromeWindowTest : public ::testing::Test {
protected:
    TempConfigDir config;
    ScriptedPrompter prompter;
};

TEST_F(ChromeWindowTest, FiguresPutUpTheBoxAndThePercentageUntilTheTransferEnds)
{
    MainWindow window;
    QStringList notices;
    MainWindowTestAccess::SetNoticeSender(window, [&notices](const QString& summary, const QString& body) {
        notices << summary + u'|' + body;
    });
    BatchProgress progress = TwoConnectionBatch();
    progress.bytesDone = 420'000'000;
    window.ShowTransferFigures(progress);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("42% - Tallowin"));
    auto* box = qobject_cast<ProgressBox*>(MainWindowTestAccess::ProgressBoxOf(window));
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->ShownText(), ProgressBoxText(progress));

    // Later figures go to the same box.
    window.ShowTransferFigures(progress);
    EXPECT_EQ(MainWindowTestAccess::ProgressBoxOf(window), box);

    // Eleven seconds, another window in front: the end is noticed once, and the title is plain.
    QWidget elsewhere;
    elsewhere.show();
    elsewhere.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&elsewhere));
    progress.elapsedMs = 11'000;
    window.ShowTransferFigures(progress);
    MainWindowTestAccess::EndTransferBox(window);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tallowin"));
    EXPECT_EQ(MainWindowTestAccess::ProgressBoxOf(window), nullptr);
    ASSERT_EQ(notices.size(), 1);
    EXPECT_TRUE(notices.first().startsWith(QStringLiteral("転送が終わりました|120 個のファイル (1.0 GB)")))
        << notices.first().toStdString();

    // A short one is not, and neither is a long one the person watched.
    progress.elapsedMs = 3'000;
    window.ShowTransferFigures(progress);
    MainWindowTestAccess::EndTransferBox(window);
    elsewhere.hide();
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    progress.elapsedMs = 11'000;
    window.ShowTransferFigures(progress);
    MainWindowTestAccess::EndTransferBox(window);
    EXPECT_EQ(notices.size(), 1);

    // Nothing to say how far it is: no percentage.
    BatchProgress unknown;
    unknown.connections = {Moving(QStringLiteral("x"), 10, -1)};
    window.ShowTransferFigures(unknown);
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Tallowin"));
    MainWindowTestAccess::EndTransferBox(window);
}

TEST_F(ChromeWindowTest, PanesSitSideBySideAndStackWhenTheWindowIsNarrow)
{
    MainWindow window;
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    EXPECT_EQ(window.PaneSplitter()->orientation(), Qt::Horizontal);
    EXPECT_EQ(window.LogSplitter()->orientation(), Qt::Vertical);
    EXPECT_LT(window.LocalList()->mapTo(&window, QPoint()).x(), window.RemoteList()->mapTo(&window, QPoint()).x());
    EXPECT_LT(window.LocalList()->mapTo(&window, QPoint()).y(),
              window.Control(MainControlId::LogBox)->mapTo(&window, QPoint()).y());
    EXPECT_FALSE(window.PaneSplitter()->accessibleName().isEmpty());
    EXPECT_EQ(window.LocalList()->Tree().accessibleName(), QStringLiteral("ローカル"));
    EXPECT_EQ(window.RemoteList()->Tree().accessibleName(), QStringLiteral("リモート"));

    const int narrow = window.minimumSizeHint().width();
    ASSERT_LT(narrow, 520);
    window.resize(narrow, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.PaneSplitter()->orientation(), Qt::Vertical);
    EXPECT_LT(window.LocalList()->mapTo(&window, QPoint()).y(), window.RemoteList()->mapTo(&window, QPoint()).y());
    // Every button is still there to press, inside the window.
    for (int id = MainControlId::LocalPath; id <= MainControlId::Rename; ++id) {
        QWidget* control = window.Control(id);
        ASSERT_NE(control, nullptr) << id;
        EXPECT_TRUE(control->isVisible()) << id;
        EXPECT_GT(control->width(), 0) << id;
        EXPECT_LE(control->mapTo(&window, QPoint(control->width(), 0)).x(), window.width()) << id;
    }
    window.resize(900, 600);
    QCoreApplication::processEvents();
    EXPECT_EQ(window.PaneSplitter()->orientation(), Qt::Horizontal);
}

TEST_F(ChromeWindowTest, SplitterPlacesComeBackInTheNextWindow)
{
    int localWidth = 0;
    int logHeight = 0;
    {
        MainWindow window;
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
        QList<int> panes = window.PaneSplitter()->sizes();
        ASSERT_EQ(panes.size(), 3);
        const int both = panes[0] + panes[2];
        panes[0] = both / 4;
        panes[2] = both - panes[0];
        window.PaneSplitter()->setSizes(panes);
        QList<int> rows = window.LogSplitter()->sizes();
        rows[1] += 60;
        rows[0] -= 60;
        window.LogSplitter()->setSizes(rows);
        localWidth = window.PaneSplitter()->sizes()[0];
        logHeight = window.LogSplitter()->sizes()[1];
        ASSERT_TRUE(window.close());
    }
    MainWindow again;
    again.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&again));
    EXPECT_NEAR(again.PaneSplitter()->sizes()[0], localWidth, 3);
    EXPECT_EQ(again.LogSplitter()->sizes()[1], logHeight);
}

}  // namespace
