#include "engine/sockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

int PollTimeout(std::chrono::milliseconds limit)
{
    if (limit.count() < 0)
        return 0;
    return limit.count() > 0x7FFFFFFF ? 0x7FFFFFFF : int(limit.count());
}

// IPv4 text of an IPv4 address mapped into IPv6, so both spellings compare and print alike.
bool MappedIpv4(const sockaddr_in6& a, in_addr& out)
{
    if (!IN6_IS_ADDR_V4MAPPED(&a.sin6_addr))
        return false;
    std::memcpy(&out, a.sin6_addr.s6_addr + 12, 4);
    return true;
}

}  // namespace

QString SocketAddress::Host() const
{
    char text[INET6_ADDRSTRLEN] = {};
    if (Family() == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(storage).sin_addr, text, sizeof text);
    } else if (Family() == AF_INET6) {
        const auto& a6 = reinterpret_cast<const sockaddr_in6&>(storage);
        in_addr v4;
        if (MappedIpv4(a6, v4))
            inet_ntop(AF_INET, &v4, text, sizeof text);
        else
            inet_ntop(AF_INET6, &a6.sin6_addr, text, sizeof text);
    }
    return QString::fromLatin1(text);
}

quint16 SocketAddress::Port() const
{
    if (Family() == AF_INET)
        return ntohs(reinterpret_cast<const sockaddr_in&>(storage).sin_port);
    if (Family() == AF_INET6)
        return ntohs(reinterpret_cast<const sockaddr_in6&>(storage).sin6_port);
    return 0;
}

void SocketAddress::SetPort(quint16 port)
{
    if (Family() == AF_INET)
        reinterpret_cast<sockaddr_in&>(storage).sin_port = htons(port);
    else if (Family() == AF_INET6)
        reinterpret_cast<sockaddr_in6&>(storage).sin6_port = htons(port);
}

bool SocketAddress::SameHost(const SocketAddress& other) const
{
    return Host() == other.Host();
}

std::optional<SocketAddress> SocketAddress::FromNumericHost(const QString& host, quint16 port)
{
    SocketAddress address;
    const QByteArray text = host.toLatin1();
    auto& a4 = reinterpret_cast<sockaddr_in&>(address.storage);
    auto& a6 = reinterpret_cast<sockaddr_in6&>(address.storage);
    if (inet_pton(AF_INET, text.constData(), &a4.sin_addr) == 1) {
        a4.sin_family = AF_INET;
        address.length = sizeof(sockaddr_in);
    } else if (inet_pton(AF_INET6, text.constData(), &a6.sin6_addr) == 1) {
        a6.sin6_family = AF_INET6;
        address.length = sizeof(sockaddr_in6);
    } else {
        return std::nullopt;
    }
    address.SetPort(port);
    return address;
}

Socket::~Socket()
{
    Close();
}

void Socket::Close()
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool Socket::Open(int family)
{
    Close();
    fd = ::socket(family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    return fd >= 0;
}

void Socket::Adopt(int newFd)
{
    Close();
    fd = newFd;
}

std::optional<SocketAddress> Socket::LocalAddress() const
{
    SocketAddress address;
    address.length = sizeof address.storage;
    if (fd < 0 || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address.storage), &address.length) != 0)
        return std::nullopt;
    return address;
}

std::optional<SocketAddress> Socket::PeerAddress() const
{
    SocketAddress address;
    address.length = sizeof address.storage;
    if (fd < 0 || ::getpeername(fd, reinterpret_cast<sockaddr*>(&address.storage), &address.length) != 0)
        return std::nullopt;
    return address;
}

bool Socket::WaitFor(short events, std::chrono::milliseconds limit) const
{
    if (fd < 0)
        return false;
    pollfd p[2] = {{fd, events, 0}, {watchedCancelFd, POLLIN, 0}};
    const nfds_t count = watchedCancelFd >= 0 ? 2 : 1;
    for (;;) {
        const int r = ::poll(p, count, PollTimeout(limit));
        if (r < 0 && errno == EINTR)
            continue;
        if (count == 2 && p[1].revents != 0)
            return false;  // cancelled
        // POLLHUP and POLLERR count as ready: the following call reports the end or the error.
        return r > 0;
    }
}

bool StreamSocket::Connect(const SocketAddress& address, std::chrono::milliseconds limit)
{
    if (!Open(address.Family()))
        return false;
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) == 0)
        return true;
    if (errno != EINPROGRESS || !WaitFor(POLLOUT, limit)) {
        Close();
        return false;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0 || error != 0) {
        Close();
        return false;
    }
    return true;
}

bool StreamSocket::SendAll(const char* data, qsizetype size, std::chrono::milliseconds limit)
{
    while (size > 0) {
        if (fd < 0)
            return false;
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n > 0) {
            data += n;
            size -= n;
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            if (!WaitFor(POLLOUT, limit))
                return false;
        } else {
            return false;
        }
    }
    return true;
}

qsizetype StreamSocket::Receive(char* buffer, qsizetype maxSize, std::chrono::milliseconds limit)
{
    for (;;) {
        if (fd < 0)
            return -1;
        const ssize_t n = ::recv(fd, buffer, size_t(maxSize), 0);
        if (n >= 0)
            return n;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return -1;
        if (!WaitFor(POLLIN, limit))
            return -1;
    }
}

bool StreamSocket::HasBytesWaiting() const
{
    // Counted, not peeked: a peek at a reset connection would take its error away, and the next
    // read would see a clean end instead.
    int waiting = 0;
    return fd >= 0 && ::ioctl(fd, FIONREAD, &waiting) == 0 && waiting > 0;
}

int WaitReadable(const Socket& first, const Socket& second, std::chrono::milliseconds limit)
{
    if (!first.IsOpen() || !second.IsOpen())
        return -1;
    const int cancelFd = first.WatchedCancelFd();
    pollfd p[3] = {{first.Fd(), POLLIN, 0}, {second.Fd(), POLLIN, 0}, {cancelFd, POLLIN, 0}};
    const nfds_t count = cancelFd >= 0 ? 3 : 2;
    for (;;) {
        const int r = ::poll(p, count, PollTimeout(limit));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0 || (count == 3 && p[2].revents != 0))
            return -1;
        return p[0].revents != 0 ? 0 : 1;
    }
}

void DataSocket::Abort()
{
    if (fd >= 0) {
        const linger reset{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
    }
    Close();
}

bool ControlSocket::ConnectToHost(const QString& host, quint16 port, std::chrono::milliseconds limit)
{
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* found = nullptr;
    const QByteArray name = host.toUtf8();
    if (name.isEmpty() || ::getaddrinfo(name.constData(), nullptr, &hints, &found) != 0)
        return false;
    bool connected = false;
    for (addrinfo* ai = found; ai && !connected; ai = ai->ai_next) {
        if (ai->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        SocketAddress address;
        std::memcpy(&address.storage, ai->ai_addr, ai->ai_addrlen);
        address.length = ai->ai_addrlen;
        address.SetPort(port);
        connected = Connect(address, limit);
    }
    ::freeaddrinfo(found);
    if (connected) {
        // Commands are single short lines that wait for their answer: send them at once.
        const int one = 1;
        ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        ::setsockopt(fd, SOL_SOCKET, SO_KEEPALIVE, &one, sizeof one);
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPIDLE, &KeepaliveIdleSeconds, sizeof(int));
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPINTVL, &KeepaliveIntervalSeconds, sizeof(int));
        ::setsockopt(fd, IPPROTO_TCP, TCP_KEEPCNT, &KeepaliveProbes, sizeof(int));
    }
    return connected;
}

bool ListenSocket::Create(const SocketAddress& localAddress)
{
    SocketAddress address = localAddress;
    address.SetPort(0);
    if (!Open(address.Family()))
        return false;
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address.storage), address.length) != 0) {
        Close();
        return false;
    }
    return true;
}

bool ListenSocket::Listen(int backlog)
{
    return fd >= 0 && ::listen(fd, backlog) == 0;
}

void ListenSocket::DropPending()
{
    for (int accepted; fd >= 0 && (accepted = ::accept4(fd, nullptr, nullptr, SOCK_CLOEXEC)) >= 0;)
        ::close(accepted);
}

bool ListenSocket::Accept(DataSocket& data, const SocketAddress& from, std::chrono::milliseconds limit)
{
    // One deadline for the whole wait: a stranger connecting now and then must not hold the
    // client past it.
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (fd < 0)
            return false;
        const int accepted = ::accept4(fd, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (accepted >= 0) {
            data.Attach(accepted);
            const std::optional<SocketAddress> peer = data.PeerAddress();
            if (peer && peer->SameHost(from))
                return true;
            data.Close();
            continue;
        }
        if (errno == EINTR || errno == ECONNABORTED)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0 || !WaitFor(POLLIN, left))
            return false;
    }
}
