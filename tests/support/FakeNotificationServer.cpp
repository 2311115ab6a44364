#include "support/FakeNotificationServer.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

bool FakeNotificationServer::registerOn(QDBusConnection bus)
{
    return bus.isConnected() &&
        bus.registerObject(u"/org/freedesktop/Notifications"_s, this,
                           QDBusConnection::ExportAllSlots | QDBusConnection::ExportScriptableSignals) &&
        bus.registerService(u"org.freedesktop.Notifications"_s);
}

void FakeNotificationServer::click(uint id)
{
    Q_EMIT ActivationToken(id, u"token-%1"_s.arg(id));
    Q_EMIT ActionInvoked(id, u"default"_s);
    Q_EMIT NotificationClosed(id, 2);
}

uint FakeNotificationServer::Notify(const QString &applicationName, uint, const QString &, const QString &summary,
                                    const QString &body, const QStringList &actions, const QVariantMap &hints, int)
{
    const uint id = uint(received.size()) + 1;
    received.append({id, applicationName, summary, body, actions, hints});
    return id;
}

} // namespace tessel::test
