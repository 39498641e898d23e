// The worker as the window's one door to its session: set-up, work and state reads all happen on
// the worker thread in the order they were asked for; only the cancel comes straight from the
// window's thread.
#include "mainwindow/server_worker.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

namespace {

TEST(ServerWorkerTest, SetUpWorkAndStateReadsRunOnTheWorkerInTheOrderAsked)
{
    ServerWorker worker;
    QThread* const window = QThread::currentThread();
    QList<QThread*> threads;
    worker.Prepare([&](TransferSession& session) {
        threads.append(QThread::currentThread());
        session.SetTypeBinary();
    });
    QString typeSeen;
    worker.Run([&](TransferSession& session) {
        threads.append(QThread::currentThread());
        typeSeen = session.TypeCommand();
    });
    // The set-up was done before the work that came after it.
    EXPECT_EQ(typeSeen, QStringLiteral("TYPE I"));
    worker.Prepare([](TransferSession& session) { session.SetTypeAscii(); });
    // A state read waits for the set-up queued before it.
    const ServerWorker::SessionState state = worker.State();
    EXPECT_FALSE(state.connected);
    EXPECT_FALSE(state.settlePending);
    worker.Run([&](TransferSession& session) { typeSeen = session.TypeCommand(); });
    EXPECT_EQ(typeSeen, QStringLiteral("TYPE A"));
    ASSERT_EQ(threads.size(), 2);
    for (QThread* thread : threads)
        EXPECT_NE(thread, window);
}

TEST(ServerWorkerTest, CancelFromTheWindowsThreadEndsTheRunningWork)
{
    ServerWorker worker;
    bool cancelSeen = false;
    // The cancel is pressed while the work runs: the window's events go on meanwhile.
    QMetaObject::invokeMethod(qApp, [&] { worker.Cancel(); }, Qt::QueuedConnection);
    worker.Run([&](TransferSession& session) {
        while (!session.IsCancelled())
            QThread::yieldCurrentThread();
        cancelSeen = true;
    });
    EXPECT_TRUE(cancelSeen);
}

TEST(ServerWorkerTest, StateReadWhileWorkRunsIsTheLatestWorksAndDoesNotWaitForIt)
{
    // A question asked from the work runs the window's events; a state read then must not wait
    // for the worker, which waits for the answer.
    ServerWorker worker;
    worker.Run([](TransferSession&) {});
    QSemaphore answered;
    std::atomic<bool> readWhileRunning = false;
    bool answeredInTime = false;
    worker.Run([&](TransferSession&) {
        QMetaObject::invokeMethod(qApp, [&] {
            readWhileRunning = !worker.State().connected;
            answered.release();
        }, Qt::QueuedConnection);
        // Bounded so that a worker that waits for itself fails the test instead of hanging it.
        answeredInTime = answered.tryAcquire(1, 60000);
    });
    EXPECT_TRUE(answeredInTime);
    EXPECT_TRUE(readWhileRunning);
}

TEST(ServerWorkerTest, SetUpAskedWhileWorkSettlesFollowsItAndIsDoneBeforeTheWorkerGoes)
{
    QSemaphore gate;
    bool gateOpened = false;
    QList<int> order;  // written on the worker only; read once it has ended
    {
        ServerWorker worker;
        worker.RunInBackground([&](TransferSession&) {
            // Bounded so that set-up that waited for this work fails the test instead of hanging it.
            gateOpened = gate.tryAcquire(1, 60000);
            order.append(1);
        });
        worker.Prepare([&](TransferSession& session) {
            session.SetQuestions(nullptr);
            order.append(2);
        });
        gate.release();
    }
    EXPECT_TRUE(gateOpened);
    EXPECT_EQ(order, (QList<int>{1, 2}));
}

}  // namespace
