#include "mainwindow/server_worker.h"

#include <QEventLoop>

#include <memory>

ServerWorker::ServerWorker(QObject* parent)
    : QObject(parent)
{
    thread.setObjectName(QStringLiteral("server work"));
    context = new QObject;
    context->moveToThread(&thread);
    connect(&thread, &QThread::finished, context, &QObject::deleteLater);
    thread.start();
}

ServerWorker::~ServerWorker()
{
    // After what was queued before (the window's last set-up), not in the middle of it.
    QMetaObject::invokeMethod(context, [this] { thread.quit(); }, Qt::QueuedConnection);
    thread.wait();
}

ServerWorker::SessionState ServerWorker::RunHere(const std::function<void(TransferSession&)>& work)
{
    work(session);
    return {session.IsConnected(), session.SettlePending(), session.GetReplyText()};
}

ServerWorker::SessionState ServerWorker::State()
{
    if (running || inBackground)
        return lastState;
    SessionState now;
    QMetaObject::invokeMethod(context, [this, &now] { now = RunHere([](TransferSession&) {}); },
                              Qt::BlockingQueuedConnection);
    return now;
}

void ServerWorker::Run(const std::function<void(TransferSession&)>& work)
{
    // Only the window's thread touches the state; the worker reaches it through a queued call,
    // so nothing of this frame is touched after it has returned.
    struct State {
        QEventLoop* loop = nullptr;
        bool done = false;
    };
    const auto state = std::make_shared<State>();
    QEventLoop loop;
    state->loop = &loop;
    running = true;
    emit Started();
    QMetaObject::invokeMethod(context, [this, state, work] {
        SessionState left = RunHere(work);
        QMetaObject::invokeMethod(this, [this, state, left = std::move(left)] {
            lastState = left;
            state->done = true;
            if (state->loop)
                state->loop->quit();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
    // A nested loop (a question asked from the work) may see the end first; this loop then
    // ends when control comes back to it.
    while (!state->done)
        loop.exec();
    state->loop = nullptr;
    running = false;
    emit Finished();
}

void ServerWorker::RunInBackground(const std::function<void(TransferSession&)>& work)
{
    inBackground = true;
    QMetaObject::invokeMethod(context, [this, work] {
        SessionState left = RunHere(work);
        QMetaObject::invokeMethod(this, [this, left = std::move(left)] {
            lastState = left;
            inBackground = false;
            emit BackgroundFinished();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}

void ServerWorker::Prepare(const std::function<void(TransferSession&)>& work)
{
    // Running work may be waiting for the window (a question): it must not wait for the worker.
    if (running || inBackground)
        QMetaObject::invokeMethod(context, [this, work] { work(session); }, Qt::QueuedConnection);
    else
        QMetaObject::invokeMethod(context, [this, &work] { work(session); }, Qt::BlockingQueuedConnection);
}
