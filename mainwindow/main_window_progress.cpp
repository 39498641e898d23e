// A transfer's progress box and questions: figures come from the worker, the box and the
// prompts live on the window's thread.
#include "mainwindow/main_window.h"
#include "mainwindow/progress_box.h"
#include "mainwindow/progress_texts.h"
#include "mainwindow/strings.h"
#include "platform/prompter.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <QThread>

bool MainWindow::PromptedQuestions::Ask(TransferQuestion question)
{
    return Prompter::AskFromAnyThread(TransferQuestionText(question));
}

void MainWindow::PostTransferFigures(const BatchProgress& progress)
{
    // Within a batch that keeps its box only the latest figures matter; a lone transfer's box
    // shows each (the first and the last are always seen).
    if (QThread::currentThread() == thread()) {
        ShowTransferFigures(progress);
        return;
    }
    if (!batchBoxKept) {
        QMetaObject::invokeMethod(this, [this, progress] { ShowTransferFigures(progress); }, Qt::QueuedConnection);
        return;
    }
    {
        const QMutexLocker lock(&latestFigures.mutex);
        latestFigures.figures = progress;
        if (latestFigures.posted)
            return;
        latestFigures.posted = true;
    }
    // Posted before the work's end is, so it is shown before the handler goes on.
    QMetaObject::invokeMethod(this, [this] {
        BatchProgress latest;
        {
            const QMutexLocker lock(&latestFigures.mutex);
            latest = std::move(latestFigures.figures);
            latestFigures.posted = false;
        }
        ShowTransferFigures(latest);
    }, Qt::QueuedConnection);
}

BatchCallbacks MainWindow::BatchReports()
{
    return {[this](const BatchProgress& progress) { PostTransferFigures(progress); },
            [this](const QString& line) { PostLog(line); }};
}

void MainWindow::ShowTransferFigures(const BatchProgress& progress)
{
    if (QThread::currentThread() != thread()) {
        QMetaObject::invokeMethod(this, [this, progress] { ShowTransferFigures(progress); }, Qt::QueuedConnection);
        return;
    }
    // Figures without a file: the transfer has ended, and its box goes (not while a folder batch
    // keeps it between its files).
    if (progress.connections.isEmpty()) {
        if (!batchBoxKept)
            CloseProgressBox();
        return;
    }
    NoteTransferRunning(&progress);
    const int percent = progress.Percent();
    setWindowTitle(percent >= 0 ? ChromeText::TitleWithPercent.arg(percent).arg(ChromeText::AppName)
                                : ChromeText::AppName);
    if (auto* box = qobject_cast<ProgressBox*>(progressBox.get())) {
        box->SetFigures(progress);
        return;
    }
    if (progressBox)
        progressBox->CloseBox();
    workingBox.reset();
    auto box = std::make_unique<ProgressBox>(this);
    box->SetFigures(progress);
    box->SetCancellable(true);
    connect(box.get(), &WaitDialog::CancelRequested, this, &MainWindow::CancelServerWork);
    progressBox = std::move(box);
    // With the worker running, the window's loop exposes the box; a transfer called on this
    // thread (tools and tests) blocks it, so the box must be exposed before.
    if (worker.IsRunning())
        progressBox->ShowBox();
    else
        progressBox->OpenBox();
}
