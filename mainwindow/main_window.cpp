#include "mainwindow/main_window.h"

#include "mainwindow/dialog_units.h"
#include "mainwindow/listing.h"
#include "mainwindow/outcome.h"
#include "mainwindow/strings.h"
#include "resources/resource_ids.h"
#include "resources/version_info.h"
#include "settings/settings_store.h"
#include "ui_main_window.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>

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

    // The log shows one message; two lines give a wrapped message room.
    logBox->setFixedHeight(logBox->fontMetrics().lineSpacing() * 2 + 2 * logBox->frameWidth() +
                           2 * int(logBox->document()->documentMargin()));
    resize(DialogUnitsToPixels(*this, 211, 143).expandedTo(minimumSizeHint()));
    if (const QScreen* screen = this->screen())
        move(screen->availableGeometry().center() - rect().center());

    localPath = QStringLiteral("/");
    ListLocalFolder(localPath);
    SetConnectedState(false);
    ShowPaths();
    WriteLog(VersionInfo::VersionBanner);
    logBox->setFocus();
    ShowModePressed(SettingsStore::ReadFlag(SettingName::AutoTransferMode) ? TransferModeButton::Auto
                                                                          : TransferModeButton::Ascii);
}

MainWindow::~MainWindow() = default;

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
    remoteList = ui->remoteList;
    localList = ui->localList;
    localPathEdit = ui->localPathEdit;
    remotePathEdit = ui->remotePathEdit;

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
    connect(localList, &QListWidget::itemDoubleClicked, this, &MainWindow::OpenCaretEntry);
    connect(remoteList, &QListWidget::itemDoubleClicked, this, &MainWindow::OpenCaretEntry);

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
    default: return false;
    }
}

QString MainWindow::LogText() const
{
    return logBox->toPlainText();
}

void MainWindow::FocusLocalList()
{
    localList->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::FocusRemoteList()
{
    remoteList->setFocus(Qt::ShortcutFocusReason);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    Disconnect();
    QDialog::closeEvent(event);
}

void MainWindow::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Escape:
        // Pressed by habit to dismiss things; the window ends only through its close request.
        event->accept();
        return;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
            event->accept();
            OpenCaretEntry();
            return;
        }
        break;
    default:
        break;
    }
    QDialog::keyPressEvent(event);
}

void MainWindow::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (shownOnce)
        return;
    shownOnce = true;
    // The login dialog opens over the window once it is on screen.
    if (SettingsStore::ReadFlag(SettingName::ConnectDlgWithStartup))
        QMetaObject::invokeMethod(this, &MainWindow::Connect, Qt::QueuedConnection);
}

std::unique_ptr<WaitDialog> MainWindow::ShowWaitText(const QString& text)
{
    auto box = std::make_unique<WaitDialog>();
    box->message = text;
    box->OpenBox();
    return box;
}

void MainWindow::SetConnectedState(bool connected)
{
    connectButton->setEnabled(!connected);
    for (QPushButton* button : {disconnectButton, remoteNewButton, remoteOpenButton, remoteDeleteButton,
                                uploadButton, downloadButton, attributeButton, renameButton})
        button->setEnabled(connected);
}

void MainWindow::WriteLog(const QString& message)
{
    logBox->setPlainText(message);
}

void MainWindow::ShowPaths()
{
    localPathEdit->setText(localPath);
    remotePathEdit->setText(remotePath);
}

bool MainWindow::ListLocalFolder(const QString& folder)
{
    return ::ListLocalFolder(*localList, folder);
}

bool MainWindow::ListRemoteFolder(const QString& folder)
{
    if (::ListRemoteFolder(*remoteList, folder, session, remoteEntries)) {
        listingFailure.clear();
        return true;
    }
    listingFailure = FilesText::ListingFailed.arg(FailureReason(session));
    WriteLog(listingFailure);
    return false;
}

void MainWindow::WriteOutcome(const QString& message)
{
    WriteLog(listingFailure.isEmpty() ? message : message + u'\n' + listingFailure);
}

void MainWindow::ShowModePressed(TransferModeButton mode)
{
    pressedMode = mode;
    asciiModeButton->setChecked(mode == TransferModeButton::Ascii);
    binaryModeButton->setChecked(mode == TransferModeButton::Binary);
    autoModeButton->setChecked(mode == TransferModeButton::Auto);
}
