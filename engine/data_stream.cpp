#include "engine/data_stream.h"

#include "engine/cancel_signal.h"
#include "engine/line_ends.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

constexpr size_t DataChunk = 1024 * 1024;
// Uploads read and send pieces that stay in the processor's cache between the two copies;
// larger ones measured slower.
constexpr size_t SendChunk = 256 * 1024;

bool WriteAll(int fd, const char* data, size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

}  // namespace

bool PlainDataStream::Cancelled() const
{
    return context.cancel && context.cancel->IsRaised();
}

void PlainDataStream::Progress(qint64 total) const
{
    if (context.progress)
        context.progress(total);
}

DataEnd PlainDataStream::ReceiveAll(QByteArray& out, qsizetype maxSize)
{
    std::vector<char> buffer(DataChunk);
    for (;;) {
        if (Cancelled())
            return DataEnd::Cancelled;
        const qsizetype n = socket.Receive(buffer.data(), qsizetype(buffer.size()), context.idleLimit);
        if (n == 0)
            return DataEnd::Clean;
        if (n < 0)
            return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        if (out.size() + n > maxSize)
            return DataEnd::NetworkFailed;
        out.append(buffer.data(), n);
    }
}

DataEnd PlainDataStream::ReceiveToFile(int fileFd, bool textMode)
{
    return textMode ? ReceiveText(fileFd) : ReceiveBinary(fileFd);
}

// Moves the data connection's bytes into the file, by splice() through a pipe when the kernel
// allows it.
DataEnd PlainDataStream::ReceiveBinary(int fileFd)
{
    qint64 total = 0;
    int pipeFds[2];
    bool useSplice = ::pipe2(pipeFds, O_CLOEXEC) == 0;
    bool fileTakesSplice = true;
    if (useSplice)
        ::fcntl(pipeFds[1], F_SETPIPE_SZ, int(DataChunk));
    auto closePipe = [&] {
        if (useSplice) {
            ::close(pipeFds[0]);
            ::close(pipeFds[1]);
        }
        useSplice = false;
    };
    std::vector<char> buffer;
    for (;;) {
        // Checked between chunks as well: a fast sender may never let a wait happen.
        if (Cancelled()) {
            closePipe();
            return DataEnd::Cancelled;
        }
        ssize_t n;
        if (useSplice) {
            n = ::splice(socket.Fd(), nullptr, pipeFds[1], nullptr, DataChunk,
                         SPLICE_F_MOVE | SPLICE_F_NONBLOCK);
            if (n < 0 && (errno == EINVAL || errno == ENOSYS) && total == 0) {
                closePipe();  // this socket takes no splice: copy instead
                continue;
            }
            for (ssize_t left = n; left > 0;) {
                ssize_t m;
                if (fileTakesSplice) {
                    m = ::splice(pipeFds[0], nullptr, fileFd, nullptr, size_t(left), SPLICE_F_MOVE);
                    if (m < 0 && (errno == EINVAL || errno == ENOSYS)) {
                        fileTakesSplice = false;  // this file system takes no splice: copy
                        continue;
                    }
                } else {
                    if (buffer.empty())
                        buffer.resize(DataChunk);
                    m = ::read(pipeFds[0], buffer.data(), qMin(size_t(left), buffer.size()));
                    if (m > 0 && !WriteAll(fileFd, buffer.data(), size_t(m)))
                        m = -1;
                }
                if (m < 0 && errno == EINTR)
                    continue;
                if (m <= 0) {
                    closePipe();
                    return DataEnd::LocalFailed;
                }
                left -= m;
            }
            if (!fileTakesSplice)
                closePipe();
        } else {
            if (buffer.empty())
                buffer.resize(DataChunk);
            n = ::recv(socket.Fd(), buffer.data(), buffer.size(), 0);
            if (n > 0 && !WriteAll(fileFd, buffer.data(), size_t(n)))
                return DataEnd::LocalFailed;
        }
        if (n > 0) {
            total += n;
            Progress(total);
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && socket.WaitFor(POLLIN, context.idleLimit))
            continue;
        closePipe();
        return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
    }
    closePipe();
    return DataEnd::Clean;
}

DataEnd PlainDataStream::ReceiveText(int fileFd)
{
    qint64 total = 0;
    std::vector<char> buffer(DataChunk);
    CrLfToLf converter;
    QByteArray converted;
    for (;;) {
        if (Cancelled())
            return DataEnd::Cancelled;
        const qsizetype n = socket.Receive(buffer.data(), qsizetype(buffer.size()), context.idleLimit);
        if (n < 0)
            return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        converted.clear();
        if (n == 0)
            converter.Finish(converted);
        else
            converter.Convert(QByteArrayView(buffer.data(), n), converted);
        if (!WriteAll(fileFd, converted.constData(), size_t(converted.size())))
            return DataEnd::LocalFailed;
        if (n == 0)
            return DataEnd::Clean;
        total += n;
        Progress(total);
    }
}

// Sends the file in large pieces. (On loopback a plain read and send beats sendfile(), whose
// page-sized pieces cost the receiving server more than the copy saves here.)
DataEnd PlainDataStream::SendFromFile(int fileFd, bool textMode)
{
    qint64 total = 0;
    std::vector<char> buffer(SendChunk);
    QByteArray converted;
    for (;;) {
        if (Cancelled())
            return DataEnd::Cancelled;
        const ssize_t n = ::read(fileFd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return DataEnd::LocalFailed;
        if (n == 0)
            return DataEnd::Clean;
        bool sent;
        if (textMode) {
            converted.clear();
            LfToCrLf(QByteArrayView(buffer.data(), n), converted);
            sent = socket.SendAll(converted.constData(), converted.size(), context.idleLimit);
        } else {
            sent = socket.SendAll(buffer.data(), n, context.idleLimit);
        }
        if (!sent)
            return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        total += n;
        Progress(total);
    }
}
