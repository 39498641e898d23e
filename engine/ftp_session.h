#pragma once

#include "engine/tls_channel.h"

#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QtGlobal>

#include <chrono>
#include <functional>
#include <memory>

class DataStream;
class DownloadSink;
class PlainDataStream;

// Local status codes that stand in place of a server's reply code.
namespace LocalStatus {
inline constexpr int ListenPortUnavailable = 5000;  // the ListenSocket's port cannot be read
inline constexpr int SocketCreateFailed = 5001;     // a ControlSocket or ListenSocket cannot be made
inline constexpr int ListenFailed = 5002;           // listen() failed
inline constexpr int DataSetupRefused = 5003;       // PORT not answered 200, PASV not answered 227
inline constexpr int DataOpenFailed = 5004;         // accept failed, or the local file cannot be opened
inline constexpr int Cancelled = 5005;              // FtpSession::Cancel() ended the operation
inline constexpr int TlsRefused = 5006;             // TLS required, and the server refused AUTH TLS
inline constexpr int TlsFailed = 5007;              // the TLS handshake or PBSZ/PROT failed
inline constexpr int CertificateRejected = 5008;    // the certificate check said no
inline constexpr int DownloadDiffers = 5010;        // the server's digest is not the downloaded bytes'
inline constexpr int UploadDiffers = 5011;          // the server's digest is not the uploaded file's
inline constexpr int SizeMismatch = 5009;           // a transfer did not end at the file's size
inline constexpr int DataCutShort = 5020;           // a TLS data connection ended without close_notify
inline constexpr int TargetNotReplaced = 5021;      // a whole download could not take the target's place
// The reply text that goes with Cancelled.
inline const QString CancelledText = QStringLiteral("5005 Cancelled\r\n");
}  // namespace LocalStatus

// One FTP client session: the control connection, its replies, and the data connections of
// listings and transfers, one method per command. The control channel (engine/control_channel.h)
// sends lines, reads replies and settles cancels; the data connector (engine/data_connector.h)
// opens data connections. Every operation is synchronous and runs to its end on the calling
// thread; the latest reply code and text stay in the session for the caller to read and show.
// No wait lasts forever: a wait that sees no progress for IdleLimit() ends like a broken
// connection.
//
// Cancel() may be called from any thread while an operation runs on the session's own thread:
// every wait of that operation ends at once and it returns false with ReplyCode
// LocalStatus::Cancelled and LocalStatus::CancelledText. The request stays in force until
// ResetCancel() (called on the session's thread before the next piece of work): every
// operation started meanwhile ends the same way before it sends anything, so a batch in
// progress stops before its next file. A cancelled operation returns without waiting for the
// server: what the control connection still owes is settled by SettleCancelled(), which the
// caller may run at once or later (the window runs it on its worker after the cancelled work
// has returned), and which the next command runs first in any case. Settled, the connection is
// either in step (the next command reads its own reply) or closed (IsConnected() false, the
// caller connects again); it never stays a reply behind:
//   - a transfer or listing closes its data connection at once; the settling sends ABOR and
//     reads what follows for at most AbortBound; when the replies did not add up, a NOOP and its
//     200 bring the connection back in step;
//   - a command whose reply was awaited: the settling reads that reply within AbortBound;
//   - connect and login end and leave the session disconnected.
// The session moves bytes between its connections and descriptors: local files are named,
// opened, kept and put in place by transfer/local_files.h. An upload that is cancelled leaves
// whatever part reached the server (the caller knows whether the file existed before and may
// delete it).
//
// A control connection that breaks (end of file, an error, the idle limit, or a 421 reply)
// leaves the session disconnected; a 421's text stays in the reply text.
//
// Encryption (explicit FTPS, RFC 4217): unless it is None, ConnectToServer sends AUTH TLS right
// after the greeting. A refusal (4xx/5xx) goes on in clear under IfAvailable and ends the
// connection under Required, before anything else is sent. A handshake that fails after the
// server accepted always ends the connection: never a fall-back to clear text. Before going on in
// clear after a refusal, the clear-text check is asked (no check: it goes on); a no ends the
// connection with nothing more sent. A certificate
// the system's trust store and the host name do not vouch for goes to the certificate check
// (no check: refused) before USER can be sent. Then PBSZ 0 and PROT P, and every data
// connection is TLS too, resuming the newest session the server handed out.
class FtpSession {
public:
    using ProgressCallback = std::function<void(qint64 bytesSoFar)>;

    enum class Encryption {
        None = 0,         // plain FTP
        IfAvailable = 1,  // TLS when the server takes AUTH TLS, clear text when it refuses
        Required = 2,     // TLS or no connection
    };
    // What became of TLS at the latest connect.
    enum class TlsState {
        Off,                  // not asked for (Encryption::None), or no connect yet
        Refused,              // the server refused AUTH TLS
        Protected,            // control connection under TLS (data too, unless PROT P failed)
        Failed,               // the handshake (or PBSZ/PROT under Required) failed
        CertificateRejected,  // the certificate check said no
    };
    // Asked once per connect about a certificate that was not vouched for; true to go on.
    using CertificateCheck =
        std::function<bool(const CertificateInfo& certificate, const QString& host, quint16 port)>;

    // Asked under IfAvailable when the server refused AUTH TLS, before anything else is sent;
    // true to go on in clear text.
    using ClearTextCheck = std::function<bool(const QString& host, quint16 port)>;

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

    // Cancelling; see the class comment.
    void Cancel();
    bool IsCancelled() const;
    void ResetCancel();
    static constexpr std::chrono::milliseconds AbortBound{2000};
    // Whether a cancelled exchange left the connection owing replies (see the class comment).
    bool SettlePending() const;
    // Reads what a cancelled exchange left owing, bounded; closes the connection when it cannot
    // be brought back in step. Waits through a cancel. Keeps the latest reply code and text.
    void SettleCancelled();
    // The folder to go back to once settled (a walk cancelled in a subfolder): its CWD follows
    // the settling, its reply read within AbortBound. Nothing owed: CWD at once. Call with the
    // cancel reset.
    void ChangeDirAfterSettling(const QString& folder);
    // The same for a remote file to delete once settled (what a cancelled upload made); false
    // when nothing was owed and DELE was answered with another code than 250 or 550.
    bool DeleteFileAfterSettling(const QString& name);

    // One-command operations.
    bool UserLogin(const QString& user, const QString& password);
    bool DisconnectFromServer();
    QString GetRemoteDir();
    bool ChangeDir(const QString& directory);
    // PWD, then MKD of name ("New Folder" when empty): the folder button's exchange.
    bool MakeDir(const QString& name);
    // MKD alone, for the folders of a tree that is uploaded; false for an empty path.
    bool CreateFolder(const QString& path);
    bool RemoveDir(const QString& name);
    bool DeleteRemoteFile(const QString& name);
    bool RenameFile(const QString& oldName, const QString& newName);
    bool ChangeFileAttrib(const QString& name, const QString& mode);
    bool SetTypeAscii();
    bool SetTypeBinary();
    QString TypeCommand() const;

    // What the server offers (RFC 2389), asked once after login and kept until the next connect.
    // FEAT decides what follows: MLSD when MLST is listed (with OPTS MLST asking for the facts the
    // listing uses when the server does not send them by itself), MDTM and MFMT only when listed.
    bool QueryFeatures();
    // Whether FEAT listed the feature (its first word, any letter case).
    bool HasFeature(const QString& name) const;
    QStringList Features() const;

    // The modification time of a remote file by MDTM, as UTC; invalid when FEAT did not list MDTM
    // or the server gave none.
    QDateTime RemoteModificationTime(const QString& name);
    // Sets a remote file's modification time by MFMT; false when FEAT did not list MFMT or the
    // server refused.
    bool SetRemoteModificationTime(const QString& name, const QDateTime& time);

    // Data connection operations. The listing is a machine listing (MLSD) when the server offers
    // one, a long listing (LIST) otherwise; LastListingIsMachine() tells which the latest was.
    // Over TLS a listing whose data ends without close_notify fails (LocalStatus::DataCutShort
    // when the server said it was complete): nothing else can tell that it is whole.
    // A listing longer than the listing limit is cut at the last line end within it, the rest
    // refused with ABOR, and what came is kept: LastListingCut() says so. The limit is
    // DefaultListingLimit bytes unless set.
    bool GetFileList(const QString& path, QString& out);
    bool LastListingIsMachine() const;
    bool LastListingCut() const;
    static constexpr qsizetype DefaultListingLimit = 128 * 1024 * 1024;
    void SetListingLimit(qsizetype bytes);
    // Downloads remote into the sink (see DownloadSink): with resumeFrom (the size of what an
    // earlier download kept), from that offset by REST when CanResume(), else from the start;
    // the sink learns which. A binary download that ends at another size than TransferSize()
    // (when not 0) fails with LocalStatus::SizeMismatch, unless the server's SIZE, asked then,
    // is the size that came. Over TLS, data that ends without close_notify fails with
    // LocalStatus::DataCutShort unless it is TransferSize() long. Files of their own are
    // downloaded by DownloadToFile (transfer/local_files.h).
    virtual bool RetrieveInto(const QString& remote, DownloadSink& sink, qint64 resumeFrom = 0);
    // Uploads from fileFd (open for reading, at its start; -1 fails with
    // LocalStatus::DataOpenFailed before the server is asked anything) to remote. size is the
    // file's. With resumeAt (the size of the server's shorter copy), the file goes from that
    // offset with REST and STOR, or APPE when REST is refused, when CanResume(); afterwards the
    // server's size (SIZE, when offered) must be size, else LocalStatus::SizeMismatch. The caller
    // keeps the descriptor. Files are uploaded by UploadFromFile (transfer/local_files.h).
    virtual bool StoreFrom(int fileFd, qint64 size, const QString& remote, qint64 resumeAt = 0);
    // Whether a transfer can go on from an offset: binary type, and FEAT listed "REST STREAM".
    bool CanResume() const;
    // Binary transfers are checked byte for byte where FEAT offers a way (HASH, else XSHA256,
    // XSHA1, XMD5 or XCRC; see engine/transfer_digest.h): the bytes are hashed as they stream
    // (a resumed file's earlier part read once at the start) and compared with the server's
    // digest after the final reply. A download that differs fails with
    // LocalStatus::DownloadDiffers; an upload with LocalStatus::UploadDiffers. A server that offers no way is asked nothing. On by default.
    void SetVerifyTransfers(bool verify);
    // The algorithm ("SHA-256") by which the latest transfer was found equal; empty when it was
    // not checked.
    QString LastVerification() const;
    // The size of the latest download as the server sent it (before line ends were converted),
    // counted from the start of the file.
    qint64 LastReceivedSize() const;
    // Whether the latest transfer command was answered with a preliminary (1xx) reply, i.e. the
    // server took it.
    bool LastTransferAnswered() const;
    // The size of a remote file by SIZE; -1 when FEAT did not list SIZE or the server gave none.
    qint64 RemoteFileSize(const QString& name);
    // Whether a name is taken on the server (before an upload replaces it): MLST answers for any
    // name in any type; else SIZE, whose 550 says "free" only in binary mode (some servers refuse
    // SIZE in text mode with the same 550). Unknown where neither is offered or the name cannot
    // be sent.
    struct RemoteName {
        enum State { Exists, Absent, Unknown } state = Unknown;
        qint64 size = -1;  // -1: not known
    };
    RemoteName AskRemoteName(const QString& path);

    // Options of the session.
    bool IsPassiveMode() const;
    void SetPassiveMode(bool passive);
    // The size of the file of the next transfer as the server gave it (0: none given): the
    // progress total, and what a binary download must come to; see RetrieveInto.
    qint64 TransferSize() const;
    void SetTransferSize(qint64 size);
    // Called after every chunk of a transfer with the bytes moved so far (a resumed transfer
    // counts from the start of its file).
    void SetProgressCallback(ProgressCallback callback);
    // While a transfer runs: where in its file it started, the offset a resumed one went on
    // from, else 0.
    qint64 TransferOffset() const;
    std::chrono::milliseconds IdleLimit() const;
    void SetIdleLimit(std::chrono::milliseconds limit);

    // The wire's character set, an iconv name, set before ConnectToServer. Empty (the default)
    // chooses by itself: UTF-8 when FEAT lists UTF8 (QueryFeatures then sends OPTS UTF8 ON, also
    // for a chosen UTF-8), else the locale's. The greeting and the login's replies are read in
    // the locale's character set under an automatic choice.
    void SetCharset(const QByteArray& charset);
    // The character set the session speaks now.
    QByteArray WireCharset() const;

    // Encryption; see the class comment. Set before ConnectToServer.
    void SetEncryption(Encryption encryption);
    Encryption GetEncryption() const;
    void SetCertificateCheck(CertificateCheck check);
    void SetClearTextCheck(ClearTextCheck check);
    TlsState GetTlsState() const;
    // "TLS 1.3" while the control connection is protected, else empty.
    QString TlsProtocol() const;
    bool DataProtected() const;
    // The SHA-256 fingerprint ("AB:CD:...") of the certificate the control connection is protected
    // with, whether the system vouched for it or the certificate check accepted it; empty unless
    // Protected. More connections to the same server take this one certificate and no other.
    QString CertificateFingerprint() const;
    // Whether the latest protected data connection resumed a session.
    bool LastDataSessionReused() const;

    // The host and port of the latest 227 reply (over IPv6, or where PASV was refused: the peer
    // and the port of the 229).
    QString PasvHost() const;
    int PasvPort() const;

private:
    // After the greeting: AUTH TLS, the handshake, the certificate check, PBSZ and PROT. False
    // when the connection must end (it is closed then).
    bool StartTls(const QString& host, quint16 port);
    // Before a binary transfer opens: a digest for its bytes, when the option is on and the server
    // offers a way to compare it. It lives as long as the returned scope.
    struct DigestScope {
        FtpSession& session;
        ~DigestScope();
    };
    [[nodiscard]] DigestScope StartDigest();
    // After the final reply of a transfer that succeeded: true only when the server's digest of
    // remote is not the one of the bytes that streamed. The transfer's own reply stays the one
    // to show.
    bool DigestDiffers(const QString& remote);
    // Whether the server's SIZE of remote, asked now, is size (false without SIZE). The
    // transfer's own reply stays the one to show.
    bool ServerSizeIs(const QString& remote, qint64 size);
    // Sends a command of the digest exchange and reads its reply.
    std::function<bool(const QString& command, int& code, QString& text)> DigestAsker();
    // Ends a listing that passed the listing limit, keeping its whole lines in out.
    bool KeepCutListing(DataStream& data, QByteArray& raw, QString& out);
    // The result of a public operation: a failure while a cancel is raised reads as Cancelled.
    bool Outcome(bool ok);

    struct Private;
    std::unique_ptr<Private> d;
};
