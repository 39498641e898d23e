#pragma once

#include <QObject>
#include <QThread>

#include <functional>

// The thread on which a window's server work runs: the FTP session is synchronous, so each
// piece of work blocks this thread, never the window's. Run() waits for the work by processing
// the window's events (repaints, resizes, clicks, the cancel button), like a modal dialog does,
// so a handler reads as one sequence of steps while the window stays live.
class ServerWorker : public QObject {
    Q_OBJECT

public:
    explicit ServerWorker(QObject* parent = nullptr);
    // Waits for work still running; cancel it first.
    ~ServerWorker() override;

    // Runs the work on the worker thread and returns when it has ended. Called on the thread
    // that made the worker; not while other work runs.
    void Run(const std::function<void()>& work);
    bool IsRunning() const { return running; }
    // Starts the work on the worker thread and returns at once; BackgroundFinished follows when
    // it has ended. Work run later waits for it (the thread takes one piece at a time).
    void RunInBackground(const std::function<void()>& work);
    bool IsBusyInBackground() const { return inBackground; }

signals:
    // Work starts and ends (on the window's thread).
    void Started();
    void Finished();
    // Background work has ended (on the window's thread).
    void BackgroundFinished();

private:
    QThread thread;
    QObject* context = nullptr;  // lives on the worker thread; the work runs in its event queue
    bool running = false;
    bool inBackground = false;
};
