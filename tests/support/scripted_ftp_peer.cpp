#include "tests/support/scripted_ftp_peer.h"

#include <QStringList>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

namespace {

// The peer's own safety limit for any one wait, so a test with a wrong script ends instead of
// hanging. Tests never depend on it.
constexpr int PeerWaitMs = 15000;
constexpr int StopCheckMs = 50;

int ListenOnLoopback(quint16& port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, 5) != 0
        || ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        ::close(fd);
        return -1;
    }
    port = ntohs(address.sin_port);
    return fd;
}

void CloseFd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

ScriptedFtpPeer::ScriptedFtpPeer()
{
    listenFd = ListenOnLoopback(port);
}

ScriptedFtpPeer::~ScriptedFtpPeer()
{
    stopping = true;
    if (thread.joinable())
        thread.join();
    int fd = clientFd.exchange(-1);
    CloseFd(fd);
    CloseFd(listenFd);
    CloseFd(dataListenFd);
    CloseFd(dataFd);
}

void ScriptedFtpPeer::Fail(const QString& what)
{
    std::lock_guard lock(mutex);
    errors << what;
}

ScriptedFtpPeer& ScriptedFtpPeer::Step(std::function<bool()> step)
{
    {
        std::lock_guard lock(mutex);
        steps.push_back(std::move(step));
    }
    if (!started.exchange(true))
        thread = std::thread([this] { Run(); });
    return *this;
}

void ScriptedFtpPeer::Run()
{
    // Accept the client, waking up now and then to see whether the test is over.
    for (int waited = 0; clientFd.load() < 0; waited += StopCheckMs) {
        if (stopping || waited > PeerWaitMs) {
            if (!stopping)
                Fail(QStringLiteral("no client connected"));
            scriptDone = finished = true;
            return;
        }
        pollfd p{listenFd, POLLIN, 0};
        if (::poll(&p, 1, StopCheckMs) > 0)
            clientFd = ::accept4(listenFd, nullptr, nullptr, SOCK_CLOEXEC);
    }
    // The first step started this thread while the test was still adding steps, so take
    // them one at a time under the lock.
    for (size_t i = 0;; ++i) {
        std::function<bool()> step;
        {
            std::lock_guard lock(mutex);
            if (i >= steps.size())
                break;
            step = steps[i];
        }
        if (!step())
            break;
    }
    scriptDone = true;
    // Keep recording what the client says until it closes.
    char buffer[4096];
    while (!stopping && clientFd.load() >= 0) {
        pollfd p{clientFd.load(), POLLIN, 0};
        if (::poll(&p, 1, StopCheckMs) <= 0)
            continue;
        const ssize_t n = ::recv(clientFd.load(), buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        std::lock_guard lock(mutex);
        received.append(buffer, n);
    }
    finished = true;
}

bool ScriptedFtpPeer::WaitReadable(int fd)
{
    for (int waited = 0; waited < PeerWaitMs && !stopping; waited += StopCheckMs) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, StopCheckMs) > 0)
            return true;
    }
    return false;
}

bool ScriptedFtpPeer::SendAll(int fd, const char* data, qsizetype size)
{
    while (size > 0) {
        const ssize_t n = ::send(fd, data, size_t(size), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= n;
    }
    return true;
}

bool ScriptedFtpPeer::ReadLine(QByteArray& line)
{
    for (;;) {
        const qsizetype end = controlBuffer.indexOf("\r\n");
        if (end >= 0) {
            line = controlBuffer.left(end);
            controlBuffer.remove(0, end + 2);
            std::lock_guard lock(mutex);
            commands << line;
            return true;
        }
        if (!WaitReadable(clientFd))
            return false;
        char buffer[4096];
        const ssize_t n = ::recv(clientFd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return false;
        controlBuffer.append(buffer, n);
        std::lock_guard lock(mutex);
        received.append(buffer, n);
    }
}

ScriptedFtpPeer& ScriptedFtpPeer::Send(const QByteArray& bytes)
{
    return Step([this, bytes] {
        if (SendAll(clientFd, bytes.constData(), bytes.size()))
            return true;
        Fail(QStringLiteral("send failed: ") + QString::fromLatin1(bytes));
        return false;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::Read()
{
    return Step([this] {
        QByteArray line;
        if (ReadLine(line))
            return true;
        Fail(QStringLiteral("no command came"));
        return false;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::Login()
{
    return Greet().Answer("331 password please").Answer("230 logged in");
}

ScriptedFtpPeer& ScriptedFtpPeer::AnswerPassive(const QByteArray& reply)
{
    Read();
    return Step([this, reply] {
        quint16 dataPort = 0;
        CloseFd(dataListenFd);
        dataListenFd = ListenOnLoopback(dataPort);
        if (dataListenFd < 0) {
            Fail(QStringLiteral("no data listener"));
            return false;
        }
        QByteArray text = reply;
        text.replace("{addr}", "127,0,0,1,{p1},{p2}");
        text.replace("{p1}", QByteArray::number(dataPort / 256));
        text.replace("{p2}", QByteArray::number(dataPort % 256));
        text.replace("{port}", QByteArray::number(dataPort));
        return SendAll(clientFd, text.constData(), text.size()) && SendAll(clientFd, "\r\n", 2);
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::AcceptData()
{
    return Step([this] {
        if (dataListenFd < 0 || !WaitReadable(dataListenFd)) {
            Fail(QStringLiteral("the client did not connect for data"));
            return false;
        }
        CloseFd(dataFd);
        dataFd = ::accept4(dataListenFd, nullptr, nullptr, SOCK_CLOEXEC);
        return dataFd >= 0;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::ConnectData()
{
    return Step([this] {
        QByteArray argument;
        {
            std::lock_guard lock(mutex);
            for (const QByteArray& command : commands)
                if (command.startsWith("PORT "))
                    argument = command.mid(5);
        }
        const QList<QByteArray> numbers = argument.split(',');
        if (numbers.size() != 6) {
            Fail(QStringLiteral("no PORT command to connect to"));
            return false;
        }
        sockaddr_in address{};
        address.sin_family = AF_INET;
        const QByteArray host = numbers[0] + "." + numbers[1] + "." + numbers[2] + "." + numbers[3];
        ::inet_pton(AF_INET, host.constData(), &address.sin_addr);
        address.sin_port = htons(quint16(numbers[4].toInt() * 256 + numbers[5].toInt()));
        CloseFd(dataFd);
        dataFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (::connect(dataFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
            Fail(QStringLiteral("could not connect to the PORT address"));
            return false;
        }
        return true;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::SendData(const QByteArray& bytes)
{
    return Step([this, bytes] {
        if (SendAll(dataFd, bytes.constData(), bytes.size()))
            return true;
        Fail(QStringLiteral("data send failed"));
        return false;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::ReceiveData()
{
    return Step([this] {
        QByteArray bytes;
        char buffer[65536];
        for (;;) {
            if (!WaitReadable(dataFd)) {
                Fail(QStringLiteral("data did not end"));
                return false;
            }
            const ssize_t n = ::recv(dataFd, buffer, sizeof buffer, 0);
            if (n < 0) {
                Fail(QStringLiteral("the data connection was reset"));
                return false;
            }
            if (n == 0)
                break;
            bytes.append(buffer, n);
        }
        std::lock_guard lock(mutex);
        dataReceived = bytes;
        return true;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::CloseData()
{
    return Step([this] {
        CloseFd(dataFd);
        CloseFd(dataListenFd);
        return true;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::EndDataSending()
{
    return Step([this] { return dataFd >= 0 && ::shutdown(dataFd, SHUT_WR) == 0; });
}

ScriptedFtpPeer& ScriptedFtpPeer::ResetData()
{
    return Step([this] {
        if (dataFd >= 0) {
            const linger reset{1, 0};
            ::setsockopt(dataFd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
        }
        CloseFd(dataFd);
        return true;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::Pause(std::chrono::milliseconds pause)
{
    return Step([pause] {
        std::this_thread::sleep_for(pause);
        return true;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::WaitForClose()
{
    return Step([this] {
        QByteArray line;
        while (ReadLine(line)) {
        }
        return true;
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::Close()
{
    return Step([this] {
        int fd = clientFd.exchange(-1);
        CloseFd(fd);
        return false;  // nothing follows a closed connection
    });
}

ScriptedFtpPeer& ScriptedFtpPeer::Do(std::function<void()> step)
{
    return Step([step] {
        step();
        return true;
    });
}

bool ScriptedFtpPeer::WaitScriptDone(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!scriptDone && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return scriptDone;
}

bool ScriptedFtpPeer::WaitFinished(std::chrono::milliseconds limit)
{
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!finished && std::chrono::steady_clock::now() < end)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return finished;
}

QByteArray ScriptedFtpPeer::Received() const
{
    std::lock_guard lock(mutex);
    return received;
}

QList<QByteArray> ScriptedFtpPeer::Commands() const
{
    std::lock_guard lock(mutex);
    return commands;
}

QByteArray ScriptedFtpPeer::DataReceived() const
{
    std::lock_guard lock(mutex);
    return dataReceived;
}

QStringList ScriptedFtpPeer::Errors() const
{
    std::lock_guard lock(mutex);
    return errors;
}
