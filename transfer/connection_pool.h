#pragma once

#include "engine/ftp_session.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

// What an extra connection of a batch needs to be what the window's session is: the same login,
// encryption, character set and passive mode, the same certificate, folder and type.
struct SessionRecipe {
    QString host;
    quint16 port = 21;
    QString user;
    QString password;
    FtpSession::Encryption encryption = FtpSession::Encryption::None;
    QByteArray charset;  // as FtpSession::SetCharset takes it; empty for the automatic choice
    bool passive = true;
    // The window's session is under TLS: an extra connection in clear text is refused, whatever
    // the encryption choice says (nobody is there to be asked, and a refusal may be someone on
    // the path).
    bool tlsRequired = false;
    // The certificate ("AB:CD:...") the window's session was protected with. An extra connection
    // takes this one without a question and refuses any other the system does not vouch for.
    QString certificateFingerprint;
    QString folder;          // entered (CWD) on every extra connection; empty: stay at login's
    bool asciiType = false;  // TYPE A rather than TYPE I until a job says otherwise
    std::chrono::milliseconds idleLimit{0};  // 0: the session's own default

    // What a connected, logged-in session tells of itself: encryption, whether TLS came up,
    // the character set it speaks now, passive mode, its certificate, type and idle limit. Host,
    // port, user, password and folder are the caller's to fill in.
    static SessionRecipe Of(const FtpSession& session);
};

// The extra sessions of one batch. The first connection is the window's own and is not held
// here; the pool opens count-1 more, each logged in as the recipe says, and closes them (QUIT)
// after the batch. A server that will not take another connection (a 4xx greeting such as "421
// Too many connections", 530 at the login, a refused connect) leaves the batch with the
// connections it has, for the rest of the run, said once in the log.
class ConnectionPool {
public:
    // Makes one unconnected session (the window's session class, or FtpSession itself).
    using SessionFactory = std::function<std::unique_ptr<FtpSession>()>;
    // A line for the log; called on the thread that calls Open.
    using LogLine = std::function<void(const QString& line)>;

    ConnectionPool(SessionRecipe recipe, SessionFactory factory, LogLine log = {});
    ~ConnectionPool();
    ConnectionPool(const ConnectionPool&) = delete;
    ConnectionPool& operator=(const ConnectionPool&) = delete;

    // Opening goes in steps, so that work can start on the caller's connection while the others
    // log in. Make: count-1 unconnected extra sessions, made on the calling thread and held where
    // Cancel reaches them; Sessions() lists them, connection 1, 2 ... of the batch.
    void Make(int count);
    // Connects and logs in made session index (0 for connection 1), on any thread, one call per
    // session; true when it is ready for work.
    bool OpenExtra(size_t index);
    // Once every OpenExtra has returned, on the thread that made them: lets go of the sessions
    // that did not open and says once in the log why. How many connections the batch has, the
    // caller's own included (at least 1).
    int Settle();
    // The extra sessions, connection 1, 2 ... of the batch: every one made until Settle, the
    // open ones after it.
    std::vector<FtpSession*> Sessions() const;
    // From any thread: ends every wait of an opening and of work on the extra sessions at once.
    void Cancel();
    // QUIT on every extra session at once (one whose cancel is in force is dropped without
    // QUIT); the pool is empty afterwards. The destructor does it too.
    void Close();

private:
    enum class OpenEnd { Open, Refused, Failed, Cancelled, NotTried };
    // Connects and logs one session in; why holds the reason of a failure.
    OpenEnd OpenOne(FtpSession& session, QString& why) const;

    SessionRecipe recipe;
    SessionFactory factory;
    LogLine log;
    mutable std::mutex lock;  // guards sessions and cancelled against Cancel from other threads
    std::vector<std::unique_ptr<FtpSession>> sessions;
    // Of the sessions Make made and not settled yet: how each opening ended and why.
    std::vector<OpenEnd> ends;
    std::vector<QString> reasons;
    bool cancelled = false;
};
