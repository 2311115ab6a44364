#pragma once

#include <QDBusConnection>
#include <QObject>

#include <chrono>

class QDBusPendingCallWatcher;

namespace tessel {

enum class SecretServiceAvailability {
    available,
    noSessionBus,
    noProvider, // org.freedesktop.secrets neither registered nor activatable
    providerNotResponding, // registered or activatable, but no answer in time
    noDefaultCollection,
    providerError, // answered with an error or a malformed reply
};

// Decides, without blocking, whether a Secret Service answers on the bus: one asynchronous
// ReadAlias("default") call bounded by `timeout`. A provider that is activatable but never
// starts would otherwise stall every libsecret call for the bus's 25 s default.
class SecretServiceProbe : public QObject
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultTimeout{1500};

    explicit SecretServiceProbe(QDBusConnection bus = QDBusConnection::sessionBus(),
                                std::chrono::milliseconds timeout = defaultTimeout, QObject *parent = nullptr);

    // Emits `finished` exactly once, always from the event loop (never inside this call).
    // Call once per probe.
    void start();

Q_SIGNALS:
    void finished(tessel::SecretServiceAvailability availability);

private:
    void handleReply(QDBusPendingCallWatcher *watcher);

    QDBusConnection m_bus;
    std::chrono::milliseconds m_timeout;
};

} // namespace tessel
