#include "mainwindow/main_window.h"

#include "mainwindow/listing.h"
#include "mainwindow/pane_view.h"
#include "mainwindow/progress_box.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"
#include "resources/resource_ids.h"
#include "resources/version_info.h"
#include "settings/settings_store.h"
#include "transfer/outcome.h"
#include "transfer/strings.h"
#include "ui_main_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QEventLoop>
#include <QLineEdit>
#include <QTreeView>
#include <QThread>

namespace {
// Work that ends sooner than this shows no box of its own; a person would only see it flicker.
constexpr int WorkingBoxDelayMs = 300;
constexpr int ConnectionClosedCode = 421;
}  // namespace

MainWindow::MainWindow(QWidget* parent)
    : QDialog(parent), ui(std::make_unique<Ui::MainWindowForm>())
{
    SettingsStore::StoreFirstStartDefaults();
    // The icon is compiled into this static library; naming it keeps the linker from dropping it.
    Q_INIT_RESOURCE(tallowin);
    ui->setupUi(this);
    BindControls();
    setWindowFlag(Qt::WindowMaximizeButtonHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setWindowIcon(QIcon(QStringLiteral(":/tallowin/icon_128.png")));

    // Splitters, the size that suits the screen, centred on it; then the stored place.
    BuildChrome();
    RestoreGeometry();

    // The session reports a lone transfer's figures on the worker's thread (a batch puts in its
    // own for its time); the box lives on the window's.
    const auto showFileFigures = [this](const FileProgress* file) {
        BatchProgress progress;
        if (file) {
            progress.files = 1;
            progress.bytes = qMax<qint64>(file->total, 0);
            progress.bytesDone = file->bytes;
            progress.elapsedMs = file->elapsedMs;
            progress.connections.append(*file);
        }
        PostTransferFigures(progress);
    };
    worker.Prepare([this, showFileFigures](TransferSession& session) {
        session.SetFileProgressShown(showFileFigures);
        session.SetQuestions(&questions);
    });
    connect(&worker, &ServerWorker::Started, this, &MainWindow::ApplyControlStates);
    connect(&worker, &ServerWorker::Finished, this, &MainWindow::ApplyControlStates);
    // A connection the settling had to give up shows as lost, unless a handler runs: it shows
    // it when it ends.
    connect(&worker, &ServerWorker::BackgroundFinished, this, [this] {
        if (serverTaskDepth == 0)
            HandleLostConnection();
    });
    workingBoxTimer.setSingleShot(true);
    workingBoxTimer.setInterval(WorkingBoxDelayMs);
    connect(&workingBoxTimer, &QTimer::timeout, this, &MainWindow::ShowWorkingBox);

    localPath = QStringLiteral("/");
    ListLocalFolder(localPath);
    SetConnectedState(false);
    ShowPaths();
    WriteLog(VersionInfo::VersionBanner);
    logBox->setFocus();
    ShowModePressed(SettingsStore::ReadFlag(SettingName::AutoTransferMode) ? TransferModeButton::Auto
                                                                          : TransferModeButton::Ascii);
}

MainWindow::~MainWindow()
{
    worker.Prepare([](TransferSession& session) {
        session.SetFileProgressShown({});
        session.SetQuestions(nullptr);
    });
    // The children go after this body, moving the focus as they do; the panes are gone by then.
    disconnect(qApp, &QApplication::focusChanged, this, nullptr);
}

void MainWindow::BindControls()
{
    renameButton = ui->renameButton;
    autoModeButton = ui->autoModeButton;
    attributeButton = ui->attributeButton;
    downloadButton = ui->downloadButton;
    uploadButton = ui->uploadButton;
    remoteDeleteButton = ui->remoteDeleteButton;
    remoteOpenButton = ui->remoteOpenButton;
    remoteNewButton = ui->remoteNewButton;
    disconnectButton = ui->disconnectButton;
    connectButton = ui->connectButton;
    binaryModeButton = ui->binaryModeButton;
    asciiModeButton = ui->asciiModeButton;
    logBox = ui->logBox;
    // The panes are made here: each is told its side, which the form cannot say.
    localList = new PaneView(PaneSide::Local, ui->localPane);
    localList->setObjectName(QStringLiteral("localList"));
    ui->localPaneLayout->addWidget(localList);
    remoteList = new PaneView(PaneSide::Remote, ui->remotePane);
    remoteList->setObjectName(QStringLiteral("remoteList"));
    ui->remotePaneLayout->addWidget(remoteList);
    for (PaneView* pane : {localList, remoteList})
        pane->Tree().setContextMenuPolicy(Qt::CustomContextMenu);
    localList->SetListName(MainText::LocalListName);
    remoteList->SetListName(MainText::RemoteListName);
    localPathEdit = ui->localPathEdit;
    remotePathEdit = ui->remotePathEdit;
    // The form's order (log, local path, local list, remote path, remote list), by the lists
    // themselves: the panes' filter fields come after their lists.
    setTabOrder(localPathEdit, &localList->Tree());
    setTabOrder(&localList->Tree(), remotePathEdit);
    setTabOrder(remotePathEdit, &remoteList->Tree());

    connect(connectButton, &QPushButton::clicked, this, &MainWindow::Connect);
    connect(disconnectButton, &QPushButton::clicked, this, &MainWindow::Disconnect);
    connect(ui->optionsButton, &QPushButton::clicked, this, &MainWindow::OpenOptions);
    connect(uploadButton, &QPushButton::clicked, this, &MainWindow::UploadSelection);
    connect(downloadButton, &QPushButton::clicked, this, &MainWindow::DownloadSelection);
    connect(ui->localOpenButton, &QPushButton::clicked, this, &MainWindow::OpenLocalEntry);
    connect(remoteOpenButton, &QPushButton::clicked, this, &MainWindow::OpenRemoteEntry);
    connect(ui->localNewButton, &QPushButton::clicked, this, &MainWindow::NewLocalFolder);
    connect(remoteNewButton, &QPushButton::clicked, this, &MainWindow::NewRemoteFolder);
    connect(ui->localDeleteButton, &QPushButton::clicked, this, &MainWindow::DeleteLocalEntries);
    connect(remoteDeleteButton, &QPushButton::clicked, this, &MainWindow::DeleteRemoteEntries);
    connect(attributeButton, &QPushButton::clicked, this, &MainWindow::ChangeAttributes);
    connect(renameButton, &QPushButton::clicked, this, &MainWindow::RenameRemoteEntry);
    connect(localPathEdit, &QLineEdit::returnPressed, this, &MainWindow::OpenTypedLocalFolder);
    connect(remotePathEdit, &QLineEdit::returnPressed, this, &MainWindow::OpenTypedRemoteFolder);
    // A double-click opens; Enter reaches the window (keyPressEvent) as it did before.
    connect(&localList->Tree(), &QAbstractItemView::doubleClicked, this, &MainWindow::OpenCaretEntry);
    connect(&remoteList->Tree(), &QAbstractItemView::doubleClicked, this, &MainWindow::OpenCaretEntry);
    // A drop is taken up once the drag has ended: the transfer asks and runs its own loops,
    // which must not nest in the drag's.
    connect(localList, &PaneView::Dropped, this, [this](const PaneDrop& drop) {
        QMetaObject::invokeMethod(this, [this, drop] { DropOnLocalPane(drop); }, Qt::QueuedConnection);
    });
    connect(remoteList, &PaneView::Dropped, this, [this](const PaneDrop& drop) {
        QMetaObject::invokeMethod(this, [this, drop] { DropOnRemotePane(drop); }, Qt::QueuedConnection);
    });

    // A click toggles a checkable button by itself; put the look back as the program set it
    // before the handler decides which button is to look pressed.
    const auto bindMode = [this](QPushButton* button, void (MainWindow::*handler)()) {
        connect(button, &QPushButton::clicked, this, [this, handler] {
            ShowModePressed(pressedMode);
            (this->*handler)();
        });
    };
    bindMode(asciiModeButton, &MainWindow::SelectAsciiMode);
    bindMode(binaryModeButton, &MainWindow::SelectBinaryMode);
    bindMode(autoModeButton, &MainWindow::SelectAutoMode);
}

QWidget* MainWindow::Control(int controlId) const
{
    switch (controlId) {
    case MainControlId::LocalPath: return localPathEdit;
    case MainControlId::LocalList: return localList;
    case MainControlId::RemotePath: return remotePathEdit;
    case MainControlId::RemoteList: return remoteList;
    case MainControlId::Upload: return uploadButton;
    case MainControlId::Download: return downloadButton;
    case MainControlId::LocalNew: return ui->localNewButton;
    case MainControlId::LocalOpen: return ui->localOpenButton;
    case MainControlId::RemoteNew: return remoteNewButton;
    case MainControlId::RemoteOpen: return remoteOpenButton;
    case MainControlId::Connect: return connectButton;
    case MainControlId::Disconnect: return disconnectButton;
    case MainControlId::LogBox: return logBox;
    case MainControlId::AsciiMode: return asciiModeButton;
    case MainControlId::BinaryMode: return binaryModeButton;
    case MainControlId::LocalDelete: return ui->localDeleteButton;
    case MainControlId::RemoteDelete: return remoteDeleteButton;
    case MainControlId::Attributes: return attributeButton;
    case MainControlId::Options: return ui->optionsButton;
    case MainControlId::AutoMode: return autoModeButton;
    case MainControlId::Rename: return renameButton;
    default: return nullptr;
    }
}

bool MainWindow::RunCommand(int commandId)
{
    switch (commandId) {
    case MainControlId::Download: DownloadSelection(); return true;
    case MainControlId::FocusLocalList: FocusLocalList(); return true;
    case MainControlId::Connect: Connect(); return true;
    case MainControlId::Attributes: ChangeAttributes(); return true;
    case MainControlId::FocusRemoteList: FocusRemoteList(); return true;
    case MainControlId::Upload: UploadSelection(); return true;
    case MainControlId::RefreshPanes: RefreshPanes(); return true;
    case MainControlId::DeleteFocused: DeleteFocusedEntries(); return true;
    case MainControlId::RenameFocused: RenameFocusedEntry(); return true;
    case MainControlId::ParentFolder: OpenFocusedParent(); return true;
    case MainControlId::NewFolderFocused: NewFolderInFocusedPane(); return true;
    case MainControlId::FocusPathEdit: FocusPathEdit(); return true;
    case MainControlId::FocusOtherPane: FocusOtherPane(); return true;
    default: return false;
    }
}

QString MainWindow::LogText() const
{
    return logBox->toPlainText();
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    if (IsServerWorkRunning()) {
        // The window goes once the handler has seen the cancel and ended.
        event->ignore();
        if (closeRequested || Prompter::Current().AskYesNo(MainText::QuitWhileWorking)) {
            closeRequested = true;
            CancelServerWork();
        }
        return;
    }
    closeRequested = false;
    Disconnect();
    SettingsStore::WriteNumber(SettingName::WindowLeft, geometry().x());
    SettingsStore::WriteNumber(SettingName::WindowTop, geometry().y());
    SettingsStore::WriteNumber(SettingName::WindowWidth, geometry().width());
    SettingsStore::WriteNumber(SettingName::WindowHeight, geometry().height());
    StoreSplitters();
    QDialog::closeEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shownOnce)
        return;
    shownOnce = true;
    RestoreSplitters();
    // The login dialog opens over the window once it is on screen.
    if (startLogin || SettingsStore::ReadFlag(SettingName::ConnectDlgWithStartup))
        QMetaObject::invokeMethod(this, &MainWindow::Connect, Qt::QueuedConnection);
}

void MainWindow::SetStartLogin(const LoginPreset& preset)
{
    startLogin = preset;
}

std::unique_ptr<WaitDialog> MainWindow::ShowWaitText(const QString& text, bool cancellable)
{
    auto box = std::make_unique<WaitDialog>(this);
    box->message = text;
    if (cancellable) {
        box->SetCancellable(true);
        connect(box.get(), &WaitDialog::CancelRequested, this, &MainWindow::CancelServerWork);
        handlerBox = box.get();
    }
    box->OpenBox();
    return box;
}

MainWindow::ServerTask::ServerTask(MainWindow& window)
    : window(window),
      accepted(window.serverTaskDepth == 0 ||
               (!window.worker.IsRunning() && !window.pausingLive && !window.waitingForSettling))
{
    if (!accepted)
        return;
    if (window.serverTaskDepth++ == 0) {
        window.cancelRequested = false;
        window.worker.Prepare([](TransferSession& session) { session.ResetCancel(); });
        // 中止 pressed meanwhile cancels this handler's work.
        window.WaitForSettling();
    }
}

MainWindow::ServerTask::~ServerTask()
{
    if (!accepted || --window.serverTaskDepth > 0)
        return;
    if (window.worker.State().settlePending)
        window.SettleInBackground();
    else
        window.HandleLostConnection();
    // One notice for the whole handler, however many boxes its files had.
    window.EndTransferChrome();
    // The cancel belonged to this handler; the next one starts afresh, and so do direct calls.
    window.cancelRequested = false;
    window.worker.Prepare([](TransferSession& session) { session.ResetCancel(); });
    if (window.closeRequested)
        QMetaObject::invokeMethod(&window, &QWidget::close, Qt::QueuedConnection);
}

bool MainWindow::PauseLive(DialUpService& dialUp)
{
    pausingLive = true;
    dialUp.PauseBriefly();
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    pausingLive = false;
    return !cancelRequested;
}

bool MainWindow::RunServerWork(const std::function<void(TransferSession&)>& work)
{
    if (worker.IsRunning())
        return false;
    if (cancelRequested) {
        // Pressed before this step began (while its box was coming up, say).
        WriteLog(MainText::Cancelled);
        return false;
    }
    if (!handlerBox)
        workingBoxTimer.start();
    worker.Run(work);
    workingBoxTimer.stop();
    workingBox.reset();
    if (progressBox && !batchBoxKept)
        CloseProgressBox();
    if (!cancelRequested)
        return true;
    WriteLog(MainText::Cancelled);
    return false;
}

void MainWindow::SettleInBackground()
{
    worker.RunInBackground([](TransferSession& session) { session.SettleCancelled(); });
}

void MainWindow::WaitForSettling()
{
    if (!worker.IsBusyInBackground())
        return;
    waitingForSettling = true;
    workingBoxTimer.start();
    QEventLoop loop;
    connect(&worker, &ServerWorker::BackgroundFinished, &loop, &QEventLoop::quit);
    while (worker.IsBusyInBackground())
        loop.exec();
    workingBoxTimer.stop();
    workingBox.reset();
    waitingForSettling = false;
}

void MainWindow::CancelServerWork()
{
    if (!IsServerWorkRunning() && !worker.IsRunning())
        return;
    cancelRequested = true;
    worker.Cancel();
    batchCancel.Cancel();
}

void MainWindow::ShowWorkingBox()
{
    if (!(worker.IsRunning() || worker.IsBusyInBackground()) || progressBox || handlerBox || workingBox)
        return;
    workingBox = std::make_unique<WaitDialog>(this);
    workingBox->message = MainText::Working;
    workingBox->SetCancellable(true);
    connect(workingBox.get(), &WaitDialog::CancelRequested, this, &MainWindow::CancelServerWork);
    workingBox->ShowBox();
}

void MainWindow::HandleLostConnection()
{
    if (!connectedShown)
        return;
    const ServerWorker::SessionState state = worker.State();
    if (state.connected)
        return;
    const QString reply = state.replyText;
    const QString firstLine = reply.left(reply.indexOf(u'\n')).trimmed();
    const QString reason = firstLine.startsWith(QString::number(ConnectionClosedCode)) ? firstLine
                                                                                     : TransferText::ReasonConnectionLost;
    const QString shown = LogText();
    batchLogin = {};
    SetConnectedState(false);
    remotePath.clear();
    remoteList->SetRows({});
    remoteEntries.clear();
    listingFailure.clear();
    ShowPaths();
    WriteLog((shown.isEmpty() ? QString() : shown + u'\n') + MainText::ConnectionLost.arg(reason));
}

void MainWindow::SetConnectedState(bool connected)
{
    connectedShown = connected;
    ApplyControlStates();
}

void MainWindow::ApplyControlStates()
{
    // The local pane and its buttons stay usable while server work runs; the handlers they
    // start refuse any server work of their own then.
    const bool idle = !worker.IsRunning();
    connectButton->setEnabled(!connectedShown && idle);
    for (QPushButton* button : {disconnectButton, remoteNewButton, remoteOpenButton, remoteDeleteButton,
                                uploadButton, downloadButton, attributeButton, renameButton})
        button->setEnabled(connectedShown && idle);
    for (QPushButton* button : {asciiModeButton, binaryModeButton, autoModeButton, ui->optionsButton})
        button->setEnabled(idle);
}

void MainWindow::WriteLog(const QString& message)
{
    logBox->setPlainText(message);
}

void MainWindow::PostLog(const QString& message)
{
    // A folder batch shows the latest line; a selection of files each file's.
    if (batchBoxKept)
        PostLatest(latestLog, message, &MainWindow::WriteLog);
    else
        QMetaObject::invokeMethod(this, [this, message] { WriteLog(message); }, Qt::QueuedConnection);
}

void MainWindow::PostLatest(LatestText& slot, const QString& text, void (MainWindow::*show)(const QString&))
{
    {
        const QMutexLocker lock(&slot.mutex);
        slot.text = text;
        if (slot.posted)
            return;
        slot.posted = true;
    }
    // Posted before the work's end is, so it is shown before the handler goes on.
    QMetaObject::invokeMethod(this, [this, &slot, show] {
        QString latest;
        {
            const QMutexLocker lock(&slot.mutex);
            latest = std::move(slot.text);
            slot.posted = false;
        }
        (this->*show)(latest);
    }, Qt::QueuedConnection);
}

void MainWindow::ShowPaths()
{
    localPathEdit->setText(localPath);
    remotePathEdit->setText(remotePath);
}

void MainWindow::ShowModePressed(TransferModeButton mode)
{
    pressedMode = mode;
    asciiModeButton->setChecked(mode == TransferModeButton::Ascii);
    binaryModeButton->setChecked(mode == TransferModeButton::Binary);
    autoModeButton->setChecked(mode == TransferModeButton::Auto);
}
