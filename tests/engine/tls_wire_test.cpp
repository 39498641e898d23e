// The wire of the encryption choices against the scripted peer: what goes out in clear before
// TLS is up, and what is left after a refusal or a failed handshake.
#include "engine/ftp_session.h"
#include "tests/support/scripted_ftp_peer.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;

namespace {

using Encryption = FtpSession::Encryption;
using TlsState = FtpSession::TlsState;

bool Connect(FtpSession& session, const ScriptedFtpPeer& peer)
{
    return session.ConnectToServer(QStringLiteral("127.0.0.1"), peer.Port());
}

TEST(TlsWire, RequiredNeverSendsTheLoginToAServerThatRefusesTls)
{
    // Before AUTH TLS, TLS-only servers answer with 530 or a multi-line 421; a plain one with
    // 500 or 502. Whatever it is, USER and PASS never go out.
    for (const QByteArray& refusal : {QByteArray("500 AUTH not understood"), QByteArray("502 Command not implemented"),
                                     QByteArray("421-Service not available\r\n421 closing")}) {
        ScriptedFtpPeer peer;
        peer.Greet().Answer(refusal).WaitForClose();
        FtpSession session;
        session.SetEncryption(Encryption::Required);
        EXPECT_FALSE(Connect(session, peer)) << refusal.constData();
        EXPECT_EQ(session.GetTlsState(), TlsState::Refused);
        EXPECT_FALSE(session.IsConnected());
        EXPECT_FALSE(session.UserLogin(QStringLiteral("user"), QStringLiteral("secret")));
        ASSERT_TRUE(peer.WaitFinished());
        EXPECT_EQ(peer.Commands(), QList<QByteArray>{"AUTH TLS"}) << refusal.constData();
        EXPECT_FALSE(peer.Received().contains("PASS"));
    }
}

// After a refusal under IfAvailable the clear-text check decides, before USER: a yes goes on in
// clear, a no ends the connection with nothing sent after AUTH TLS.
TEST(TlsWire, IfAvailableAsksBeforeGoingOnInClear)
{
    for (bool goOn : {true, false}) {
        ScriptedFtpPeer peer;
        peer.Greet().Answer("530 Please login with USER and PASS").Answer("331 Password please").Answer("230 in");
        FtpSession session;
        session.SetEncryption(Encryption::IfAvailable);
        QStringList asked;
        session.SetClearTextCheck([&](const QString& host, quint16 port) {
            asked << QStringLiteral("%1:%2").arg(host).arg(port);
            return goOn;
        });
        EXPECT_EQ(Connect(session, peer), goOn);
        EXPECT_EQ(asked, QStringList{QStringLiteral("127.0.0.1:%1").arg(peer.Port())});
        EXPECT_EQ(session.GetTlsState(), TlsState::Refused);
        EXPECT_FALSE(session.DataProtected());
        EXPECT_EQ(session.IsConnected(), goOn);
        EXPECT_EQ(session.UserLogin(QStringLiteral("user"), QStringLiteral("secret")), goOn);
        if (goOn) {
            EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"AUTH TLS", "USER user", "PASS secret"}));
            continue;
        }
        EXPECT_EQ(session.GetReplyCode(), LocalStatus::TlsRefused);
        ASSERT_TRUE(peer.WaitFinished());
        EXPECT_EQ(peer.Received(), QByteArray("AUTH TLS\r\n"));
    }
}

// The check belongs to IfAvailable alone: Required ends without asking, None never sends AUTH.
TEST(TlsWire, ClearTextCheckIsNotAskedUnderOtherChoices)
{
    int asked = 0;
    ScriptedFtpPeer refusing;
    refusing.Greet().Answer("500 AUTH not understood").WaitForClose();
    FtpSession required;
    required.SetEncryption(Encryption::Required);
    required.SetClearTextCheck([&](const QString&, quint16) { return ++asked, true; });
    EXPECT_FALSE(Connect(required, refusing));

    ScriptedFtpPeer plain;
    plain.Greet().Answer("331 Password please").Answer("230 in");
    FtpSession none;
    none.SetClearTextCheck([&](const QString&, quint16) { return ++asked, false; });
    ASSERT_TRUE(Connect(none, plain));
    EXPECT_TRUE(none.UserLogin(QStringLiteral("user"), QStringLiteral("secret")));
    EXPECT_EQ(asked, 0);
}

TEST(TlsWire, NoneSendsNoAuth)
{
    ScriptedFtpPeer peer;
    peer.Greet().Answer("331 Password please").Answer("230 in");
    FtpSession session;
    ASSERT_TRUE(Connect(session, peer));
    EXPECT_EQ(session.GetTlsState(), TlsState::Off);
    EXPECT_TRUE(session.UserLogin(QStringLiteral("user"), QStringLiteral("secret")));
    EXPECT_EQ(peer.Commands(), (QList<QByteArray>{"USER user", "PASS secret"}));
}

// A handshake that fails after the 234 ends the connection under both choices: nothing goes on
// in clear, and nothing is left half-connected.
TEST(TlsWire, FailedHandshakeLeavesNothingConnected)
{
    for (Encryption encryption : {Encryption::IfAvailable, Encryption::Required}) {
        ScriptedFtpPeer peer;
        peer.Greet().Answer("234 Proceed").Pause().Send("this is no TLS record at all\r\n").WaitForClose();
        FtpSession session;
        session.SetEncryption(encryption);
        EXPECT_FALSE(Connect(session, peer));
        EXPECT_EQ(session.GetTlsState(), TlsState::Failed);
        EXPECT_EQ(session.GetReplyCode(), LocalStatus::TlsFailed);
        EXPECT_FALSE(session.IsConnected());
        EXPECT_FALSE(session.UserLogin(QStringLiteral("user"), QStringLiteral("secret")));
        ASSERT_TRUE(peer.WaitFinished());
        EXPECT_EQ(peer.Commands(), QList<QByteArray>{"AUTH TLS"});
        // The client's hello is all that followed the command.
        EXPECT_FALSE(peer.Received().contains("USER"));
    }
}

TEST(TlsWire, ClearTextAfterTheAcceptanceIsRefused)
{
    // A reply slipped in after the 234 would later pass for a protected one.
    ScriptedFtpPeer peer;
    peer.Greet().Read().Send("234 Proceed\r\n230 injected\r\n").WaitForClose();
    FtpSession session;
    session.SetEncryption(Encryption::IfAvailable);
    EXPECT_FALSE(Connect(session, peer));
    EXPECT_EQ(session.GetTlsState(), TlsState::Failed);
    EXPECT_FALSE(session.IsConnected());
    ASSERT_TRUE(peer.WaitFinished());
    EXPECT_EQ(peer.Received(), QByteArray("AUTH TLS\r\n"));
}

TEST(TlsWire, CancelDuringTheHandshakeLeavesNothingConnected)
{
    // The peer accepts and then says nothing: the handshake waits until the cancel.
    ScriptedFtpPeer peer;
    FtpSession session;
    peer.Greet().Answer("234 Proceed").Do([&] { session.Cancel(); }).WaitForClose();
    session.SetEncryption(Encryption::Required);
    EXPECT_FALSE(Connect(session, peer));
    EXPECT_EQ(session.GetReplyCode(), LocalStatus::Cancelled);
    EXPECT_FALSE(session.IsConnected());
    ASSERT_TRUE(peer.WaitFinished());
}

}  // namespace
