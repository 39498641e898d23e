// The window's chrome: splitters, the size that suits the screen, the transfer's figures in the
// progress box and the title, and the desktop notice at a long transfer's end.
#include "mainwindow/main_window.h"
#include "mainwindow/notifications.h"
#include "mainwindow/pane_view.h"
#include "mainwindow/progress_box.h"
#include "mainwindow/progress_texts.h"
#include "mainwindow/strings.h"
#include "mainwindow/window_chrome.h"
#include "settings/settings_store.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QBoxLayout>
#include <QTreeView>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QScreen>
#include <QSplitter>
#include <QThread>
#include <QUrl>

namespace {
// The smallest start size that still shows two panes of names side by side.
constexpr QSize SmallestStartSize(800, 560);
constexpr int StartWidthPercent = 52;
constexpr int StartHeightPercent = 63;
constexpr int PerMille = 1000;
}  // namespace

QSize StartWindowSize(const QSize& available)
{
    const QSize share(available.width() * StartWidthPercent / 100, available.height() * StartHeightPercent / 100);
    return share.expandedTo(SmallestStartSize).boundedTo(available);
}

QString RemotePathUrl(const QString& host, quint16 port, const QString& userName, const QString& path)
{
    QUrl url;
    url.setScheme(QStringLiteral("ftp"));
    // Decoded: a "%" or "@" in a name is the character itself and is encoded on output.
    url.setUserName(userName, QUrl::DecodedMode);
    url.setHost(host);
    url.setPort(port);
    url.setPath(path.startsWith(u'/') ? path : u'/' + path, QUrl::DecodedMode);
    return url.toString(QUrl::FullyEncoded);
}

void MainWindow::BuildChrome()
{
    paneSplitter = ui->paneSplitter;
    logSplitter = ui->logSplitter;
    arrowPane = ui->arrowPane;
    paneSplitter->setAccessibleName(ChromeText::PaneSplitterName);
    logSplitter->setAccessibleName(ChromeText::LogSplitterName);
    // Extra room goes to the lists; the arrows and the log keep their size.
    paneSplitter->setStretchFactor(0, 1);
    paneSplitter->setStretchFactor(1, 0);
    paneSplitter->setStretchFactor(2, 1);
    logSplitter->setStretchFactor(0, 1);
    logSplitter->setStretchFactor(1, 0);
    // The log shows one message; two lines give a wrapped message room, and the splitter more.
    const int twoLines = logBox->fontMetrics().lineSpacing() * 2 + 2 * logBox->frameWidth() +
                         2 * int(logBox->document()->documentMargin());
    logBox->setMinimumHeight(twoLines);

    QSize start = StartWindowSize(QSize(1920, 1080));
    if (const QScreen* screen = this->screen())
        start = StartWindowSize(screen->availableGeometry().size());
    resize(start.expandedTo(minimumSizeHint()));
    logSplitter->setSizes({height() - twoLines, twoLines});
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    sendNotice = &SendDesktopNotice;
    // The keys act on the pane that had the keyboard last when neither has it now.
    lastFocusedPane = localList;
    connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) {
        if (now && (now == localPathEdit || localList->isAncestorOf(now)))
            lastFocusedPane = localList;
        else if (now && (now == remotePathEdit || remoteList->isAncestorOf(now)))
            lastFocusedPane = remoteList;
    });
    connect(&localList->Tree(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& place) { ShowPaneMenu(localList, place); });
    connect(&remoteList->Tree(), &QWidget::customContextMenuRequested, this,
            [this](const QPoint& place) { ShowPaneMenu(remoteList, place); });
    ApplyNarrowLayout();
}

void MainWindow::RestoreGeometry()
{
    const QRect stored(SettingsStore::ReadNumber(SettingName::WindowLeft),
                       SettingsStore::ReadNumber(SettingName::WindowTop),
                       SettingsStore::ReadNumber(SettingName::WindowWidth),
                       SettingsStore::ReadNumber(SettingName::WindowHeight));
    if (stored.width() <= 0 || stored.height() <= 0)
        return;
    resize(stored.size().expandedTo(minimumSizeHint()));
    // A place that no screen shows any more (a monitor unplugged) keeps the centred one.
    for (const QScreen* screen : QGuiApplication::screens())
        if (screen->availableGeometry().intersects(QRect(stored.topLeft(), size()))) {
            move(stored.topLeft());
            return;
        }
}

void MainWindow::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    ApplyNarrowLayout();
}

void MainWindow::ApplyNarrowLayout()
{
    // Side by side each pane would be too narrow for its names: one above the other, the
    // arrows in a row between them.
    const bool narrow = width() < NarrowWindowWidth;
    const Qt::Orientation wanted = narrow ? Qt::Vertical : Qt::Horizontal;
    if (paneSplitter->orientation() == wanted)
        return;
    paneSplitter->setOrientation(wanted);
    if (auto* arrows = qobject_cast<QBoxLayout*>(arrowPane->layout()))
        arrows->setDirection(narrow ? QBoxLayout::LeftToRight : QBoxLayout::TopToBottom);
}

void MainWindow::RestoreSplitters()
{
    if (splittersRestored)
        return;
    splittersRestored = true;
    const qint32 share = SettingsStore::ReadNumber(SettingName::WindowPaneShare);
    const qint32 logHeight = SettingsStore::ReadNumber(SettingName::WindowLogHeight);
    if (share > 0 && share < PerMille) {
        QList<int> sizes = paneSplitter->sizes();
        if (sizes.size() == 3) {
            const int panes = sizes[0] + sizes[2];
            sizes[0] = int(qint64(panes) * share / PerMille);
            sizes[2] = panes - sizes[0];
            paneSplitter->setSizes(sizes);
        }
    }
    if (logHeight > 0) {
        const QList<int> sizes = logSplitter->sizes();
        const int whole = sizes.value(0) + sizes.value(1);
        if (logHeight < whole)
            logSplitter->setSizes({whole - logHeight, logHeight});
    }
}

void MainWindow::StoreSplitters()
{
    const QList<int> panes = paneSplitter->sizes();
    if (panes.size() == 3 && panes[0] + panes[2] > 0)
        SettingsStore::WriteNumber(SettingName::WindowPaneShare,
                                   qint32(qint64(panes[0]) * PerMille / (panes[0] + panes[2])));
    const QList<int> log = logSplitter->sizes();
    if (log.size() == 2 && log[1] > 0)
        SettingsStore::WriteNumber(SettingName::WindowLogHeight, log[1]);
}

void MainWindow::CloseProgressBox()
{
    if (progressBox)
        progressBox->CloseBox();
    progressBox.reset();
    setWindowTitle(ChromeText::AppName);
    // Within a handler the transfer ends with it (a selection's files each have a box).
    if (serverTaskDepth == 0)
        EndTransferChrome();
}

void MainWindow::NoteTransferRunning(const BatchProgress* progress)
{
    if (!transferRunning) {
        transferRunning = true;
        transferClock.start();
        lastFigures.reset();
    }
    if (progress)
        lastFigures = *progress;
    activeAtLatestProgress = WindowOrItsBoxActive();
}

bool MainWindow::WindowOrItsBoxActive() const
{
    // The progress box in front counts as the window: it is the window's own.
    for (const QWidget* active = QApplication::activeWindow(); active; active = active->parentWidget())
        if (active == this)
            return true;
    return false;
}

void MainWindow::EndTransferChrome()
{
    if (!transferRunning)
        return;
    transferRunning = false;
    setWindowTitle(ChromeText::AppName);
    const qint64 duration = qMax(transferClock.elapsed(), lastFigures ? lastFigures->elapsedMs : 0);
    if (!ShouldNotifyTransferEnd(duration, WindowOrItsBoxActive() || activeAtLatestProgress) || !sendNotice)
        return;
    QString body = LogText().section(u'\n', 0, 0).trimmed();
    if (lastFigures && lastFigures->isBatch)
        body = ChromeText::TransferEndedBatch.arg(QString::number(lastFigures->files), ByteSizeText(lastFigures->bytes)) +
               (body.isEmpty() ? QString() : u'\n' + body);
    else if (lastFigures && !lastFigures->connections.isEmpty() && body.isEmpty())
        body = lastFigures->connections.first().name;
    sendNotice(ChromeText::TransferEnded, body);
}
