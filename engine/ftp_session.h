#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>

class ControlSocket;
class DataSocket;
class ListenSocket;

// Local status codes that stand in place of a server's reply code.
namespace LocalStatus {
inline constexpr int ListenPortUnavailable = 5000;  // the ListenSocket's port cannot be read
inline constexpr int SocketCreateFailed = 5001;     // a ControlSocket or ListenSocket cannot be made
inline constexpr int ListenFailed = 5002;           // listen() failed
inline constexpr int DataSetupRefused = 5003;       // PORT not answered 200, PASV not answered 227
inline constexpr int DataOpenFailed = 5004;         // accept failed, or the local file cannot be opened
}  // namespace LocalStatus

// One FTP client session: the control connection, its replies, and the data connections of
// listings and transfers. Every operation is synchronous and runs to its end on the calling
// thread; the latest reply code and text stay in the session for the caller to read and show.
// No wait lasts forever: a wait that sees no progress for IdleLimit() ends like a broken
// connection.
class FtpSession {
public:
    using ProgressCallback = std::function<void(qint64 bytesSoFar)>;

    FtpSession();
    virtual ~FtpSession();
    FtpSession(const FtpSession&) = delete;
    FtpSession& operator=(const FtpSession&) = delete;

    // Control connection.
    virtual bool ConnectToServer(const QString& host, quint16 port);
    bool SendCommand(const QString& command);
    QString GetResponce();
    QString GetReplyText() const;
    void SetReplyText(const QString& text);
    int GetReplyCode() const;
    void SetReplyCode(int code);
    bool CreateControlSocket();
    void ReleaseControlSocket();
    bool IsConnected() const;

    // One-command operations.
    bool UserLogin(const QString& user, const QString& password);
    bool DisconnectFromServer();
    QString GetRemoteDir();
    bool ChangeDir(const QString& directory);
    bool MakeDir(const QString& name);
    bool RemoveDir(const QString& name);
    bool DeleteRemoteFile(const QString& name);
    bool RenameFile(const QString& oldName, const QString& newName);
    bool ChangeFileAttrib(const QString& name, const QString& mode);
    bool SetTypeAscii();
    bool SetTypeBinary();
    QString TypeCommand() const;

    // Data connection operations.
    bool GetFileList(const QString& path, QString& out);
    virtual bool RetrieveFile(const QString& remote, const QString& local);
    virtual bool StoreFile(const QString& local, const QString& remote);

    // Options of the session.
    bool IsPassiveMode() const;
    void SetPassiveMode(bool passive);
    qint64 TransferSize() const;
    void SetTransferSize(qint64 size);
    // Called after every chunk of a transfer with the bytes moved so far.
    void SetProgressCallback(ProgressCallback callback);
    std::chrono::milliseconds IdleLimit() const;
    void SetIdleLimit(std::chrono::milliseconds limit);

    // The host and port of the latest 227 reply (over IPv6: the peer and the port of the 229).
    QString PasvHost() const;
    int PasvPort() const;

    static void ParsePassiveReply(const QString& reply, QString& host, int& port);

private:
    // Reads one reply into ReplyCode and the reply text; false when none could be read.
    bool ReadReply();
    // Sends the command and reads its reply: true when it was answered with the code.
    bool Command(const QString& command, int expectedCode);
    void SendTypeCommand();
    bool PrepareActive();
    bool PreparePassive();
    bool ConnectPassive(DataSocket& data);
    // What became of the start of a data transfer.
    enum class Opening {
        Open,         // data connection up, the command accepted with a preliminary reply
        SetupFailed,  // PORT/PASV set-up failed; nothing about the command was said
        Refused,      // the command was answered with a final reply (its code is in ReplyCode)
        Failed,       // the data connection could not be made
    };
    Opening OpenTransfer(const QString& command, DataSocket& data);
    bool FinishTransfer(DataSocket& data, bool dataOk);

    struct Private;
    std::unique_ptr<Private> d;
};
