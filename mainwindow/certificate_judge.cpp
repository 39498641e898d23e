#include "mainwindow/certificate_judge.h"

#include "mainwindow/strings.h"
#include "platform/prompter.h"
#include "settings/certificate_trust.h"

#include <QCoreApplication>
#include <QThread>

#include <functional>

namespace {

QString Reason(const CertificateInfo& certificate, const QString& host)
{
    using Problem = CertificateInfo::Problem;
    QString reason;
    switch (certificate.problem) {
    case Problem::None:
        break;
    case Problem::SelfSigned:
        reason = CertificateText::SelfSigned;
        break;
    case Problem::UnknownIssuer:
        reason = CertificateText::UnknownIssuer;
        break;
    case Problem::Expired:
        reason = CertificateText::Expired;
        break;
    case Problem::NotYetValid:
        reason = CertificateText::NotYetValid;
        break;
    case Problem::NameMismatch:
        return CertificateText::NameMismatch.arg(host);
    case Problem::Other:
        reason = CertificateText::Other.arg(certificate.detail);
        break;
    }
    if (!certificate.nameMatches)
        reason += reason.isEmpty() ? CertificateText::NameMismatch.arg(host) : CertificateText::AlsoNameMismatch.arg(host);
    return reason;
}

// The checks run where the session runs (the worker); the questions belong to the window.
void OnApplicationThread(const std::function<void()>& ask)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() == app->thread())
        ask();
    else
        QMetaObject::invokeMethod(app, ask, Qt::BlockingQueuedConnection);
}

}  // namespace

QString CertificateQuestionText(const CertificateInfo& certificate, const QString& host, quint16 port,
                                const QString& rememberedFingerprint)
{
    QString text;
    if (!rememberedFingerprint.isEmpty())
        text = CertificateText::Changed.arg(rememberedFingerprint);
    // Arguments in one call, so that a "%" inside a certificate's name is never read as a marker.
    return text + CertificateText::Question.arg(
        CertificateTrust::ServerName(host, port), Reason(certificate, host), certificate.subject,
        certificate.issuer, certificate.notBefore.toString(CertificateText::DateFormat),
        certificate.notAfter.toString(CertificateText::DateFormat), certificate.sha256);
}

bool JudgeCertificate(const CertificateInfo& certificate, const QString& host, quint16 port)
{
    if (certificate.sha256.isEmpty())
        return false;
    const QString remembered = CertificateTrust::Remembered(host, port);
    if (remembered == certificate.sha256)
        return true;
    CertificateQuestion question;
    question.changed = !remembered.isEmpty();
    question.text = CertificateQuestionText(certificate, host, port, remembered);
    CertificateAnswer answer = CertificateAnswer::Cancel;
    OnApplicationThread([&] { answer = Prompter::Current().AskCertificate(question); });
    switch (answer) {
    case CertificateAnswer::TrustAlways:
        CertificateTrust::Remember(host, port, certificate.sha256);
        return true;
    case CertificateAnswer::TrustOnce:
        return true;
    case CertificateAnswer::Cancel:
        break;
    }
    return false;
}

bool JudgeClearText(const QString& host, quint16 port)
{
    const bool workedBefore = TlsMemory::TlsWorkedBefore(host, port);
    if (!workedBefore && TlsMemory::ClearTextAccepted(host, port))
        return true;
    const CheckedQuestion question = ClearTextQuestion(workedBefore);
    CheckedAnswer answer;
    OnApplicationThread([&] { answer = Prompter::Current().AskChecked(question); });
    if (answer.yes && answer.checked && !workedBefore)
        TlsMemory::RememberClearTextAccepted(host, port);
    return answer.yes;
}

CheckedQuestion ClearTextQuestion(bool tlsWorkedBefore)
{
    CheckedQuestion question;
    if (tlsWorkedBefore) {
        question.text = ConnectText::TlsWasRefused + u'\n' + ConnectText::ClearTextQuestion;
    } else {
        question.text = ConnectText::ClearTextQuestion;
        question.checkText = ConnectText::DontAskAgain;
    }
    return question;
}

QString EncryptionLine(FtpSession::TlsState state, const QString& protocol, bool dataProtected)
{
    switch (state) {
    case FtpSession::TlsState::Protected:
        if (!dataProtected)
            return ConnectText::TlsProtected.arg(protocol) + u'\n' + ConnectText::DataNotEncrypted;
        return ConnectText::TlsProtected.arg(protocol);
    case FtpSession::TlsState::Refused:
        return ConnectText::NotEncrypted;
    default:
        return {};
    }
}
