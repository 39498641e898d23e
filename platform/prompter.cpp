#include "platform/prompter.h"

#include "platform/strings.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialog>
#include <QMessageBox>
#include <QPushButton>
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

std::unique_ptr<QMessageBox> QtPrompter::CertificateBox(const CertificateQuestion& question)
{
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(PlatformText::CertificateCaption);
    box->setIcon(question.changed ? QMessageBox::Critical : QMessageBox::Warning);
    box->setText(question.text);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* always = box->addButton(PlatformText::TrustAlways, QMessageBox::AcceptRole);
    QPushButton* once = box->addButton(PlatformText::TrustOnce, QMessageBox::YesRole);
    QPushButton* cancel = box->addButton(PlatformText::Cancel, QMessageBox::RejectRole);
    for (QPushButton* button : {always, once, cancel})
        button->setAccessibleName(button->text());
    // A certificate that changed is more likely an attack than news: Enter must not accept it.
    box->setDefaultButton(question.changed ? cancel : once);
    box->setEscapeButton(cancel);
    return box;
}

CertificateAnswer QtPrompter::AskCertificate(const CertificateQuestion& question)
{
    const std::unique_ptr<QMessageBox> box = CertificateBox(question);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    if (clicked && clicked->text() == PlatformText::TrustAlways)
        return CertificateAnswer::TrustAlways;
    if (clicked && clicked->text() == PlatformText::TrustOnce)
        return CertificateAnswer::TrustOnce;
    return CertificateAnswer::Cancel;
}

std::unique_ptr<QMessageBox> QtPrompter::CheckedBox(const CheckedQuestion& question)
{
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(Caption());
    box->setIcon(QMessageBox::Warning);
    box->setText(question.text);
    QPushButton* yes = box->addButton(PlatformText::Yes, QMessageBox::YesRole);
    QPushButton* no = box->addButton(PlatformText::No, QMessageBox::NoRole);
    for (QPushButton* button : {yes, no})
        button->setAccessibleName(button->text());
    // Going on in clear is the choice that cannot be taken back: Enter and Esc both say no.
    box->setDefaultButton(no);
    box->setEscapeButton(no);
    if (!question.checkText.isEmpty()) {
        auto* check = new QCheckBox(question.checkText);
        check->setAccessibleName(question.checkText);
        box->setCheckBox(check);
    }
    return box;
}

CheckedAnswer QtPrompter::AskChecked(const CheckedQuestion& question)
{
    const std::unique_ptr<QMessageBox> box = CheckedBox(question);
    box->exec();
    QAbstractButton* clicked = box->clickedButton();
    CheckedAnswer answer;
    answer.yes = clicked && clicked->text() == PlatformText::Yes;
    answer.checked = box->checkBox() && box->checkBox()->isChecked();
    return answer;
}
