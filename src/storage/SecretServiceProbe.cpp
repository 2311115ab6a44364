#include "storage/SecretServiceProbe.h"

#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

SecretServiceAvailability availabilityForError(const QDBusError &error)
{
    switch (error.type()) {
    case QDBusError::ServiceUnknown: return SecretServiceAvailability::noProvider;
    case QDBusError::NoReply:
    case QDBusError::Timeout:
    case QDBusError::TimedOut: return SecretServiceAvailability::providerNotResponding;
    default: break;
    }
    // The bus could not start the activatable provider.
    if (error.name().startsWith("org.freedesktop.DBus.Error.Spawn."_L1))
        return SecretServiceAvailability::noProvider;
    return SecretServiceAvailability::providerError;
}

} // namespace

SecretServiceProbe::SecretServiceProbe(QDBusConnection bus, std::chrono::milliseconds timeout, QObject *parent)
    : QObject(parent)
    , m_bus(std::move(bus))
    , m_timeout(timeout)
{ }

void SecretServiceProbe::start()
{
    if (!m_bus.isConnected()) {
        QTimer::singleShot(0, this, [this] { Q_EMIT finished(SecretServiceAvailability::noSessionBus); });
        return;
    }
    QDBusMessage readAlias = QDBusMessage::createMethodCall(u"org.freedesktop.secrets"_s, u"/org/freedesktop/secrets"_s,
                                                            u"org.freedesktop.Secret.Service"_s, u"ReadAlias"_s);
    readAlias << u"default"_s;
    auto *watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(readAlias, int(m_timeout.count())), this);
    connect(watcher, &QDBusPendingCallWatcher::finished, this, &SecretServiceProbe::handleReply);
}

void SecretServiceProbe::handleReply(QDBusPendingCallWatcher *watcher)
{
    watcher->deleteLater();
    const QDBusPendingReply<QDBusObjectPath> reply = *watcher;
    if (reply.isError()) {
        Q_EMIT finished(availabilityForError(reply.error()));
        return;
    }
    if (!reply.isValid()) {
        Q_EMIT finished(SecretServiceAvailability::providerError);
        return;
    }
    // "/" is the Secret Service's way of saying no collection has that alias.
    const bool hasDefault = reply.value().path() != u"/"_s;
    Q_EMIT finished(hasDefault ? SecretServiceAvailability::available : SecretServiceAvailability::noDefaultCollection);
}

} // namespace tessel
