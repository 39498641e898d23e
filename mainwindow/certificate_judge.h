#pragma once

#include "engine/tls_channel.h"

#include <QString>
#include <QtGlobal>

// Decides about a server certificate the system did not vouch for, before USER is sent: one
// the person trusted always for this host and port passes silently; any other is put to the
// person through the prompter (the louder warning when the remembered one differs). "Always"
// remembers the fingerprint in the settings store.
bool JudgeCertificate(const CertificateInfo& certificate, const QString& host, quint16 port);

// The question's text: the reason in plain words, subject, issuer, validity and fingerprint.
QString CertificateQuestionText(const CertificateInfo& certificate, const QString& host, quint16 port,
                                const QString& rememberedFingerprint);
