#pragma once

#include "transfer/transfer_session.h"

#include <QObject>
#include <QString>
#include <QThread>

#include <functional>

// The thread on which a window's server work runs: the FTP session is synchronous, so each
// piece of work blocks this thread, never the window's. Run() waits for the work by processing
// the window's events (repaints, resizes, clicks, the cancel button), like a modal dialog does,
// so a handler reads as one sequence of steps while the window stays live.
// The worker owns the window's session and is its one door: the session is reached only by work
// run here, never from the window's thread, so no call can meet work running on it. Cancel()
// alone goes straight through (the session's cancel is safe from any thread); what the window
// needs after the work is read inside it and handed back as values.
class ServerWorker : public QObject {
    Q_OBJECT

public:
    explicit ServerWorker(QObject* parent = nullptr);
    // Waits for work still running; cancel it first.
    ~ServerWorker() override;

    // Runs the work on the worker thread and returns when it has ended. Called on the thread
    // that made the worker; not while other work runs.
    void Run(const std::function<void(TransferSession&)>& work);
    bool IsRunning() const { return running; }
    // Starts the work on the worker thread and returns at once; BackgroundFinished follows when
    // it has ended. Work run later waits for it (the thread takes one piece at a time).
    void RunInBackground(const std::function<void(TransferSession&)>& work);
    bool IsBusyInBackground() const { return inBackground; }
    // Set-up (hooks, the transfer type, the cancel reset) on the worker thread: at once when it
    // is free (waiting there, not running the window's events); behind the work while work runs
    // or settles in the background. Work run later finds it done either way.
    void Prepare(const std::function<void(TransferSession&)>& work);
    // Cancels the work that runs now and what follows until the next handler resets it.
    void Cancel() { session.Cancel(); }

    // What the window shows of the session, read on the worker thread: now, waiting there for
    // queued set-up but not running the window's events; while work runs (or settles in the
    // background), as the latest work left it.
    struct SessionState {
        bool connected = false;
        bool settlePending = false;
        QString replyText;
    };
    SessionState State();

signals:
    // Work starts and ends (on the window's thread).
    void Started();
    void Finished();
    // Background work has ended (on the window's thread).
    void BackgroundFinished();

private:
    // Runs the work and reads what it left, on the worker thread.
    SessionState RunHere(const std::function<void(TransferSession&)>& work);

    // Before the thread: the thread has ended (the destructor waits) before the session goes.
    TransferSession session;
    SessionState lastState;  // as the latest work left it; the window's thread's copy
    QThread thread;
    QObject* context = nullptr;  // lives on the worker thread; the work runs in its event queue
    bool running = false;
    bool inBackground = false;

    // Tests and tools reach the session directly, as no window code may.
    friend struct MainWindowTestAccess;
};
