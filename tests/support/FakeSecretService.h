#pragma once

#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusObjectPath>
#include <QObject>

namespace tessel::test {

// A stand-in for a Secret Service provider that only answers ReadAlias, as told.
class FakeSecretService : public QObject, protected QDBusContext
{
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.Secret.Service")

public:
    enum class Behaviour { answerCollection, answerNoCollection, neverAnswer };
    Behaviour behaviour = Behaviour::answerCollection;

    // Exports this object and takes the Secret Service name on `bus`.
    bool registerOn(QDBusConnection bus)
    {
        return bus.isConnected() &&
            bus.registerObject(QStringLiteral("/org/freedesktop/secrets"), this, QDBusConnection::ExportAllSlots) &&
            bus.registerService(QStringLiteral("org.freedesktop.secrets"));
    }

public Q_SLOTS:
    QDBusObjectPath ReadAlias(const QString &name)
    {
        if (behaviour == Behaviour::neverAnswer)
            setDelayedReply(true); // and never send it
        const bool found = behaviour == Behaviour::answerCollection && name == QLatin1String("default");
        return QDBusObjectPath(found ? QStringLiteral("/org/freedesktop/secrets/collection/login") : QStringLiteral("/"));
    }
};

} // namespace tessel::test
