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
    thread.quit();
    thread.wait();
}

void ServerWorker::Run(const std::function<void()>& work)
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
        work();
        QMetaObject::invokeMethod(this, [state] {
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

void ServerWorker::RunInBackground(const std::function<void()>& work)
{
    inBackground = true;
    QMetaObject::invokeMethod(context, [this, work] {
        work();
        QMetaObject::invokeMethod(this, [this] {
            inBackground = false;
            emit BackgroundFinished();
        }, Qt::QueuedConnection);
    }, Qt::QueuedConnection);
}
