#include "engine/ftp_session.h"

#include "engine/ftp_reply.h"
#include "engine/line_ends.h"
#include "engine/sockets.h"
#include "engine/wire_codec.h"

#include <QFile>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

namespace {

const QString ClosedReplyText = QStringLiteral("GetResponce nRead=0 Error");
const QString NoConnectionText = QString(QChar(1));

constexpr qsizetype ControlReadSize = 16 * 1024;
constexpr size_t DataChunk = 1024 * 1024;
// Uploads read and send pieces that stay in the processor's cache between the two copies;
// larger ones measured slower.
constexpr size_t SendChunk = 256 * 1024;
constexpr qsizetype MaxListing = 256 * 1024 * 1024;

// How a data loop ended.
enum class DataEnd { Clean, NetworkFailed, LocalFailed };

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

// The process's file creation mask, read without changing it (umask() would race with other
// threads creating files).
mode_t CurrentUmask()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("Umask:"))
                return mode_t(line.mid(6).trimmed().toUInt(nullptr, 8));
        }
    }
    return 022;
}

// The port of a 229 reply, "(|||port|)" with any delimiter character; 0 when there is none.
int ParseExtendedPassivePort(const QString& reply)
{
    const qsizetype open = reply.indexOf(QLatin1Char('('));
    if (open < 0 || open + 4 >= reply.size())
        return 0;
    const QChar delimiter = reply.at(open + 1);
    if (reply.at(open + 2) != delimiter || reply.at(open + 3) != delimiter)
        return 0;
    const QStringView rest = QStringView(reply).mid(open + 4);
    const qsizetype end = rest.indexOf(delimiter);
    bool ok = false;
    const int port = end > 0 ? rest.first(end).toInt(&ok) : 0;
    return ok ? port : 0;
}

}  // namespace

struct FtpSession::Private {
    qint64 transferSize = 0;
    bool passiveMode = false;
    QString pasvHost;
    int pasvPort = 0;
    QString replyText;
    QString typeCommand = QStringLiteral("TYPE A");
    std::unique_ptr<ControlSocket> controlSocket;
    bool connected = false;
    int replyCode = 0;
    ListenSocket listenSocket;

    ReplyReader reader;
    WireCodec codec;
    ProgressCallback progress;
    std::chrono::milliseconds idleLimit{60000};

    bool Established() const { return controlSocket && connected; }
    bool TextMode() const { return typeCommand == QLatin1String("TYPE A"); }
};

FtpSession::FtpSession() : d(std::make_unique<Private>()) {}

FtpSession::~FtpSession() = default;

// ---------------------------------------------------------------------------------------------
// Control connection

bool FtpSession::CreateControlSocket()
{
    d->controlSocket = std::make_unique<ControlSocket>();
    d->reader.Clear();
    return true;
}

void FtpSession::ReleaseControlSocket()
{
    d->controlSocket.reset();
    d->reader.Clear();
}

bool FtpSession::IsConnected() const
{
    return d->Established();
}

bool FtpSession::ConnectToServer(const QString& host, quint16 port)
{
    CreateControlSocket();
    d->connected = d->controlSocket->ConnectToHost(host, port, d->idleLimit);
    if (!d->connected)
        return false;
    // A greeting that never came must not pass for the 220 of an earlier session.
    if (!ReadReply() || d->replyCode != 220)
        d->connected = false;
    return d->connected;
}

bool FtpSession::SendCommand(const QString& command)
{
    if (!d->Established() || !d->controlSocket->IsOpen() || command.isEmpty())
        return false;
    QString line = command;
    if (line.endsWith(QLatin1String("\r\n")))
        line.chop(2);
    // One command per line: a CR, LF or NUL inside would let a name smuggle in another command.
    for (QChar c : line) {
        if (c == QLatin1Char('\r') || c == QLatin1Char('\n') || c == QChar(0))
            return false;
    }
    std::optional<QByteArray> bytes = d->codec.Encode(line);
    if (!bytes)
        return false;
    bytes->append("\r\n", 2);
    if (!d->controlSocket->SendAll(bytes->constData(), bytes->size(), d->idleLimit)) {
        d->controlSocket->Close();  // broken: later sends and reads end at once
        return false;
    }
    return true;
}

bool FtpSession::ReadReply()
{
    if (!d->Established())
        return false;
    QByteArray raw;
    char buffer[ControlReadSize];
    for (;;) {
        const ReplyReader::Result result = d->reader.Take(raw);
        if (result == ReplyReader::Result::Complete)
            break;
        if (result == ReplyReader::Result::TooLong || !d->controlSocket->IsOpen()) {
            d->controlSocket->Close();
            d->reader.Clear();
            return false;
        }
        const qsizetype n = d->controlSocket->Receive(buffer, sizeof buffer, d->idleLimit);
        if (n > 0) {
            d->reader.Append(buffer, n);
            continue;
        }
        d->controlSocket->Close();
        if (n == 0) {
            d->reader.Clear();
            return false;
        }
        // An error or a silent server: the reply is the lines that arrived complete.
        raw = d->reader.CompletedLines();
        d->reader.Clear();
        break;
    }
    d->replyCode = ParseReplyCode(raw);
    d->replyText = d->codec.Decode(raw);
    return true;
}

QString FtpSession::GetResponce()
{
    if (!d->Established())
        return NoConnectionText;
    return ReadReply() ? d->replyText : ClosedReplyText;
}

bool FtpSession::Command(const QString& command, int expectedCode)
{
    return SendCommand(command) && ReadReply() && d->replyCode == expectedCode;
}

QString FtpSession::GetReplyText() const { return d->replyText; }
void FtpSession::SetReplyText(const QString& text) { d->replyText = text; }
int FtpSession::GetReplyCode() const { return d->replyCode; }
void FtpSession::SetReplyCode(int code) { d->replyCode = code; }

// ---------------------------------------------------------------------------------------------
// One-command operations

bool FtpSession::UserLogin(const QString& user, const QString& password)
{
    if (!SendCommand(QStringLiteral("USER ") + user) || !ReadReply())
        return false;
    if (d->replyCode == 230)
        return true;  // the server asks for no password
    if (d->replyCode != 331)
        return false;
    return Command(QStringLiteral("PASS ") + password, 230);
}

bool FtpSession::DisconnectFromServer()
{
    if (!d->controlSocket)
        return false;
    if (!d->connected)
        return true;
    if (!Command(QStringLiteral("QUIT"), 221))
        return false;
    ReleaseControlSocket();
    return true;
}

QString FtpSession::GetRemoteDir()
{
    if (!Command(QStringLiteral("PWD"), 257))
        return {};
    return ParseQuotedPath(d->replyText);
}

bool FtpSession::ChangeDir(const QString& directory)
{
    return !directory.isEmpty() && Command(QStringLiteral("CWD ") + directory, 250);
}

bool FtpSession::MakeDir(const QString& name)
{
    const QString folder = name.isEmpty() ? QStringLiteral("New Folder") : name;
    GetRemoteDir();
    return Command(QStringLiteral("MKD ") + folder, 257);
}

bool FtpSession::RemoveDir(const QString& name)
{
    return !name.isEmpty() && Command(QStringLiteral("RMD ") + name, 250);
}

bool FtpSession::DeleteRemoteFile(const QString& name)
{
    return !name.isEmpty() && Command(QStringLiteral("DELE ") + name, 250);
}

bool FtpSession::RenameFile(const QString& oldName, const QString& newName)
{
    if (oldName.isEmpty() || newName.isEmpty())
        return false;
    return Command(QStringLiteral("RNFR ") + oldName, 350)
           && Command(QStringLiteral("RNTO ") + newName, 250);
}

bool FtpSession::ChangeFileAttrib(const QString& name, const QString& mode)
{
    if (name.isEmpty() || mode.isEmpty())
        return false;
    // Whatever the answer, the caller shows it; only an unsent command or a lost reply fails.
    return SendCommand(QStringLiteral("SITE CHMOD ") + mode + QLatin1Char(' ') + name) && ReadReply();
}

bool FtpSession::SetTypeAscii()
{
    d->typeCommand = QStringLiteral("TYPE A");
    return true;
}

bool FtpSession::SetTypeBinary()
{
    d->typeCommand = QStringLiteral("TYPE I");
    return true;
}

QString FtpSession::TypeCommand() const { return d->typeCommand; }

// ---------------------------------------------------------------------------------------------
// Data connection

void FtpSession::ParsePassiveReply(const QString& reply, QString& host, int& port)
{
    const qsizetype open = reply.indexOf(QLatin1Char('('));
    const qsizetype close = reply.indexOf(QLatin1Char(')'));
    const qsizetype start = open < 0 ? 0 : open + 1;
    QStringView span;
    if (close >= start)
        span = QStringView(reply).mid(start, close - start);

    QStringView fields[6];
    for (int i = 0; i < 5; ++i) {
        const qsizetype comma = span.indexOf(QLatin1Char(','));
        if (comma < 0)
            continue;  // an empty field; the rest stays as it was
        fields[i] = span.first(comma);
        span = span.mid(comma + 1);
    }
    fields[5] = span;
    for (QStringView& field : fields)
        field = field.trimmed();

    host = QStringLiteral("%1.%2.%3.%4").arg(fields[0], fields[1], fields[2], fields[3]);
    // Each byte is clamped so that a hostile number cannot overflow; a port out of range
    // then simply fails to connect.
    auto byteOf = [](QStringView field) { return qBound(-1, ParseLeadingInt(field), 65536); };
    port = byteOf(fields[4]) * 256 + byteOf(fields[5]);
}

void FtpSession::SendTypeCommand()
{
    // The server's answer does not stop the transfer: a server that refuses the type still
    // moves the data, and the final reply decides.
    if (SendCommand(d->typeCommand))
        ReadReply();
}

bool FtpSession::PrepareActive()
{
    const std::optional<SocketAddress> local = d->controlSocket ? d->controlSocket->LocalAddress()
                                                                : std::nullopt;
    if (!local)
        return false;
    if (!d->listenSocket.Create(*local)) {
        d->replyCode = LocalStatus::SocketCreateFailed;
        return false;
    }
    if (!d->listenSocket.Listen(5)) {
        d->replyCode = LocalStatus::ListenFailed;
        d->listenSocket.Close();
        return false;
    }
    const std::optional<SocketAddress> bound = d->listenSocket.LocalAddress();
    if (!bound) {
        d->replyCode = LocalStatus::ListenPortUnavailable;
        d->listenSocket.Close();
        return false;
    }
    SendTypeCommand();
    const QString host = local->Host();
    const int port = bound->Port();
    QString command;
    if (host.contains(QLatin1Char(':'))) {
        // PORT can carry only IPv4; an IPv6 control connection names its address with EPRT.
        command = QStringLiteral("EPRT |2|%1|%2|").arg(host).arg(port);
    } else {
        command = QStringLiteral("PORT %1,%2,%3")
                      .arg(QString(host).replace(QLatin1Char('.'), QLatin1Char(',')))
                      .arg(port / 256)
                      .arg(port % 256);
    }
    if (!Command(command, 200)) {
        d->replyCode = LocalStatus::DataSetupRefused;
        d->listenSocket.Close();
        return false;
    }
    return true;
}

bool FtpSession::PreparePassive()
{
    SendTypeCommand();
    // PASV can carry only IPv4 (servers answer it over IPv6 with an address that cannot be
    // read); an IPv6 control connection learns the port from EPSV instead.
    const std::optional<SocketAddress> peer = d->controlSocket ? d->controlSocket->PeerAddress()
                                                               : std::nullopt;
    if (peer && peer->Host().contains(QLatin1Char(':'))) {
        if (!Command(QStringLiteral("EPSV"), 229)) {
            d->replyCode = LocalStatus::DataSetupRefused;
            return false;
        }
        d->pasvHost = peer->Host();
        d->pasvPort = ParseExtendedPassivePort(d->replyText);
        return true;
    }
    if (!Command(QStringLiteral("PASV"), 227)) {
        d->replyCode = LocalStatus::DataSetupRefused;
        d->listenSocket.Close();
        return false;
    }
    ParsePassiveReply(d->replyText, d->pasvHost, d->pasvPort);
    return true;
}

bool FtpSession::ConnectPassive(DataSocket& data)
{
    // The data connection always goes to the host of the control connection: a 227 naming
    // another host would let a server aim the client at a third machine. The port is the
    // reply's.
    std::optional<SocketAddress> peer = d->controlSocket->PeerAddress();
    if (!peer || d->pasvPort < 1 || d->pasvPort > 65535) {
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }
    peer->SetPort(quint16(d->pasvPort));
    if (!data.Connect(*peer, d->idleLimit)) {
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }
    return true;
}

FtpSession::Opening FtpSession::OpenTransfer(const QString& command, DataSocket& data)
{
    if (d->passiveMode) {
        if (!PreparePassive())
            return Opening::SetupFailed;
        // Connect first, then ask: a server that refuses the command answers once and for
        // all, so nothing more is awaited after a final reply.
        if (!ConnectPassive(data))
            return Opening::Failed;
        if (!SendCommand(command) || !ReadReply()) {
            data.Close();
            return Opening::Failed;
        }
        if (d->replyCode < 100 || d->replyCode > 199) {
            data.Close();
            return Opening::Refused;
        }
        return Opening::Open;
    }

    if (!PrepareActive())
        return Opening::SetupFailed;
    if (!SendCommand(command) || !ReadReply()) {
        d->listenSocket.Close();
        return Opening::Failed;
    }
    if (d->replyCode != 150 && d->replyCode != 125) {
        d->listenSocket.DropPending();
        d->listenSocket.Close();
        return Opening::Refused;
    }
    const std::optional<SocketAddress> server = d->controlSocket->PeerAddress();
    const bool accepted = server && d->listenSocket.Accept(data, *server, d->idleLimit);
    d->listenSocket.Close();
    if (!accepted) {
        // The command was accepted, so a final reply (425 ...) follows; it is read here, or the
        // next command would take it for its own answer.
        ReadReply();
        d->replyCode = LocalStatus::DataOpenFailed;
        data.Close();
        return Opening::Failed;
    }
    return Opening::Open;
}

bool FtpSession::FinishTransfer(DataSocket& data, bool dataOk)
{
    data.Close();
    d->listenSocket.Close();
    return ReadReply() && d->replyCode == 226 && dataOk;
}

bool FtpSession::GetFileList(const QString& /*path*/, QString& out)
{
    // Long listings of every entry, hidden ones included. Some servers take no options and
    // refuse "-aL" with 5xx; plain LIST then gives the same long format.
    DataSocket data;
    Opening opening = OpenTransfer(QStringLiteral("LIST -aL"), data);
    if (opening == Opening::Refused && d->replyCode >= 500 && d->replyCode <= 599)
        opening = OpenTransfer(QStringLiteral("LIST"), data);
    if (opening == Opening::SetupFailed)
        return false;
    out.clear();
    if (opening != Opening::Open)
        return false;

    // Gathered whole and decoded once: a character split between two reads stays whole.
    QByteArray raw;
    std::vector<char> buffer(DataChunk);
    bool dataOk = true;
    for (;;) {
        const qsizetype n = data.Receive(buffer.data(), qsizetype(buffer.size()), d->idleLimit);
        if (n == 0)
            break;
        if (n < 0 || raw.size() + n > MaxListing) {
            dataOk = false;
            break;
        }
        raw.append(buffer.data(), n);
    }
    if (!dataOk)
        raw.clear();
    out = d->codec.Decode(raw);
    return FinishTransfer(data, dataOk);
}

namespace {

// Moves the data connection's bytes into the file, by splice() through a pipe when the kernel
// allows it. Reports the running count after every chunk.
DataEnd ReceiveBinary(DataSocket& data, int fileFd, std::chrono::milliseconds limit,
                      const std::function<void(qint64)>& progress)
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
        ssize_t n;
        if (useSplice) {
            n = ::splice(data.Fd(), nullptr, pipeFds[1], nullptr, DataChunk,
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
            n = ::recv(data.Fd(), buffer.data(), buffer.size(), 0);
            if (n > 0 && !WriteAll(fileFd, buffer.data(), size_t(n)))
                return DataEnd::LocalFailed;
        }
        if (n > 0) {
            total += n;
            if (progress)
                progress(total);
            continue;
        }
        if (n == 0)
            break;
        if (errno == EINTR)
            continue;
        if ((errno == EAGAIN || errno == EWOULDBLOCK) && data.WaitFor(POLLIN, limit))
            continue;
        closePipe();
        return DataEnd::NetworkFailed;
    }
    closePipe();
    return DataEnd::Clean;
}

DataEnd ReceiveText(DataSocket& data, int fileFd, std::chrono::milliseconds limit,
                    const std::function<void(qint64)>& progress)
{
    qint64 total = 0;
    std::vector<char> buffer(DataChunk);
    CrLfToLf converter;
    QByteArray converted;
    for (;;) {
        const qsizetype n = data.Receive(buffer.data(), qsizetype(buffer.size()), limit);
        if (n < 0)
            return DataEnd::NetworkFailed;
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
        if (progress)
            progress(total);
    }
}

// Sends the file in large pieces, in text mode with every LF as CR LF. (On loopback a plain
// read and send beats sendfile(), whose page-sized pieces cost the receiving server more than
// the copy saves here.)
DataEnd SendFile(DataSocket& data, int fileFd, bool textMode, std::chrono::milliseconds limit,
                 const std::function<void(qint64)>& progress)
{
    qint64 total = 0;
    std::vector<char> buffer(SendChunk);
    QByteArray converted;
    for (;;) {
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
            sent = data.SendAll(converted.constData(), converted.size(), limit);
        } else {
            sent = data.SendAll(buffer.data(), n, limit);
        }
        if (!sent)
            return DataEnd::NetworkFailed;
        total += n;
        if (progress)
            progress(total);
    }
}

}  // namespace

bool FtpSession::RetrieveFile(const QString& remote, const QString& local)
{
    const QByteArray target = QFile::encodeName(local);
    DataSocket data;
    if (OpenTransfer(QStringLiteral("RETR ") + remote, data) != Opening::Open)
        return false;

    // The download goes into a temporary file beside the target, which replaces the target
    // only when the whole file arrived: a failed download leaves the old file as it was.
    const qsizetype slash = target.lastIndexOf('/');
    const QByteArray folder = slash < 0 ? QByteArray(".") : target.left(slash == 0 ? 1 : slash);
    const QByteArray name = target.mid(slash + 1).left(200);
    QByteArray temporary = folder + (folder.endsWith('/') ? "" : "/") + "." + name + ".part-XXXXXX";
    const int fileFd = name.isEmpty() ? -1 : ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fileFd < 0) {
        FinishTransfer(data, false);  // still read the final reply, so the next one stays in step
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }

    const DataEnd end = d->TextMode() ? ReceiveText(data, fileFd, d->idleLimit, d->progress)
                                      : ReceiveBinary(data, fileFd, d->idleLimit, d->progress);
    struct stat old;
    const mode_t mode = ::stat(target.constData(), &old) == 0 && S_ISREG(old.st_mode)
                            ? (old.st_mode & 07777)
                            : (0666 & ~CurrentUmask());
    // The mode is a courtesy: file systems without Unix modes (FAT on a memory stick, many
    // network shares) refuse it, and the data is whole all the same.
    ::fchmod(fileFd, mode);
    bool localOk = end != DataEnd::LocalFailed;
    localOk = (::close(fileFd) == 0) && localOk;

    bool ok = FinishTransfer(data, end == DataEnd::Clean && localOk);
    if (ok && ::rename(temporary.constData(), target.constData()) != 0) {
        localOk = false;
        ok = false;
    }
    if (!ok)
        ::unlink(temporary.constData());
    if (!localOk)
        d->replyCode = LocalStatus::DataOpenFailed;
    return ok;
}

bool FtpSession::StoreFile(const QString& local, const QString& remote)
{
    // The local file is opened before anything is asked of the server, so a file that cannot
    // be read never leaves an empty file on the server.
    const int fileFd = ::open(QFile::encodeName(local).constData(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (fileFd < 0 || ::fstat(fileFd, &info) != 0 || S_ISDIR(info.st_mode)) {
        if (fileFd >= 0)
            ::close(fileFd);
        d->replyCode = LocalStatus::DataOpenFailed;
        return false;
    }

    DataSocket data;
    if (OpenTransfer(QStringLiteral("STOR ") + remote, data) != Opening::Open) {
        ::close(fileFd);
        return false;
    }
    const DataEnd end = SendFile(data, fileFd, d->TextMode(), d->idleLimit, d->progress);
    ::close(fileFd);
    if (end != DataEnd::Clean)
        data.Abort();  // a reset, not an end of file, so the server does not keep half a file
    const bool ok = FinishTransfer(data, end == DataEnd::Clean);
    if (end == DataEnd::LocalFailed)
        d->replyCode = LocalStatus::DataOpenFailed;
    return ok;
}

// ---------------------------------------------------------------------------------------------
// Options

bool FtpSession::IsPassiveMode() const { return d->passiveMode; }
void FtpSession::SetPassiveMode(bool passive) { d->passiveMode = passive; }
qint64 FtpSession::TransferSize() const { return d->transferSize; }
void FtpSession::SetTransferSize(qint64 size) { d->transferSize = size; }
void FtpSession::SetProgressCallback(ProgressCallback callback) { d->progress = std::move(callback); }
std::chrono::milliseconds FtpSession::IdleLimit() const { return d->idleLimit; }
void FtpSession::SetIdleLimit(std::chrono::milliseconds limit) { d->idleLimit = limit; }
QString FtpSession::PasvHost() const { return d->pasvHost; }
int FtpSession::PasvPort() const { return d->pasvPort; }
