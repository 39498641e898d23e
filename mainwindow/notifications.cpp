#include "mainwindow/notifications.h"

#include "mainwindow/strings.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

namespace {
const QString NoticeService = QStringLiteral("org.freedesktop.Notifications");
const QString NoticePath = QStringLiteral("/org/freedesktop/Notifications");
// The icon's name as the desktop entry installs it.
const QString NoticeIcon = QStringLiteral("tallowin");
constexpr int ServerDefaultTimeout = -1;
}  // namespace

bool ShouldNotifyTransferEnd(qint64 durationMs, bool windowActive)
{
    return durationMs > NoticeAfterMs && !windowActive;
}

void SendDesktopNotice(const QString& summary, const QString& body)
{
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    QDBusMessage call = QDBusMessage::createMethodCall(NoticeService, NoticePath, NoticeService,
                                                       QStringLiteral("Notify"));
    call << ChromeText::AppName << uint(0) << NoticeIcon << summary << body << QStringList() << QVariantMap()
         << ServerDefaultTimeout;
    // No reply is awaited: a missing service must not hold the window, and the notice's id is
    // of no use here.
    call.setAutoStartService(true);
    bus.send(call);
}
