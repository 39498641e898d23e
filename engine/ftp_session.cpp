#include "engine/ftp_session.h"

struct FtpSession::Private {
    int replyCode = 0;
    QString replyText;
    QString typeCommand = QStringLiteral("TYPE A");
    bool passive = false;
    qint64 transferSize = 0;
    ProgressCallback progress;
    std::chrono::milliseconds idleLimit{60000};
    QString pasvHost;
    int pasvPort = 0;
};

FtpSession::FtpSession() : d(std::make_unique<Private>()) {}
FtpSession::~FtpSession() = default;
bool FtpSession::ConnectToServer(const QString&, quint16) { return false; }
bool FtpSession::SendCommand(const QString&) { return false; }
QString FtpSession::GetResponce() { return QString(QChar(1)); }
QString FtpSession::GetReplyText() const { return d->replyText; }
void FtpSession::SetReplyText(const QString& text) { d->replyText = text; }
int FtpSession::GetReplyCode() const { return d->replyCode; }
void FtpSession::SetReplyCode(int code) { d->replyCode = code; }
bool FtpSession::CreateControlSocket() { return false; }
void FtpSession::ReleaseControlSocket() {}
bool FtpSession::IsConnected() const { return false; }
bool FtpSession::UserLogin(const QString&, const QString&) { return false; }
bool FtpSession::DisconnectFromServer() { return false; }
QString FtpSession::GetRemoteDir() { return {}; }
bool FtpSession::ChangeDir(const QString&) { return false; }
bool FtpSession::MakeDir(const QString&) { return false; }
bool FtpSession::RemoveDir(const QString&) { return false; }
bool FtpSession::DeleteRemoteFile(const QString&) { return false; }
bool FtpSession::RenameFile(const QString&, const QString&) { return false; }
bool FtpSession::ChangeFileAttrib(const QString&, const QString&) { return false; }
bool FtpSession::SetTypeAscii() { d->typeCommand = QStringLiteral("TYPE A"); return true; }
bool FtpSession::SetTypeBinary() { d->typeCommand = QStringLiteral("TYPE I"); return true; }
QString FtpSession::TypeCommand() const { return d->typeCommand; }
bool FtpSession::GetFileList(const QString&, QString&) { return false; }
bool FtpSession::RetrieveFile(const QString&, const QString&) { return false; }
bool FtpSession::StoreFile(const QString&, const QString&) { return false; }
bool FtpSession::IsPassiveMode() const { return d->passive; }
void FtpSession::SetPassiveMode(bool passive) { d->passive = passive; }
qint64 FtpSession::TransferSize() const { return d->transferSize; }
void FtpSession::SetTransferSize(qint64 size) { d->transferSize = size; }
void FtpSession::SetProgressCallback(ProgressCallback callback) { d->progress = std::move(callback); }
std::chrono::milliseconds FtpSession::IdleLimit() const { return d->idleLimit; }
void FtpSession::SetIdleLimit(std::chrono::milliseconds limit) { d->idleLimit = limit; }
QString FtpSession::PasvHost() const { return d->pasvHost; }
int FtpSession::PasvPort() const { return d->pasvPort; }
void FtpSession::ParsePassiveReply(const QString&, QString& host, int& port) { host.clear(); port = 0; }
