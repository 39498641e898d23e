#include "settings/password_vault.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <qt6keychain/keychain.h>

#include <functional>

namespace PasswordVault {
namespace {

// Long enough for a keyring on a busy desktop (or one starting on first use through D-Bus
// activation), short enough that a keyring that never answers only delays the save.
constexpr int AnswerLimitMs = 5000;

bool keyringSilent = false;
bool fallbackHappened = false;
bool fallbackReported = false;

// Runs the job to its end, or until the limit; takeResult sees the finished job before it is
// gone. The job deletes itself once it finishes, even when that is after the limit: the
// connections end with the loop, so a late answer touches nothing of the caller's.
Outcome Run(QKeychain::Job* job, const std::function<void(QKeychain::Job&)>& takeResult = {})
{
    if (keyringSilent || !QCoreApplication::instance()) {
        // Without an application there is no event loop for the job to answer on.
        delete job;
        return Outcome::NoKeyring;
    }
    QEventLoop loop;
    bool finished = false;
    QKeychain::Error error = QKeychain::OtherError;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&](QKeychain::Job* done) {
        finished = true;
        error = done->error();
        if (takeResult && error == QKeychain::NoError)
            takeResult(*done);
        loop.quit();
    });
    QTimer::singleShot(AnswerLimitMs, &loop, &QEventLoop::quit);
    job->setAutoDelete(true);
    job->start();
    loop.exec(QEventLoop::ExcludeUserInputEvents);
    if (finished && error == QKeychain::NoError)
        return Outcome::Done;
    if (finished && error == QKeychain::EntryNotFound)
        return Outcome::NotFound;
    // No service, no bus, a refusal or no answer: asking again this run would cost the same.
    if (!finished)
        qWarning("tallowin: the keyring did not answer within %d ms", AnswerLimitMs);
    keyringSilent = true;
    return Outcome::NoKeyring;
}

template <typename JobType>
JobType* NewJob(const QString& server, const QString& userName)
{
    auto* job = new JobType(QLatin1String(ServiceName));
    job->setKey(AccountKey(server, userName));
    return job;
}

}  // namespace

QString AccountKey(const QString& server, const QString& userName)
{
    return userName + QLatin1Char('@') + server;
}

Outcome Store(const QString& server, const QString& userName, const QString& password)
{
    auto* job = NewJob<QKeychain::WritePasswordJob>(server, userName);
    job->setTextData(password);
    const Outcome outcome = Run(job);
    if (outcome != Outcome::Done)
        fallbackHappened = true;
    return outcome;
}

Outcome Read(const QString& server, const QString& userName, QString& password)
{
    QString read;
    const Outcome outcome = Run(NewJob<QKeychain::ReadPasswordJob>(server, userName), [&](QKeychain::Job& job) {
        read = static_cast<QKeychain::ReadPasswordJob&>(job).textData();
    });
    if (outcome == Outcome::Done)
        password = read;
    return outcome;
}

Outcome Remove(const QString& server, const QString& userName)
{
    const Outcome outcome = Run(NewJob<QKeychain::DeletePasswordJob>(server, userName));
    return outcome == Outcome::NotFound ? Outcome::Done : outcome;
}

bool TakeStoreFallbackNotice()
{
    if (!fallbackHappened || fallbackReported)
        return false;
    fallbackReported = true;
    return true;
}

void UseStoreOnly()
{
    keyringSilent = true;
}

void ResetForTests()
{
    keyringSilent = false;
    fallbackHappened = false;
    fallbackReported = false;
}

}  // namespace PasswordVault
