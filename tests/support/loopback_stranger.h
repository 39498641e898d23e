#pragma once

#include <QByteArray>
#include <QList>
#include <QtGlobal>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

// The port a PORT argument ("h1,h2,h3,h4,p1,p2") names; 0 for a text that names none.
inline quint16 PortOfPortArgument(const QByteArray& argument)
{
    const QList<QByteArray> numbers = argument.split(',');
    return quint16(numbers.value(4).toInt() * 256 + numbers.value(5).toInt());
}

// Connects from 127.0.0.2 to the port on 127.0.0.1, as a third host racing the server would, and
// sends the bytes when it got through. Closes at once; true when the connection was made.
inline bool ConnectAsStranger(quint16 port, const QByteArray& bytes = {})
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in from{};
    from.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.2", &from.sin_addr);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    ::inet_pton(AF_INET, "127.0.0.1", &to.sin_addr);
    to.sin_port = htons(port);
    const bool connected = ::bind(fd, reinterpret_cast<sockaddr*>(&from), sizeof from) == 0
                           && ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0;
    if (connected && !bytes.isEmpty())
        ::send(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL);
    ::close(fd);
    return connected;
}
