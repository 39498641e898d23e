#pragma once

#include "engine/sockets.h"

#include <QByteArray>
#include <QtGlobal>

#include <chrono>
#include <functional>

class CancelSignal;

// How the copying over a data connection ended.
enum class DataEnd {
    Clean,          // the peer ended the data in order (or the whole file went out)
    NetworkFailed,  // the connection broke, or nothing moved for the idle limit
    LocalFailed,    // the local file could not be read or written
    Cancelled,      // the session's cancel signal was raised
};

// What every copy over a data connection needs from its session.
struct DataContext {
    std::chrono::milliseconds idleLimit{60000};
    const CancelSignal* cancel = nullptr;
    // Called after every chunk with the bytes moved so far (of the file, before line-end
    // conversion).
    std::function<void(qint64)> progress;
};

// The data connection of one listing or transfer, read and written through one interface so
// that a protected connection can take the place of the plain one. The session opens the
// connection (FtpSession::OpenTransfer is the one place that does) and then only copies through
// this interface.
class DataStream {
public:
    virtual ~DataStream() = default;

    // Everything the peer sends until it ends the connection, at most maxSize bytes (more is a
    // network failure).
    virtual DataEnd ReceiveAll(QByteArray& out, qsizetype maxSize) = 0;
    // Everything the peer sends, into the file; in text mode CR LF becomes LF.
    virtual DataEnd ReceiveToFile(int fileFd, bool textMode) = 0;
    // The whole file from its current position; in text mode every LF goes out as CR LF.
    virtual DataEnd SendFromFile(int fileFd, bool textMode) = 0;
    // Ends the connection in order (the peer sees an end of file).
    virtual void Close() = 0;
    // Breaks the connection off with a reset, so the peer sees the data as incomplete.
    virtual void Abort() = 0;
};

// A data connection without protection: zero-copy splice() into files where the kernel takes
// it, and large sends out of the file.
class PlainDataStream final : public DataStream {
public:
    explicit PlainDataStream(DataContext context) : context(std::move(context)) {}

    // The socket, for the session to connect or accept before any copying.
    DataSocket& Socket() { return socket; }

    DataEnd ReceiveAll(QByteArray& out, qsizetype maxSize) override;
    DataEnd ReceiveToFile(int fileFd, bool textMode) override;
    DataEnd SendFromFile(int fileFd, bool textMode) override;
    void Close() override { socket.Close(); }
    void Abort() override { socket.Abort(); }

private:
    DataEnd ReceiveBinary(int fileFd);
    DataEnd ReceiveText(int fileFd);
    bool Cancelled() const;
    void Progress(qint64 total) const;

    DataContext context;
    DataSocket socket;
};
