#include "engine/tls_data_stream.h"

#include "engine/cancel_signal.h"
#include "engine/line_ends.h"

#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

constexpr size_t ReceiveChunk = 1024 * 1024;
// Each SSL_write is handed this much; OpenSSL cuts it into full-size records.
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

TlsDataStream::TlsDataStream(DataContext context, std::unique_ptr<PlainDataStream> plain, TlsContext& tls)
    : context(std::move(context)), plain(std::move(plain)), channel(tls, this->plain->Socket())
{
}

bool TlsDataStream::Cancelled() const
{
    return context.cancel && context.cancel->IsRaised();
}

void TlsDataStream::Progress(qint64 total) const
{
    if (context.progress)
        context.progress(total);
}

DataEnd TlsDataStream::ReceiveAll(QByteArray& out, qsizetype maxSize)
{
    std::vector<char> buffer(ReceiveChunk);
    for (;;) {
        if (Cancelled())
            return DataEnd::Cancelled;
        const qsizetype n = channel.Receive(buffer.data(), qsizetype(buffer.size()), context.idleLimit);
        if (n == 0)
            return DataEnd::Clean;
        if (n < 0)
            return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        if (out.size() + n > maxSize)
            return DataEnd::NetworkFailed;
        out.append(buffer.data(), n);
    }
}

DataEnd TlsDataStream::ReceiveToFile(int fileFd, bool textMode)
{
    qint64 total = 0;
    std::vector<char> buffer(ReceiveChunk);
    CrLfToLf converter;
    QByteArray converted;
    for (;;) {
        if (Cancelled())
            return DataEnd::Cancelled;
        const qsizetype n = channel.Receive(buffer.data(), qsizetype(buffer.size()), context.idleLimit);
        if (n < 0)
            return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
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
        Progress(total);
    }
}

DataEnd TlsDataStream::SendFromFile(int fileFd, bool textMode)
{
    sent = true;
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
        bool ok;
        if (textMode) {
            converted.clear();
            LfToCrLf(QByteArrayView(buffer.data(), n), converted);
            ok = channel.SendAll(converted.constData(), converted.size(), context.idleLimit);
        } else {
            ok = channel.SendAll(buffer.data(), n, context.idleLimit);
        }
        if (!ok)
            return Cancelled() ? DataEnd::Cancelled : DataEnd::NetworkFailed;
        total += n;
        Progress(total);
    }
}

void TlsDataStream::Close()
{
    if (plain->Socket().IsOpen())
        channel.Shutdown(context.idleLimit, sent);
    plain->Close();
}
