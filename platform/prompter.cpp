#include "platform/prompter.h"

#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QThread>

namespace {
Prompter* installed = nullptr;

QString Caption()
{
    return QApplication::applicationDisplayName();
}
}  // namespace

Prompter& Prompter::Current()
{
    static QtPrompter qtPrompter;
    return installed ? *installed : qtPrompter;
}

void Prompter::Install(Prompter* prompter)
{
    installed = prompter;
}

bool Prompter::AskFromAnyThread(const QString& text)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        return Current().AskYesNo(text);
    bool yes = false;
    QMetaObject::invokeMethod(app, [&] { yes = Current().AskYesNo(text); }, Qt::BlockingQueuedConnection);
    return yes;
}

void QtPrompter::ShowMessage(const QString& text)
{
    QMessageBox::information(nullptr, Caption(), text, QMessageBox::Ok);
}

bool QtPrompter::AskYesNo(const QString& text)
{
    return QMessageBox::question(nullptr, Caption(), text, QMessageBox::Yes | QMessageBox::No,
                                 QMessageBox::Yes) == QMessageBox::Yes;
}

bool QtPrompter::RunDialog(QDialog& dialog)
{
    return dialog.exec() == QDialog::Accepted;
}
