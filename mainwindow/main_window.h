#pragma once

#include "mainwindow/listing.h"
#include "mainwindow/server_worker.h"
#include "transfer/remote_entries.h"
#include "transfer/remote_tree.h"
#include "transfer/transfer_progress.h"
#include "transfer/file_jobs.h"
#include "transfer/spread_batch.h"
#include "transfer/transfer_questions.h"
#include "transfer/transfer_session.h"
#include "mainwindow/wait_dialog.h"
#include "platform/dialup_service.h"
#include "settings/login_preset.h"
#include "transfer/transfer_progress.h"

#include <QDialog>
#include <QElapsedTimer>
#include <QMutex>
#include <QPointer>
#include <QScopeGuard>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class QLineEdit;
class QMenu;
class PaneView;
struct PaneDrop;
class QPlainTextEdit;
class QPushButton;
class QSplitter;

namespace Ui {
class MainWindowForm;
}

// The transfer mode shown by the three mode buttons; exactly one of them looks pressed.
enum class TransferModeButton { Ascii, Binary, Auto };

// The two-pane main window: local folder on the left, the server's folder on the right, the
// buttons above and a one-message log below. Every piece of user-driven work starts in one of
// its handlers. A handler reads as one sequence of steps; the steps that talk to the server run
// on the window's worker thread (RunServerWork), and the handler goes on when they end, while the
// window keeps repainting and the local pane stays usable. A handler returns when all its work
// has ended.
class MainWindow : public QDialog {
    Q_OBJECT

public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Views for tests and tools.
    const QString& LocalPath() const { return localPath; }
    const QString& RemotePath() const { return remotePath; }
    PaneView* LocalList() const { return localList; }
    PaneView* RemoteList() const { return remoteList; }
    QString LogText() const;
    const RemoteEntryList& RemoteEntries() const { return remoteEntries; }
    TransferModeButton PressedModeButton() const { return pressedMode; }
    // The control with the given id (MainControlId), nullptr for other ids.
    QWidget* Control(int controlId) const;
    // Whether a handler that talks to the server is running (its work may be on the worker).
    bool IsServerWorkRunning() const { return serverTaskDepth > 0; }
    // Presses "中止" of the work that runs now; nothing when none runs.
    void CancelServerWork();

    // The login dialog opens once the window is shown, whatever the start setting says, filled
    // in from the preset (a link the program was started with); used for that one dialog only.
    void SetStartLogin(const LoginPreset& preset);

    // Runs the command of a shortcut (MainControlId); false for an unknown command.
    bool RunCommand(int commandId);

    // Shows a running transfer's figures: the progress box with its bars (put up if it is not
    // yet), and the percentage in the window's title until the transfer ends. Called on the
    // window's thread; a call from another thread is carried over to it. Figures without a
    // connection say that nothing moves now: the box goes (not while a folder batch keeps it).
    void ShowTransferFigures(const BatchProgress& progress);
    // The splitters between the panes and between the panes and the log.
    QSplitter* PaneSplitter() const { return paneSplitter; }
    QSplitter* LogSplitter() const { return logSplitter; }

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

    // Renames the local pane's caret entry through the rename dialog (main_window_rename.cpp).
    void RenameLocalEntry();
    // The desktop keys' commands (main_window_menus.cpp); each acts on the focused pane: the one
    // whose list or path edit has the keyboard, else the one that had it last.
    void RefreshPanes();            // F5: both panes listed again
    void RefreshRemotePane();       // the remote pane listed again
    void DeleteFocusedEntries();    // Delete: the pane's "削"
    void RenameFocusedEntry();      // F2: the pane's rename
    void OpenFocusedParent();       // Backspace, Alt+Up
    void NewFolderInFocusedPane();  // F7
    void FocusPathEdit();           // F6, Alt+D
    void FocusOtherPane();          // Tab: from one list to the other

protected:
    // The close request asks first while server work runs, then disconnects and stores the
    // window's size and position; Escape does not end the window; Enter opens.
    void closeEvent(QCloseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    // Shared helpers of the handlers.

    // Marks a handler that may start server work, for as long as it lives. A handler entered
    // while another one runs (a shortcut pressed meanwhile) is refused: the object tests false.
    // When the outermost one ends, a cancel request is dropped and a control connection that
    // broke puts the window in the disconnected state.
    class ServerTask {
    public:
        explicit ServerTask(MainWindow& window);
        ~ServerTask();
        explicit operator bool() const { return accepted; }
        ServerTask(const ServerTask&) = delete;
        ServerTask& operator=(const ServerTask&) = delete;

    private:
        MainWindow& window;
        bool accepted;
    };
    // The one place where server work starts: runs the work on the worker thread and returns
    // when it has ended, the window live meanwhile. False when it was cancelled (the log then
    // says so) or when a cancel earlier in the same handler stops it from starting at all.
    bool RunServerWork(const std::function<void(TransferSession&)>& work);
    // After a cancelled handler: what the control connection still owes the server is read on
    // the worker while the window goes on; a connection that cannot be brought back shows as
    // disconnected when that ends.
    void SettleInBackground();
    // Waits, the window live, until the settling has ended: the next handler's server work must
    // find the connection in step.
    void WaitForSettling();
    // ShowTransferFigures from any thread; within a folder batch only the latest figures that
    // came meanwhile are shown.
    void PostTransferFigures(const BatchProgress& progress);
    // What a batch reports, for the batch's run on the worker.
    BatchCallbacks BatchReports();
    // The connections a transfer batch may spread its files over, read once for the batch on the
    // window's thread (main_window_transfer.cpp); the batch's 中止 is reset with it.
    BatchConnections SpreadConnections();
    // The latest login's server, user and password, for a batch's extra connections: kept in
    // memory only, from the login until the window is disconnected.
    SessionRecipe batchLogin;
    // Reaches a batch's extra connections from CancelServerWork.
    BatchCancel batchCancel;
    // The selected rows of each pane, typed, in the order the pane shows them: what every
    // handler acting on a selection goes by.
    std::vector<PaneRow> SelectedLocalRows() const;
    std::vector<PaneRow> SelectedRemoteRows() const;
    // The caret row of a pane (the one with the focus mark, selected or not); nothing when the
    // pane is empty.
    static std::optional<PaneRow> CaretRow(const PaneView& pane);
    // The pane that has the keyboard (its list or its filter field); nullptr for neither.
    PaneView* PaneWithFocus() const;
    // The transfers of ">" and "<" and of a drop on a pane. An upload's items may each come
    // from a folder of their own (files dropped from elsewhere); shown is how many rows the
    // question counts.
    void UploadItems(const QList<BatchItem>& items, qsizetype shown);
    void DownloadItems(const QList<BatchItem>& items, qsizetype shown);
    // What was dropped on a pane: the local pane's rows or local files on the remote pane go
    // up, the remote pane's rows on the local pane come down; anything else does nothing.
    void DropOnLocalPane(const PaneDrop& drop);
    void DropOnRemotePane(const PaneDrop& drop);
    // Keeps the progress box up between the files of a batch until the returned guard goes.
    [[nodiscard]] auto KeepBatchBox()
    {
        batchBoxKept = true;
        return qScopeGuard([this] {
            batchBoxKept = false;
            ShowTransferFigures(BatchProgress());
        });
    }
    void ShowWorkingBox();
    // After a handler: a control connection that broke leaves the window disconnected, the
    // server's reason in the log.
    void HandleLostConnection();
    // Which controls are enabled: those that need a connection while connected; none that
    // would start server work while it runs.
    void ApplyControlStates();
    // A moment's pause of a wait that runs on the window's thread (the dial-up service's), with
    // the window live meanwhile; false once "中止" was pressed. No other handler starts during it.
    bool PauseLive(DialUpService& dialUp);
    // The window's size and position from the settings store, when one was stored.
    void RestoreGeometry();

    // Puts up the wait box with the text; it is taken down when the returned box is destroyed,
    // so keep it in a local of the handler. A cancellable box's "中止" cancels the server work
    // that runs while it is up.
    [[nodiscard]] std::unique_ptr<WaitDialog> ShowWaitText(const QString& text, bool cancellable = true);
    // Enables the buttons that need a connection and disables "接続", or the reverse.
    void SetConnectedState(bool connected);
    // Replaces the whole log text with the message.
    void WriteLog(const QString& message);
    // WriteLog from the server work's thread: the line is shown when the window's loop gets to it
    // (within a folder batch, only the latest of the lines that came meanwhile).
    void PostLog(const QString& message);
    // Handlers act on the folders the panes show. A path edit that holds another folder (typed,
    // not yet opened with Enter) has that folder opened instead, and the handler then does
    // nothing else: true. The remote edit counts only while connected.
    bool OpensTypedFolder();
    // Enter in a path edit: the typed folder becomes the pane's folder. A local folder that
    // cannot be read is entered all the same (its pane shows ".." alone) and the log says so; a
    // remote folder the server refuses leaves the pane and the path as they were.
    void OpenTypedLocalFolder();
    void OpenTypedRemoteFolder();
    // Whether the server said which folder it is in; if not, the log says why a handler that
    // names remote paths does nothing ("/" + name would be the root's entry, not the one shown).
    bool RemoteFolderKnown();
    // localPath, remotePath -> path edits.
    void ShowPaths();
    // Refill a pane; see mainwindow/listing.h. A remote listing that fails says so in the log
    // with the server's reply, one that was cut says how much it shows, and WriteOutcome keeps
    // saying so until the handler ends. The listing is fetched and parsed on the worker; the
    // window only fills the pane.
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
    PaneView* remoteList = nullptr;              // 1003
    PaneView* localList = nullptr;               // 1001
    QLineEdit* localPathEdit = nullptr;          // 1000
    QLineEdit* remotePathEdit = nullptr;         // 1002

    QString localPath;   // "/" at the root, "/"-joined, no trailing "/"
    QString remotePath;  // as the server reports it; empty while disconnected
    // Owns the session: server work reaches it only through here (see ServerWorker).
    ServerWorker worker;
    int serverTaskDepth = 0;
    bool pausingLive = false;  // PauseLive runs the window's events
    bool waitingForSettling = false;  // WaitForSettling runs the window's events
    bool cancelRequested = false;
    bool closeRequested = false;
    bool connectedShown = false;
    QPointer<WaitDialog> handlerBox;          // the box a handler put up, if any
    std::unique_ptr<WaitDialog> progressBox;  // the transfer's box while one runs
    // While a folder batch runs its progress box stays up from one file to the next: making a
    // box for each file costs more than sending a small file.
    bool batchBoxKept = false;
    // A text handed from the worker to the window's thread, the latest only: texts that come
    // faster than the window takes them replace one another instead of queueing up (a batch of
    // small files would otherwise wake the window several times a file).
    struct LatestText {
        QMutex mutex;
        QString text;
        bool posted = false;
    };
    void PostLatest(LatestText& slot, const QString& text, void (MainWindow::*show)(const QString&));
    LatestText latestLog;
    struct LatestFigures {
        QMutex mutex;
        BatchProgress figures;
        bool posted = false;
    } latestFigures;
    // The resume and overwrite questions of transfers, asked with the prompter from the worker.
    class PromptedQuestions : public TransferQuestions {
    public:
        bool Ask(TransferQuestion question) override;
    } questions;
    std::unique_ptr<WaitDialog> workingBox;   // work that goes on without a box of its own
    QTimer workingBoxTimer;
    RemoteEntryList remoteEntries;
    DialHandle dialHandle;  // the dial-up connection of the last dial; empty for none
    QString listingFailure;  // the log line of the latest remote listing when it failed or was cut
    // The most entries a listing fills the pane with, and a folder walk collects; tests lower
    // them (the listing's text has its limit on the session).
    qsizetype listingEntryLimit = MaxListingEntries;
    qint64 walkEntryLimit = MaxWalkEntries;

    TransferModeButton pressedMode = TransferModeButton::Ascii;
    bool shownOnce = false;
    std::optional<LoginPreset> startLogin;

    // The window's chrome (main_window_chrome.cpp, main_window_menus.cpp).

    // Splitters, the start size, the narrow arrangement and the stored splitter places.
    void BuildChrome();
    void ApplyNarrowLayout();
    void RestoreSplitters();
    void StoreSplitters();
    // The transfer's progress box goes; the title shows no percentage any more.
    void CloseProgressBox();
    // A transfer shows progress: its clock starts with the first figures or text.
    void NoteTransferRunning(const BatchProgress* progress);
    // The transfer is over (the handler that ran it has ended, or the box went outside any
    // handler): a long one raises the desktop notice while the window is in the background.
    void EndTransferChrome();
    // The pane the keys act on.
    PaneView* FocusedPane() const;
    // The panes' context menus: the entries that apply to the rows under the place (in the
    // list's viewport).
    void ShowPaneMenu(PaneView* pane, const QPoint& place);
    void FillPaneMenu(QMenu& menu, PaneView* pane, const QPoint& place);
    // The entry's work on the pane; row is the row the menu was opened on, -1 for none.
    void RunPaneMenuEntry(PaneView* pane, int entry, int row);
    // Puts the caret on the pane's ".." and opens it; nothing at the root.
    void OpenParentOf(PaneView* pane);

    QSplitter* paneSplitter = nullptr;
    QSplitter* logSplitter = nullptr;
    QWidget* arrowPane = nullptr;
    bool splittersRestored = false;
    PaneView* lastFocusedPane = nullptr;
    // Where the latest login went, for the remote pane's "パスをコピー" (never the password).
    struct RemoteLogin {
        QString host;
        quint16 port = 0;
        QString userName;
    };
    RemoteLogin remoteLogin;
    // The running transfer's chrome.
    bool transferRunning = false;
    QElapsedTimer transferClock;
    std::optional<BatchProgress> lastFigures;
    // Whether the person had the window or one of its boxes in front at the latest progress:
    // when the box goes at the end, the desktop may not yet have given the window back.
    bool activeAtLatestProgress = false;
    bool WindowOrItsBoxActive() const;
    // Raises the desktop notice; tests put a recorder here.
    std::function<void(const QString& summary, const QString& body)> sendNotice;

    // Tests that must reach the private helpers define this type.
    friend struct MainWindowTestAccess;
};
