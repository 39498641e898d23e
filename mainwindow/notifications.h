#pragma once

#include <QString>
#include <QtGlobal>

// The desktop notice at the end of a long transfer: a person who went to another window while a
// big transfer ran learns that it ended without looking back.

// A transfer that ran longer than this is worth a notice.
inline constexpr qint64 NoticeAfterMs = 10'000;

// Whether a transfer that ran this long and ended while the window was (not) active gets a
// notice: only a long one, and only when the person is elsewhere.
bool ShouldNotifyTransferEnd(qint64 durationMs, bool windowActive);

// Asks the desktop's notification service (org.freedesktop.Notifications on the session bus)
// to show the notice, without waiting for its answer: no bus, no service or an error leave
// nothing behind.
void SendDesktopNotice(const QString& summary, const QString& body);
