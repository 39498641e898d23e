#include "platform/registry_db.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <sqlite3.h>

#include <cerrno>
#include <cstdio>
#include <utility>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace RegistryDb {
namespace {

// Long enough for another copy of the program to finish its write, short enough that a stuck
// lock ends as a failed (defaulted) access instead of a frozen window.
constexpr int BusyTimeoutMs = 5000;

// Waits out another copy's lock in steps of a millisecond. SQLite's own timed wait backs off to
// 100 ms naps; a copy writing many values in a row frees the lock only for the moment between
// two of its transactions, so such naps almost never meet that moment and the waiting copy gave
// up after 5 s with its write lost. Short steps find the gap.
int WaitForLock(void*, int attempts)
{
    if (attempts >= BusyTimeoutMs)
        return 0;
    usleep(1000);
    return 1;
}
constexpr int SchemaVersion = 1;
constexpr char DatabaseFileName[] = "registry.sqlite3";

// The registry compares names without regard to case for every script, not only ASCII, so the
// comparison column holds the case-folded text and the original spelling is kept beside it.
QString Folded(const QString& text)
{
    return text.toCaseFolded();
}

QString ConfigFolder()
{
    const QString overridden = qEnvironmentVariable("TALLOWIN_CONFIG_DIR");
    if (!overridden.isEmpty())
        return overridden;
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg))
        return QDir(xdg).filePath(QStringLiteral("tallowin"));
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd* entry = getpwuid(getuid()))
            home = QFile::decodeName(entry->pw_dir);
    }
    return QDir(home).filePath(QStringLiteral(".config/tallowin"));
}

// The folder holds passwords: only its owner may enter it. Parents are made with the usual
// modes; only the store's own folder is made private.
bool EnsureFolder(const QString& folder)
{
    const QByteArray native = QFile::encodeName(folder);
    struct stat info {};
    if (stat(native.constData(), &info) == 0) {
        if (!S_ISDIR(info.st_mode))
            return false;
        // A folder left looser by an older version or by hand is tightened: it holds passwords.
        if ((info.st_mode & 07777) != 0700)
            chmod(native.constData(), 0700);
        return true;
    }
    QDir().mkpath(QFileInfo(folder).absolutePath());
    if (mkdir(native.constData(), 0700) != 0 && errno != EEXIST)
        return false;
    // The umask may have taken bits away; set exactly the private mode.
    return chmod(native.constData(), 0700) == 0;
}

bool EnsureFile(const QString& file)
{
    const QByteArray native = QFile::encodeName(file);
    const int fd = open(native.constData(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) {
        if (errno != EEXIST)
            return false;
        // An existing file readable by others (made by an older version, copied in, restored
        // from a backup) is made private again before anything is read from it.
        struct stat info {};
        if (stat(native.constData(), &info) == 0 && (info.st_mode & 07777) != 0600)
            chmod(native.constData(), 0600);
        return true;
    }
    const bool ok = fchmod(fd, 0600) == 0;
    close(fd);
    return ok;
}

bool IsDamage(int code)
{
    const int primary = code & 0xff;
    return primary == SQLITE_NOTADB || primary == SQLITE_CORRUPT;
}

class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        status = sqlite3_prepare_v2(db, sql, -1, &statement, nullptr);
    }
    ~Statement() { sqlite3_finalize(statement); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    void Bind(int index, qint64 value)
    {
        if (status == SQLITE_OK)
            status = sqlite3_bind_int64(statement, index, value);
    }
    void Bind(int index, const QString& text)
    {
        if (status == SQLITE_OK)
            status = sqlite3_bind_text16(statement, index, text.utf16(), int(text.size() * 2),
                                         SQLITE_TRANSIENT);
    }
    void BindBlob(int index, const QByteArray& data)
    {
        if (status == SQLITE_OK)
            status = sqlite3_bind_blob(statement, index, data.constData(), int(data.size()),
                                       SQLITE_TRANSIENT);
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int Step()
    {
        if (status != SQLITE_OK)
            return status;
        return sqlite3_step(statement);
    }
    qint64 Int64(int column) const { return sqlite3_column_int64(statement, column); }
    QByteArray Blob(int column) const
    {
        const void* bytes = sqlite3_column_blob(statement, column);
        return QByteArray(static_cast<const char*>(bytes), sqlite3_column_bytes(statement, column));
    }

private:
    sqlite3_stmt* statement = nullptr;
    int status = SQLITE_OK;
};

class Connection {
public:
    Connection() = default;
    ~Connection() { sqlite3_close(db); }
    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    // SQLITE_OK, or the error that made the store unusable (a damage code among them).
    int Open(const QString& file)
    {
        const int opened = sqlite3_open_v2(QFile::encodeName(file).constData(), &db,
                                           SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX, nullptr);
        if (opened != SQLITE_OK)
            return opened;
        sqlite3_extended_result_codes(db, 1);
        sqlite3_busy_handler(db, WaitForLock, nullptr);
        // The store may hold passwords until they move to the keyring: what is deleted or
        // overwritten is zeroed in the file, not left in its free pages.
        const int secure = Execute("PRAGMA secure_delete = ON");
        if (secure != SQLITE_OK)
            return secure;
        return EnsureSchema();
    }

    int Execute(const char* sql) { return sqlite3_exec(db, sql, nullptr, nullptr, nullptr); }

    // One operation's own transaction. Inside RunTransaction the operation joins the open one
    // instead, so these do nothing there and the outer call commits or rolls back.
    int Begin() { return joined ? SQLITE_OK : Execute("BEGIN IMMEDIATE"); }
    int Commit() { return joined ? SQLITE_OK : Execute("COMMIT"); }
    void Rollback()
    {
        if (!joined)
            Execute("ROLLBACK");
    }

    sqlite3* Handle() const { return db; }

    bool joined = false;
    // The first SQLite failure of an operation that joined: it dooms the whole transaction.
    int joinedFailure = SQLITE_OK;

private:
    int EnsureSchema()
    {
        int version = 0;
        {
            Statement query(db, "PRAGMA user_version");
            const int step = query.Step();
            if (step != SQLITE_ROW)
                return step;
            version = int(query.Int64(0));
        }
        if (version >= SchemaVersion)
            return SQLITE_OK;
        // Two copies may start on a fresh file at once: the write lock orders them and the
        // IF NOT EXISTS clauses make the second one's work a no-op.
        int code = Execute("BEGIN IMMEDIATE");
        if (code != SQLITE_OK)
            return code;
        code = Execute(
            "CREATE TABLE IF NOT EXISTS registry_keys ("
            "  id INTEGER PRIMARY KEY,"
            "  folded TEXT NOT NULL UNIQUE,"
            "  path TEXT NOT NULL);"
            "CREATE TABLE IF NOT EXISTS registry_values ("
            "  key_id INTEGER NOT NULL,"
            "  folded TEXT NOT NULL,"
            "  name TEXT NOT NULL,"
            "  type INTEGER NOT NULL,"
            "  data BLOB NOT NULL,"
            "  PRIMARY KEY (key_id, folded)) WITHOUT ROWID;"
            "PRAGMA user_version = 1;");
        if (code != SQLITE_OK) {
            Execute("ROLLBACK");
            return code;
        }
        return Execute("COMMIT");
    }

    sqlite3* db = nullptr;
};

// A name beside the damaged file that no earlier damaged file holds.
QString AsideName(const QString& file)
{
    QString candidate = file + QStringLiteral(".damaged");
    for (int n = 2; QFileInfo::exists(candidate); ++n)
        candidate = file + QStringLiteral(".damaged-%1").arg(n);
    return candidate;
}

// Moves a damaged store aside so that the user's file is never overwritten, and lets the next
// open start a fresh one. Another copy of the program may have found the same damage: a lock
// file orders them, and the file is examined again under the lock so that a fresh store one
// copy has just made is not moved away by the other.
void MoveAside(const QString& file)
{
    const QByteArray lockName = QFile::encodeName(file + QStringLiteral(".lock"));
    const int lockFd = open(lockName.constData(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lockFd < 0)
        return;
    flock(lockFd, LOCK_EX);

    bool damaged = false;
    {
        Connection check;
        int code = check.Open(file);
        if (code == SQLITE_OK) {
            Statement quickCheck(check.Handle(), "PRAGMA quick_check");
            code = quickCheck.Step();
            damaged = IsDamage(code)
                      || (code == SQLITE_ROW && quickCheck.Blob(0) != QByteArrayLiteral("ok"));
        } else {
            damaged = IsDamage(code);
        }
    }
    if (damaged) {
        const QString aside = AsideName(file);
        if (rename(QFile::encodeName(file).constData(), QFile::encodeName(aside).constData()) == 0) {
            // A journal left by the damaged file must not be played back into the fresh one.
            const QString journal = file + QStringLiteral("-journal");
            if (QFileInfo::exists(journal))
                rename(QFile::encodeName(journal).constData(),
                       QFile::encodeName(aside + QStringLiteral("-journal")).constData());
            std::fprintf(stderr,
                         "tallowin: the settings file %s is not a readable database; it was "
                         "moved to %s and a fresh settings file is started\n",
                         QFile::encodeName(file).constData(), QFile::encodeName(aside).constData());
        }
    }
    flock(lockFd, LOCK_UN);
    close(lockFd);
}

// The connection of the RunTransaction in progress on this thread, if any.
thread_local Connection* openTransaction = nullptr;

// Runs one operation on a connection of its own, or inside the transaction RunTransaction has
// open on this thread. A damaged store is moved aside once and the operation runs again on a
// fresh one. The body gives a registry status, or the SQLite code that stopped it through
// sqliteCode.
template <typename Body>
long WithDatabase(long failure, Body&& body)
{
    if (openTransaction) {
        int sqliteCode = SQLITE_OK;
        const long status = body(*openTransaction, sqliteCode);
        if (sqliteCode == SQLITE_OK)
            return status;
        if (openTransaction->joinedFailure == SQLITE_OK)
            openTransaction->joinedFailure = sqliteCode;
        return failure;
    }
    const QString file = DatabasePath();
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!EnsureFolder(QFileInfo(file).absolutePath()) || !EnsureFile(file))
            return ErrorCantOpen;
        Connection connection;
        int sqliteCode = connection.Open(file);
        if (sqliteCode == SQLITE_OK) {
            const long status = body(connection, sqliteCode);
            if (sqliteCode == SQLITE_OK)
                return status;
        }
        if (!IsDamage(sqliteCode))
            return failure;
        MoveAside(file);
    }
    return failure;
}

// Checks that the key id still names a key (the store may have been replaced since the key
// was opened).
int FindKeyById(Connection& connection, qint64 keyId, bool& found)
{
    Statement query(connection.Handle(), "SELECT 1 FROM registry_keys WHERE id = ?1");
    query.Bind(1, keyId);
    const int step = query.Step();
    found = step == SQLITE_ROW;
    return step == SQLITE_ROW || step == SQLITE_DONE ? SQLITE_OK : step;
}

int FindKeyByPath(Connection& connection, const QString& path, qint64& keyId)
{
    Statement query(connection.Handle(), "SELECT id FROM registry_keys WHERE folded = ?1");
    query.Bind(1, Folded(path));
    const int step = query.Step();
    if (step == SQLITE_ROW)
        keyId = query.Int64(0);
    return step == SQLITE_ROW || step == SQLITE_DONE ? SQLITE_OK : step;
}

}  // namespace

QString DatabasePath()
{
    return QDir(ConfigFolder()).filePath(QLatin1String(DatabaseFileName));
}

long OpenKey(const QString& path, qint64& keyId)
{
    return WithDatabase(ErrorCantOpen, [&](Connection& connection, int& sqliteCode) -> long {
        qint64 found = 0;
        sqliteCode = FindKeyByPath(connection, path, found);
        if (sqliteCode != SQLITE_OK)
            return ErrorCantOpen;
        if (found == 0) {
            sqliteCode = connection.Begin();
            if (sqliteCode != SQLITE_OK)
                return ErrorCantOpen;
            {
                Statement insert(connection.Handle(),
                                 "INSERT OR IGNORE INTO registry_keys (folded, path) VALUES (?1, ?2)");
                insert.Bind(1, Folded(path));
                insert.Bind(2, path);
                const int step = insert.Step();
                sqliteCode = step == SQLITE_DONE ? SQLITE_OK : step;
            }
            if (sqliteCode == SQLITE_OK)
                sqliteCode = FindKeyByPath(connection, path, found);
            if (sqliteCode == SQLITE_OK)
                sqliteCode = connection.Commit();
            if (sqliteCode != SQLITE_OK) {
                connection.Rollback();
                return ErrorCantOpen;
            }
        }
        if (found == 0)
            return ErrorCantOpen;
        keyId = found;
        return Success;
    });
}

long SetValue(qint64 keyId, const QString& name, quint32 type, const QByteArray& data)
{
    return WithDatabase(ErrorCantWrite, [&](Connection& connection, int& sqliteCode) -> long {
        sqliteCode = connection.Begin();
        if (sqliteCode != SQLITE_OK)
            return ErrorCantWrite;
        bool keyExists = false;
        sqliteCode = FindKeyById(connection, keyId, keyExists);
        if (sqliteCode == SQLITE_OK && keyExists) {
            Statement upsert(connection.Handle(),
                             "INSERT INTO registry_values (key_id, folded, name, type, data)"
                             " VALUES (?1, ?2, ?3, ?4, ?5)"
                             " ON CONFLICT (key_id, folded) DO UPDATE"
                             " SET type = excluded.type, data = excluded.data");
            upsert.Bind(1, keyId);
            upsert.Bind(2, Folded(name));
            upsert.Bind(3, name);
            upsert.Bind(4, qint64(type));
            upsert.BindBlob(5, data);
            const int step = upsert.Step();
            sqliteCode = step == SQLITE_DONE ? SQLITE_OK : step;
        }
        if (sqliteCode == SQLITE_OK && keyExists)
            sqliteCode = connection.Commit();
        if (sqliteCode != SQLITE_OK || !keyExists) {
            connection.Rollback();
            return keyExists ? ErrorCantWrite : ErrorKeyDeleted;
        }
        return Success;
    });
}

long DeleteValue(qint64 keyId, const QString& name)
{
    return WithDatabase(ErrorCantWrite, [&](Connection& connection, int& sqliteCode) -> long {
        Statement remove(connection.Handle(), "DELETE FROM registry_values WHERE key_id = ?1 AND folded = ?2");
        remove.Bind(1, keyId);
        remove.Bind(2, Folded(name));
        const int step = remove.Step();
        if (step != SQLITE_DONE) {
            sqliteCode = step;
            return ErrorCantWrite;
        }
        return Success;
    });
}

long QueryValue(qint64 keyId, const QString& name, qsizetype bufferSize, QByteArray& data)
{
    return WithDatabase(ErrorCantRead, [&](Connection& connection, int& sqliteCode) -> long {
        Statement query(connection.Handle(),
                        "SELECT data FROM registry_values WHERE key_id = ?1 AND folded = ?2");
        query.Bind(1, keyId);
        query.Bind(2, Folded(name));
        const int step = query.Step();
        if (step == SQLITE_DONE)
            return ErrorFileNotFound;
        if (step != SQLITE_ROW) {
            sqliteCode = step;
            return ErrorCantRead;
        }
        const QByteArray stored = query.Blob(0);
        if (stored.size() > bufferSize)
            return ErrorMoreData;
        data = stored;
        return Success;
    });
}

long RunTransaction(const std::function<long()>& body)
{
    if (openTransaction)
        return body();
    return WithDatabase(ErrorCantWrite, [&](Connection& connection, int& sqliteCode) -> long {
        // The write lock from the start: a search made inside must still hold when the writes
        // that rely on it land.
        sqliteCode = connection.Execute("BEGIN IMMEDIATE");
        if (sqliteCode != SQLITE_OK)
            return ErrorCantWrite;
        connection.joined = true;
        openTransaction = &connection;
        const long status = body();
        openTransaction = nullptr;
        connection.joined = false;
        sqliteCode = std::exchange(connection.joinedFailure, SQLITE_OK);
        if (sqliteCode == SQLITE_OK && status == Success)
            sqliteCode = connection.Execute("COMMIT");
        if (sqliteCode != SQLITE_OK || status != Success) {
            connection.Execute("ROLLBACK");
            return sqliteCode != SQLITE_OK ? ErrorCantWrite : status;
        }
        return Success;
    });
}

}  // namespace RegistryDb
