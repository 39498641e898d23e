#include "engine/data_stream.h"

#include "engine/cancel_signal.h"
#include "engine/line_ends.h"
#include "engine/transfer_digest.h"

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

bool IsCancelled(const DataContext& context)
{
    return context.cancel && context.cancel->IsRaised();
}

DataEnd CopyAllIn(const DataContext& context, const ReceiveSome& receive, QByteArray& out,
                  qsizetype maxSize, size_t chunk)
{
    std::vector<char> buffer(chunk);
    for (;;) {
        if (IsCancelled(context))
            return DataEnd::Cancelled;
        const qsizetype n = receive(buffer.data(), qsizetype(buffer.size()));
        if (n == 0)
            return DataEnd::Clean;
        if (n < 0)
            return IsCancelled(context) ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        if (out.size() + n > maxSize) {
            out.append(buffer.data(), maxSize - out.size());
            return DataEnd::Cut;
        }
        out.append(buffer.data(), n);
    }
}

DataEnd CopyInToFile(const DataContext& context, const ReceiveSome& receive, int fileFd,
                     bool textMode, size_t chunk)
{
    qint64 total = 0;
    std::vector<char> buffer(chunk);
    CrLfToLf converter;
    QByteArray converted;
    for (;;) {
        if (IsCancelled(context))
            return DataEnd::Cancelled;
        const qsizetype n = receive(buffer.data(), qsizetype(buffer.size()));
        if (n < 0)
            return IsCancelled(context) ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        if (context.digest)
            context.digest->Update(buffer.data(), n);
        bool written;
        if (textMode) {
            converted.clear();
            if (n == 0)
                converter.Finish(converted);
            else
                converter.Convert(QByteArrayView(buffer.data(), n), converted);
            written = WriteAll(fileFd, converted.constData(), size_t(converted.size()));
        } else {
            written = WriteAll(fileFd, buffer.data(), size_t(n));
        }
        if (!written)
            return DataEnd::LocalFailed;
        if (n == 0)
            return DataEnd::Clean;
        total += n;
        if (context.progress)
            context.progress(total);
    }
}

DataEnd CopyFileOut(const DataContext& context, const SendWhole& send, int fileFd, bool textMode,
                    size_t chunk)
{
    qint64 total = 0;
    std::vector<char> buffer(chunk);
    QByteArray converted;
    for (;;) {
        if (IsCancelled(context))
            return DataEnd::Cancelled;
        const ssize_t n = ::read(fileFd, buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return DataEnd::LocalFailed;
        if (n == 0)
            return DataEnd::Clean;
        if (context.digest)
            context.digest->Update(buffer.data(), n);
        bool sent;
        if (textMode) {
            converted.clear();
            LfToCrLf(QByteArrayView(buffer.data(), n), converted);
            sent = send(converted.constData(), converted.size());
        } else {
            sent = send(buffer.data(), n);
        }
        if (!sent)
            return IsCancelled(context) ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        total += n;
        if (context.progress)
            context.progress(total);
    }
}

ReceiveSome PlainDataStream::Receiver()
{
    return [this](char* buffer, qsizetype size) { return socket.Receive(buffer, size, context.idleLimit); };
}

DataEnd PlainDataStream::ReceiveAll(QByteArray& out, qsizetype maxSize)
{
    return CopyAllIn(context, Receiver(), out, maxSize, DataChunk);
}

DataEnd PlainDataStream::ReceiveToFile(int fileFd, bool textMode)
{
    return textMode ? CopyInToFile(context, Receiver(), fileFd, true, DataChunk) : ReceiveBinary(fileFd);
}

// Moves the data connection's bytes into the file, by splice() through a pipe when the kernel
// allows it.
DataEnd PlainDataStream::ReceiveBinary(int fileFd)
{
    qint64 total = 0;
    int pipeFds[2];
    bool useSplice = !context.digest && ::pipe2(pipeFds, O_CLOEXEC) == 0;
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
        if (IsCancelled(context)) {
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
            if (n > 0 && context.digest)
                context.digest->Update(buffer.data(), n);
            if (n > 0 && !WriteAll(fileFd, buffer.data(), size_t(n)))
                return DataEnd::LocalFailed;
        }
        if (n > 0) {
            total += n;
            if (context.progress)
                context.progress(total);
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && socket.WaitFor(POLLIN, context.idleLimit))
            continue;
        closePipe();
        return IsCancelled(context) ? DataEnd::Cancelled : DataEnd::NetworkFailed;
    }
    closePipe();
    return DataEnd::Clean;
}

// Sends the file in large pieces. (On loopback a plain read and send beats sendfile(), whose
// page-sized pieces cost the receiving server more than the copy saves here.)
DataEnd PlainDataStream::SendFromFile(int fileFd, bool textMode)
{
    return CopyFileOut(context, [this](const char* data, qsizetype size) {
        return socket.SendAll(data, size, context.idleLimit);
    }, fileFd, textMode, SendChunk);
}
