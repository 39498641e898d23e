#pragma once

#include "engine/ftp_session.h"
#include "engine/tls_channel.h"
#include "platform/prompter.h"

#include <QString>
#include <QtGlobal>

// Decides about a server certificate the system did not vouch for, before USER is sent: one
// the person trusted always for this host and port passes silently; any other is put to the
// person through the prompter (the louder warning when the remembered one differs). "Always"
// remembers the fingerprint in the settings store.
bool JudgeCertificate(const CertificateInfo& certificate, const QString& host, quint16 port);

// Decides, before USER is sent, whether a connect goes on in clear text after the server refused
// AUTH TLS: the person is asked (いいえ the default). A server the person said not to be asked
// about again passes silently, unless TLS worked there before: then the refusal may be someone
// on the path, and the question says so first and offers no way to stop asking.
bool JudgeClearText(const QString& host, quint16 port);
// That question: louder, and without the check box, where TLS worked before.
CheckedQuestion ClearTextQuestion(bool tlsWorkedBefore);

// The question's text: the reason in plain words, subject, issuer, validity and fingerprint.
QString CertificateQuestionText(const CertificateInfo& certificate, const QString& host, quint16 port,
                                const QString& rememberedFingerprint);

// What the log says about encryption once connected; nothing when none was asked for. Data
// connections in clear under a protected control connection (PROT P refused) are said too.
QString EncryptionLine(FtpSession::TlsState state, const QString& protocol, bool dataProtected);
