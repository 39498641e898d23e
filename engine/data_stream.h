#pragma once

#include "engine/sockets.h"

#include <QByteArray>
#include <QtGlobal>

#include <chrono>
#include <functional>

class CancelSignal;
class StreamDigest;

// How the copying over a data connection ended.
enum class DataEnd {
    Clean,          // the peer ended the data in order (or the whole file went out)
    NetworkFailed,  // the connection broke, or nothing moved for the idle limit
    LocalFailed,    // the local file could not be read or written
    Cancelled,      // the session's cancel signal was raised
    Cut,            // more came than the reader takes: it has the first part, the rest is unread
};

// What every copy over a data connection needs from its session.
struct DataContext {
    std::chrono::milliseconds idleLimit{60000};
    const CancelSignal* cancel = nullptr;
    // Called after every chunk with the bytes moved so far (of the file, before line-end
    // conversion).
    std::function<void(qint64)> progress;
    // When set, every byte of the file goes through it as it streams (as on the wire: a binary
    // transfer's bytes are the file's). Receiving then copies instead of splicing, since spliced
    // bytes never pass through the process.
    StreamDigest* digest = nullptr;
};

// The copy loops every stream shares, over the stream's own way of moving bytes. receive gives
// the bytes read (at most the size asked), 0 at the peer's end of the data, less than 0 for a
// failure; send moves the whole piece or fails. The cancel signal is looked at between pieces.
using ReceiveSome = std::function<qsizetype(char* buffer, qsizetype size)>;
using SendWhole = std::function<bool(const char* data, qsizetype size)>;
// Everything until the peer's end, at most maxSize bytes: when more comes, out holds the first
// maxSize and the end is Cut.
DataEnd CopyAllIn(const DataContext& context, const ReceiveSome& receive, QByteArray& out,
                  qsizetype maxSize, size_t chunk);
// Everything until the peer's end into the file; in text mode CR LF becomes LF.
DataEnd CopyInToFile(const DataContext& context, const ReceiveSome& receive, int fileFd,
                     bool textMode, size_t chunk);
// The file from its current position; in text mode every LF goes out as CR LF.
DataEnd CopyFileOut(const DataContext& context, const SendWhole& send, int fileFd, bool textMode,
                    size_t chunk);
// Whether the context's cancel signal is raised.
bool IsCancelled(const DataContext& context);

// The data connection of one listing or transfer, read and written through one interface so
// that a protected connection can take the place of the plain one. The session opens the
// connection (DataConnector::Open is the one place that does) and then only copies through
// this interface.
class DataStream {
public:
    virtual ~DataStream() = default;

    // Everything the peer sends until it ends the connection, at most maxSize bytes (when more
    // comes, the first maxSize and DataEnd::Cut).
    virtual DataEnd ReceiveAll(QByteArray& out, qsizetype maxSize) = 0;
    // Everything the peer sends, into the file; in text mode CR LF becomes LF.
    virtual DataEnd ReceiveToFile(int fileFd, bool textMode) = 0;
    // The whole file from its current position; in text mode every LF goes out as CR LF.
    virtual DataEnd SendFromFile(int fileFd, bool textMode) = 0;
    // Ends the connection in order (the peer sees an end of file).
    virtual void Close() = 0;
    // Breaks the connection off with a reset, so the peer sees the data as incomplete.
    virtual void Abort() = 0;
    // Whether the peer announced the end of its data in a way no one on the path can forge. A
    // plain connection has only its FIN, so it says yes.
    virtual bool EndedInOrder() const { return true; }
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
    ReceiveSome Receiver();

    DataContext context;
    DataSocket socket;
};
