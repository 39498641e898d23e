#pragma once

#include <QString>
#include <QtGlobal>

#include <sys/socket.h>

#include <chrono>
#include <optional>

// An address of either family, as the kernel gives and takes it.
struct SocketAddress {
    sockaddr_storage storage{};
    socklen_t length = 0;

    int Family() const { return storage.ss_family; }
    // Dotted text for IPv4 (also for an IPv4 address mapped into IPv6), RFC 5952 text for IPv6.
    QString Host() const;
    quint16 Port() const;
    void SetPort(quint16 port);
    bool SameHost(const SocketAddress& other) const;

    static std::optional<SocketAddress> FromNumericHost(const QString& host, quint16 port);
};

// The three socket roles of the engine are thin RAII wrappers over non-blocking POSIX sockets.
// Every wait goes through poll() with the idle limit the caller gives, so a peer that stops
// answering ends the call like a broken connection instead of blocking forever. A wait also
// ends at once when the watched cancel descriptor becomes readable (see CancelSignal); the
// call then fails as if the limit had passed, and the caller asks the signal why.
class Socket {
public:
    Socket() = default;
    ~Socket();
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;

    bool IsOpen() const { return fd >= 0; }
    int Fd() const { return fd; }
    void Close();
    std::optional<SocketAddress> LocalAddress() const;
    std::optional<SocketAddress> PeerAddress() const;
    // Waits until one of the poll events is ready. False when the limit passed without it or
    // the socket reported an error or hang-up without the event.
    bool WaitFor(short events, std::chrono::milliseconds limit) const;
    // The descriptor every wait watches besides the socket; -1 for none.
    void WatchCancel(int cancelFd) { watchedCancelFd = cancelFd; }
    int WatchedCancelFd() const { return watchedCancelFd; }

protected:
    bool Open(int family);
    void Adopt(int newFd);

    int fd = -1;
    int watchedCancelFd = -1;
};

class StreamSocket : public Socket {
public:
    // Connects with the idle limit; false when refused, unreachable or silent.
    bool Connect(const SocketAddress& address, std::chrono::milliseconds limit);
    // Sends every byte; false on an error or when the peer takes nothing for the idle limit.
    bool SendAll(const char* data, qsizetype size, std::chrono::milliseconds limit);
    // Receives up to maxSize bytes: the count, 0 when the peer closed, -1 on an error or when
    // nothing arrived within the idle limit.
    qsizetype Receive(char* buffer, qsizetype maxSize, std::chrono::milliseconds limit);
    // Bytes are waiting to be received (not an end of file or an error), without waiting.
    bool HasBytesWaiting() const;
};

// Waits until the first or the second socket can be read from (or was hung up): 0 or 1 for
// which, -1 when the limit passed or the first one's watched cancel descriptor became readable.
int WaitReadable(const Socket& first, const Socket& second, std::chrono::milliseconds limit);

// The control connection.
class ControlSocket : public StreamSocket {
public:
    // Resolves the host (a name, dotted text or IPv6 text) and connects to the first address
    // that answers within the idle limit. The connection sends TCP keepalive probes after
    // KeepaliveIdle without traffic, so that NATs and load balancers keep an idle control
    // connection mapped while a long transfer runs.
    bool ConnectToHost(const QString& host, quint16 port, std::chrono::milliseconds limit);

    static constexpr int KeepaliveIdleSeconds = 30;
    static constexpr int KeepaliveIntervalSeconds = 10;
    static constexpr int KeepaliveProbes = 6;
};

// One data connection, within one listing or transfer.
class DataSocket : public StreamSocket {
public:
    // Takes an accepted connection.
    void Attach(int acceptedFd) { Adopt(acceptedFd); }
    // Closes with a reset instead of an end of file: the peer sees the data as broken off.
    void Abort();
};

// The listening socket of an active-mode data connection.
class ListenSocket : public Socket {
public:
    // A socket bound to the given address (its port is ignored: any free port is taken).
    bool Create(const SocketAddress& localAddress);
    bool Listen(int backlog);
    // Takes every connection already waiting and ends it in order, so that a server that
    // connected at once (before the transfer command was refused) sees an end of file rather
    // than a reset.
    void DropPending();
    // Accepts one connection from the given host into the data socket within the limit,
    // counted from the call: connections from other hosts are turned away (only the server may
    // deliver the data) and do not extend the wait.
    bool Accept(DataSocket& data, const SocketAddress& from, std::chrono::milliseconds limit);
};
