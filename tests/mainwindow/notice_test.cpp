// The desktop notice against a notification service on a session bus of the test's own
// (dbus-run-session runs this program): what the desktop's service would receive.
#include "mainwindow/notifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDeadlineTimer>
#include <QStringList>
#include <QVariantMap>

#include <gtest/gtest.h>

namespace {

// Stands in for the desktop's notification daemon, which a test machine does not have.
class FakeNotificationService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    QStringList received;

public slots:
    uint Notify(const QString& appName, uint replacesId, const QString& icon, const QString& summary,
                const QString& body, const QStringList& actions, const QVariantMap& hints, int timeout)
    {
        Q_UNUSED(replacesId);
        Q_UNUSED(icon);
        Q_UNUSED(actions);
        Q_UNUSED(hints);
        received << QStringList{appName, summary, body, QString::number(timeout)}.join(u'|');
        return 1;
    }
};

TEST(DesktopNoticeTest, TheSessionBusNotificationServiceReceivesTheNotice)
{
    if (!QDBusConnection::sessionBus().isConnected())
        GTEST_SKIP() << "no session bus";
    QDBusConnection service = QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("service"));
    FakeNotificationService fake;
    ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/Notifications"), &fake,
                                       QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.Notifications")));

    SendDesktopNotice(QStringLiteral("転送が終わりました"), QStringLiteral("a.bin"));
    // The call is delivered through the event loop; the bound only stops a broken run.
    const QDeadlineTimer bound(30'000);
    while (fake.received.isEmpty() && !bound.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    EXPECT_EQ(fake.received, QStringList{QStringLiteral("Tallowin|転送が終わりました|a.bin|-1")});

    service.unregisterService(QStringLiteral("org.freedesktop.Notifications"));
    QDBusConnection::disconnectFromBus(QStringLiteral("service"));
    // No one owns the name now: the notice goes nowhere, and nothing waits for an answer.
    SendDesktopNotice(QStringLiteral("x"), QStringLiteral("y"));
}

}  // namespace

#include "notice_test.moc"
