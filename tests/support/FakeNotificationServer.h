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
    bool registerOn(QDBusConnection bus);
    // What the desktop does when the person clicks notification `id`: a focus token, the
    // click, and the notification goes.
    void click(uint id);

public Q_SLOTS:
    QStringList GetCapabilities() { return capabilities; }
    uint Notify(const QString &applicationName, uint replacesId, const QString &icon, const QString &summary,
                const QString &body, const QStringList &actions, const QVariantMap &hints, int timeout);

Q_SIGNALS:
    Q_SCRIPTABLE void ActivationToken(uint id, const QString &token);
    Q_SCRIPTABLE void ActionInvoked(uint id, const QString &actionKey);
    Q_SCRIPTABLE void NotificationClosed(uint id, uint reason);
};

} // namespace tessel::test
