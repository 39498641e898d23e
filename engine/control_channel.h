#pragma once

#include "engine/cancel_signal.h"
#include "engine/ftp_reply.h"
#include "engine/sockets.h"
#include "engine/tls_channel.h"
#include "engine/wire_codec.h"

#include <QString>
#include <QStringList>

#include <chrono>
#include <memory>
#include <optional>

// The control connection of a session: sends a line, reads a reply, ends waits at a cancel, and
// settles what a cancelled exchange left owing (the rules are in FtpSession's class comment). The
// latest reply's code and text stay here. Only engine/'s own sources use it.
class ControlChannel {
public:
    enum class ReadEnd {
        Reply,      // a reply was read (a silent server: the lines that arrived complete)
        Broken,     // the control connection is closed now
        Silent,     // nothing complete within the limit; the connection stays open
        Cancelled,  // the wait was cancelled; the connection stays open
    };

    ControlChannel() = default;
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // A new socket in place of any earlier one; nothing owed.
    void Create();
    void Release();
    // Closes the connection (the socket stays, closed); nothing owed any more.
    void Drop();
    bool Connect(const QString& host, quint16 port);
    void SetConnected(bool on) { connected = on; }
    bool Connected() const { return connected; }
    bool HasSocket() const { return socket != nullptr; }
    bool Established() const { return socket && connected; }
    bool IsConnected() const { return Established() && socket->IsOpen(); }
    std::optional<SocketAddress> LocalAddress() const;
    std::optional<SocketAddress> PeerAddress() const;

    // TLS over the connection (explicit FTPS); false when the handshake failed.
    bool StartTls(TlsContext& context, const QString& host);
    const TlsChannel* Tls() const { return tls.get(); }
    // Bytes read past the latest reply (after AUTH TLS's 234 they would be forged).
    bool HasUnreadBytes() const { return !reader.IsEmpty(); }

    WireCodec& Codec() { return *codec; }
    const WireCodec& Codec() const { return *codec; }
    void SetCodec(std::unique_ptr<WireCodec> next) { codec = std::move(next); }

    std::chrono::milliseconds IdleLimit() const { return idleLimit; }
    void SetIdleLimit(std::chrono::milliseconds limit) { idleLimit = limit; }

    // Cancelling.
    CancelSignal& Cancel() { return cancel; }
    const CancelSignal& Cancel() const { return cancel; }
    // A cancel is raised, and the channel is not settling.
    bool CancelPending() const { return cancel.IsRaised() && !ignoringCancel; }
    // The reply becomes the cancel's.
    void EndCancelled();
    // While the returned scope lives, waits no longer end at a cancel: ABOR and the replies after
    // it must get through.
    struct CancelIgnored {
        ControlChannel& owner;
        bool before;
        ~CancelIgnored() { owner.SetIgnoringCancel(before); }
    };
    [[nodiscard]] CancelIgnored IgnoreCancel();

    // One line as it is (no cancel check, nothing settled first); false when it could not go out.
    bool SendLine(const QString& command);
    // A command: nothing while a cancel is pending, what is owed settled first.
    bool Send(const QString& command);
    // Reads one reply within the limit. A silent server closes the connection unless
    // keepOnSilence.
    ReadEnd ReadOne(std::chrono::milliseconds limit, bool keepOnSilence);
    // Reads one reply within the idle limit; false when none could be read. A cancelled read
    // leaves the reply owing.
    bool ReadReply();
    // After a transfer command, in clear text: waits, within the idle limit, until the reply
    // starts to come or bytes arrive on the data socket. Data when the data came first; Silence
    // when nothing came within the limit; Other for anything else (the reply, an end, a cancel),
    // which ReadOne then finds. Over TLS it is Other at once: the TLS layer holds bytes that no
    // wait sees.
    enum class First { Data, Other, Silence };
    First DataBeforeReply(const StreamSocket& data);
    // Sends the command and reads its reply: true when it was answered with the code.
    bool Command(const QString& command, int expectedCode);

    int ReplyCode() const { return replyCode; }
    void SetReplyCode(int code) { replyCode = code; }
    const QString& ReplyText() const { return replyText; }
    void SetReplyText(const QString& text) { replyText = text; }

    // Settling: a cancelled transfer leaves ABOR and its replies owing.
    void OweAbort() { owed = Owed::Abort; }
    bool Owes() const { return owed != Owed::Nothing; }
    bool SettlePending() const { return Owes() && IsConnected(); }
    void Settle();
    // The command goes out after the settling, its reply read within the abort bound whatever
    // its code; false when nothing is owed (the caller sends it at once).
    bool QueueAfterSettling(const QString& command);
    // Sends NOOP and discards replies until its 200, bounded; closes the connection failing that.
    void Resynchronize();

private:
    void SetIgnoringCancel(bool on);
    bool Send(const char* data, qsizetype size);
    qsizetype Receive(char* buffer, qsizetype size, std::chrono::milliseconds limit);
    void ReadAbortReplies();
    void ClearOwed();

    std::unique_ptr<ControlSocket> socket;
    std::unique_ptr<TlsChannel> tls;  // while the connection is protected
    bool connected = false;
    ReplyReader reader;
    std::unique_ptr<WireCodec> codec = std::make_unique<WireCodec>();
    std::chrono::milliseconds idleLimit{60000};
    int replyCode = 0;
    QString replyText;

    CancelSignal cancel;
    bool ignoringCancel = false;  // while the channel settles a cancelled exchange
    // What a cancelled exchange left the connection owing; Settle reads it.
    enum class Owed {
        Nothing,
        Reply,  // the reply of a command whose wait was cancelled
        Abort,  // ABOR, and the replies of the transfer and of ABOR
    };
    Owed owed = Owed::Nothing;
    // Commands that wait for the settling, in order (DELE of a cancelled upload's file, CWD
    // back to a walk's folder).
    QStringList afterSettling;
};
