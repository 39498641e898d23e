#include "engine/tls_data_stream.h"

namespace {

constexpr size_t ReceiveChunk = 1024 * 1024;
// Each SSL_write is handed this much; OpenSSL cuts it into full-size records.
constexpr size_t SendChunk = 256 * 1024;

}  // namespace

TlsDataStream::TlsDataStream(DataContext context, std::unique_ptr<PlainDataStream> plain, TlsContext& tls)
    : context(std::move(context)), plain(std::move(plain)), channel(tls, this->plain->Socket())
{
}

ReceiveSome TlsDataStream::Receiver()
{
    return [this](char* buffer, qsizetype size) { return channel.Receive(buffer, size, context.idleLimit); };
}

DataEnd TlsDataStream::ReceiveAll(QByteArray& out, qsizetype maxSize)
{
    return CopyAllIn(context, Receiver(), out, maxSize, ReceiveChunk);
}

DataEnd TlsDataStream::ReceiveToFile(int fileFd, bool textMode)
{
    return CopyInToFile(context, Receiver(), fileFd, textMode, ReceiveChunk);
}

DataEnd TlsDataStream::SendFromFile(int fileFd, bool textMode)
{
    sent = true;
    return CopyFileOut(context, [this](const char* data, qsizetype size) {
        return channel.SendAll(data, size, context.idleLimit);
    }, fileFd, textMode, SendChunk);
}

void TlsDataStream::Close()
{
    if (plain->Socket().IsOpen())
        channel.Shutdown(context.idleLimit, sent);
    plain->Close();
}
