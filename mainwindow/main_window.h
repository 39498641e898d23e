#pragma once

#include "mainwindow/app_ftp_session.h"
#include "mainwindow/remote_entry.h"
#include "mainwindow/wait_dialog.h"
#include "platform/dialup_service.h"

#include <QDialog>
#include <QString>

#include <memory>

class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace Ui {
class MainWindowForm;
}

// The transfer mode shown by the three mode buttons; exactly one of them looks pressed.
enum class TransferModeButton { Ascii, Binary, Auto };

// The two-pane main window: local folder on the left, the server's folder on the right, the
// buttons above and a one-message log below. Every piece of user-driven work starts in one of
// its handlers and runs to its end on the calling thread.
class MainWindow : public QDialog {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Views for tests and tools.
    const QString& LocalPath() const { return localPath; }
    const QString& RemotePath() const { return remotePath; }
    QListWidget* LocalList() const { return localList; }
    QListWidget* RemoteList() const { return remoteList; }
    QString LogText() const;
    const RemoteEntryList& RemoteEntries() const { return remoteEntries; }
    AppFtpSession& Session() { return session; }
    TransferModeButton PressedModeButton() const { return pressedMode; }
    // The control with the given id (MainControlId), nullptr for other ids.
    QWidget* Control(int controlId) const;

    // Runs the command of a shortcut (MainControlId); false for an unknown command.
    bool RunCommand(int commandId);

public slots:
    // Connect and disconnect (main_window_connect.cpp).
    void Connect();
    void Disconnect();
    void OpenOptions();

    // Transfer modes and transfers (main_window_transfer.cpp).
    void SelectAsciiMode();
    void SelectBinaryMode();
    void SelectAutoMode();
    void UploadSelection();
    void DownloadSelection();

    // Folder and file operations (main_window_files.cpp).
    void OpenLocalEntry();
    void OpenRemoteEntry();
    void NewLocalFolder();
    void NewRemoteFolder();
    void DeleteLocalEntries();
    void DeleteRemoteEntries();
    void OpenCaretEntry();  // Enter or a double-click: open the caret entry of the focused list
    void ChangeAttributes();
    void RenameRemoteEntry();

    // Focus commands (Ctrl+L, Ctrl+R).
    void FocusLocalList();
    void FocusRemoteList();

protected:
    // The close request disconnects first; Escape does not end the window; Enter opens.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    // Shared helpers of the handlers.

    // Puts up the wait box with the text; it is taken down when the returned box is destroyed,
    // so keep it in a local of the handler.
    [[nodiscard]] std::unique_ptr<WaitDialog> ShowWaitText(const QString& text);
    // Enables the buttons that need a connection and disables "接続", or the reverse.
    void SetConnectedState(bool connected);
    // Replaces the whole log text with the message.
    void WriteLog(const QString& message);
    // Handlers act on the folders the panes show. A path edit that holds another folder (typed,
    // not yet opened with Enter) has that folder opened instead, and the handler then does
    // nothing else: true. The remote edit counts only while connected.
    bool OpensTypedFolder();
    // Enter in a path edit: the typed folder becomes the pane's folder. A local folder that
    // cannot be read is entered all the same (its pane shows ".." alone) and the log says so; a
    // remote folder the server refuses leaves the pane and the path as they were.
    void OpenTypedLocalFolder();
    void OpenTypedRemoteFolder();
    // localPath, remotePath -> path edits.
    void ShowPaths();
    // Refill a pane; see mainwindow/listing.h. A remote listing that fails says so in the log
    // with the server's reply, and WriteOutcome keeps saying so until the handler ends.
    bool ListLocalFolder(const QString& folder);
    bool ListRemoteFolder(const QString& folder);
    // Writes a handler's last message; after a failed remote listing the failure stays beside it.
    void WriteOutcome(const QString& message);
    // Shows exactly one mode button pressed; the look stays until the next call.
    void ShowModePressed(TransferModeButton mode);
    void BindControls();

    std::unique_ptr<Ui::MainWindowForm> ui;

    // The twelve buttons the handlers enable, disable or show pressed.
    QPushButton* renameButton = nullptr;         // 1020 "R"
    QPushButton* autoModeButton = nullptr;       // 1019 "A/B"
    QPushButton* attributeButton = nullptr;      // 1017 "P"
    QPushButton* downloadButton = nullptr;       // 1005 "<"
    QPushButton* uploadButton = nullptr;         // 1004 ">"
    QPushButton* remoteDeleteButton = nullptr;   // 1016 "削"
    QPushButton* remoteOpenButton = nullptr;     // 1009 "開"
    QPushButton* remoteNewButton = nullptr;      // 1008 "新"
    QPushButton* disconnectButton = nullptr;     // 1011 "切断"
    QPushButton* connectButton = nullptr;        // 1010 "接続"
    QPushButton* binaryModeButton = nullptr;     // 1014 "B"
    QPushButton* asciiModeButton = nullptr;      // 1013 "A"

    QPlainTextEdit* logBox = nullptr;            // 1012
    QListWidget* remoteList = nullptr;           // 1003
    QListWidget* localList = nullptr;            // 1001
    QLineEdit* localPathEdit = nullptr;          // 1000
    QLineEdit* remotePathEdit = nullptr;         // 1002

    QString localPath;   // "/" at the root, "/"-joined, no trailing "/"
    QString remotePath;  // as the server reports it; empty while disconnected
    AppFtpSession session;
    RemoteEntryList remoteEntries;
    DialHandle dialHandle;  // the dial-up connection of the last dial; empty for none
    QString listingFailure;  // the log line of the latest remote listing when it failed

    TransferModeButton pressedMode = TransferModeButton::Ascii;
    bool shownOnce = false;

    // Tests that must reach the private helpers define this type.
    friend struct MainWindowTestAccess;
};
