#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QStringList>
#include <QVariantMap>

namespace tessel::test {

// A freedesktop notification service that records what it is sent and clicks on request.
class FakeNotificationServer : public QObject
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Notifications")

public:
    struct Notification
    {
        uint id = 0;
        QString applicationName;
        QString summary;
        QString body;
        QStringList actions;
        QVariantMap hints;
    };

    QStringList capabilities{QStringLiteral("body"), QStringLiteral("body-markup"), QStringLiteral("actions")};
    QList<Notification> received;

    // Exports this object and takes the service's name on `bus`.
    bool registerOn(QDBusConnection bus)
    {
        return bus.isConnected() &&
            bus.registerObject(QStringLiteral("/org/freedesktop/Notifications"), this,
                               QDBusConnection::ExportAllSlots | QDBusConnection::ExportScriptableSignals) &&
            bus.registerService(QStringLiteral("org.freedesktop.Notifications"));
    }
    // What the desktop does when the person clicks notification `id`: a focus token, the
    // click, and the notification goes.
    void click(uint id)
    {
        Q_EMIT ActivationToken(id, QStringLiteral("token-%1").arg(id));
        Q_EMIT ActionInvoked(id, QStringLiteral("default"));
        Q_EMIT NotificationClosed(id, 2);
    }

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &applicationName, uint, const QString &, const QString &summary, const QString &body,
                const QStringList &actions, const QVariantMap &hints, int)
    {
        received.append({uint(received.size()) + 1, applicationName, summary, body, actions, hints});
        return uint(received.size());
    }

Q_SIGNALS:
    Q_SCRIPTABLE void ActivationToken(uint id, const QString &token);
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString &actionKey);
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
};

} // namespace tessel::test
