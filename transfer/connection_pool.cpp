#include "transfer/connection_pool.h"

#include "transfer/connection_strings.h"

#include <thread>

namespace {
// Runs work(i) for i in 0..count-1 at once, one thread each, and returns when all have ended.
void AtOnce(size_t count, const std::function<void(size_t)>& work)
{
    std::vector<std::thread> threads;
    threads.reserve(count);
    for (size_t i = 0; i < count; ++i)
        threads.emplace_back(work, i);
    for (std::thread& thread : threads)
        thread.join();
}

QString ReplyLine(const FtpSession& session)
{
    return session.GetReplyText().trimmed();
}
}  // namespace

SessionRecipe SessionRecipe::Of(const FtpSession& session)
{
    SessionRecipe recipe;
    recipe.tlsRequired = session.GetTlsState() == FtpSession::TlsState::Protected;
    recipe.encryption = session.GetEncryption();
    recipe.certificateFingerprint = session.CertificateFingerprint();
    recipe.charset = session.WireCharset();
    recipe.passive = session.IsPassiveMode();
    recipe.asciiType = session.TypeCommand() == QLatin1String("TYPE A");
    recipe.idleLimit = session.IdleLimit();
    return recipe;
}

ConnectionPool::ConnectionPool(SessionRecipe recipe, SessionFactory factory, LogLine log)
    : recipe(std::move(recipe)), factory(std::move(factory)), log(std::move(log))
{
}

ConnectionPool::~ConnectionPool()
{
    Close();
}

ConnectionPool::OpenEnd ConnectionPool::OpenOne(FtpSession& session, QString& why) const
{
    if (recipe.idleLimit.count() > 0)
        session.SetIdleLimit(recipe.idleLimit);
    session.SetEncryption(recipe.encryption);
    session.SetCharset(recipe.charset);
    // Nobody can be asked on an extra connection: the person already judged this server's
    // certificate once, and a different one is no longer the server they judged.
    const QString fingerprint = recipe.certificateFingerprint;
    session.SetCertificateCheck([fingerprint](const CertificateInfo& certificate, const QString&, quint16) {
        return !fingerprint.isEmpty() && certificate.sha256 == fingerprint;
    });
    // Clear text only where the window's session went on in clear text itself.
    const bool clearTextAllowed = !recipe.tlsRequired;
    session.SetClearTextCheck([clearTextAllowed](const QString&, quint16) { return clearTextAllowed; });

    const auto cancelledOr = [&session](OpenEnd end) {
        return session.IsCancelled() ? OpenEnd::Cancelled : end;
    };
    if (!session.ConnectToServer(recipe.host, recipe.port)) {
        switch (session.GetTlsState()) {
        case FtpSession::TlsState::Refused:
        case FtpSession::TlsState::Failed:
        case FtpSession::TlsState::CertificateRejected:
            why = ReplyLine(session);
            return cancelledOr(OpenEnd::Failed);
        default:
            return cancelledOr(OpenEnd::Refused);
        }
    }
    if (recipe.tlsRequired && session.GetTlsState() != FtpSession::TlsState::Protected) {
        why = ReplyLine(session);
        session.ReleaseControlSocket();
        return cancelledOr(OpenEnd::Failed);
    }
    // Passive mode decides data connections only; a session class may set its own at connect.
    session.SetPassiveMode(recipe.passive);
    if (!session.UserLogin(recipe.user, recipe.password)) {
        session.ReleaseControlSocket();
        return cancelledOr(OpenEnd::Refused);
    }
    session.QueryFeatures();
    if (!session.IsConnected())
        return cancelledOr(OpenEnd::Refused);
    if (!recipe.folder.isEmpty() && !session.ChangeDir(recipe.folder)) {
        why = ReplyLine(session);
        session.DisconnectFromServer();
        session.ReleaseControlSocket();
        return cancelledOr(OpenEnd::Failed);
    }
    if (recipe.asciiType)
        session.SetTypeAscii();
    else
        session.SetTypeBinary();
    return session.IsConnected() ? OpenEnd::Open : cancelledOr(OpenEnd::Refused);
}

void ConnectionPool::Make(int count)
{
    const size_t extra = size_t(qMax(0, count - 1));
    std::vector<std::unique_ptr<FtpSession>> made;
    for (size_t i = 0; i < extra; ++i)
        made.push_back(factory());
    const std::lock_guard guard(lock);
    if (cancelled)
        return;
    // Held where Cancel reaches them while they connect.
    for (std::unique_ptr<FtpSession>& session : made)
        sessions.push_back(std::move(session));
    ends.assign(sessions.size(), OpenEnd::NotTried);
    reasons.assign(sessions.size(), QString());
}

bool ConnectionPool::OpenExtra(size_t index)
{
    FtpSession* session = nullptr;
    {
        const std::lock_guard guard(lock);
        if (index >= sessions.size() || index >= ends.size() || ends[index] != OpenEnd::NotTried)
            return false;
        session = sessions[index].get();
    }
    QString why;
    const OpenEnd end = OpenOne(*session, why);
    const std::lock_guard guard(lock);
    ends[index] = end;
    reasons[index] = why;
    return end == OpenEnd::Open;
}

int ConnectionPool::Settle()
{
    bool refused = false;
    bool failed = false;
    QString failure;
    int have = 1;
    {
        const std::lock_guard guard(lock);
        std::vector<std::unique_ptr<FtpSession>> kept;
        for (size_t i = 0; i < sessions.size(); ++i) {
            const OpenEnd end = i < ends.size() ? ends[i] : OpenEnd::Open;
            if (end == OpenEnd::Open)
                kept.push_back(std::move(sessions[i]));
            refused = refused || end == OpenEnd::Refused;
            if (end == OpenEnd::Failed && !failed) {
                failed = true;
                failure = reasons[i];
            }
        }
        sessions = std::move(kept);
        ends.assign(sessions.size(), OpenEnd::Open);
        reasons.assign(sessions.size(), QString());
        have += int(sessions.size());
    }
    if (log && refused)
        log(ConnectionText::ServerLimit.arg(have));
    if (log && failed)
        log(ConnectionText::ExtraFailed.arg(QString::number(have), failure));
    return have;
}

std::vector<FtpSession*> ConnectionPool::Sessions() const
{
    const std::lock_guard guard(lock);
    std::vector<FtpSession*> open;
    for (const std::unique_ptr<FtpSession>& session : sessions)
        open.push_back(session.get());
    return open;
}

void ConnectionPool::Cancel()
{
    const std::lock_guard guard(lock);
    cancelled = true;
    for (const std::unique_ptr<FtpSession>& session : sessions)
        session->Cancel();
}

void ConnectionPool::Close()
{
    std::vector<std::unique_ptr<FtpSession>> closing;
    {
        const std::lock_guard guard(lock);
        closing.swap(sessions);
    }
    AtOnce(closing.size(), [&](size_t i) {
        FtpSession& session = *closing[i];
        // What a cancelled transfer left owing would be read as QUIT's reply.
        if (!session.IsCancelled() && session.SettlePending())
            session.SettleCancelled();
        session.DisconnectFromServer();
        session.ReleaseControlSocket();
    });
}
