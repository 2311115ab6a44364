#pragma once

#include "sync/ReplicatedKeyValueStore.h"
#include "sync/SyncedSettingsState.h"

#include <QObject>

namespace tessel {

// Moves the synced settings document in and out of the replicated store: publishes the
// local document, reads the stored one, and announces each new document that arrives from
// elsewhere exactly once (repeats and this service's own publishes are filtered out).
// Inert until start(). Signals are emitted on the thread the service lives on (the main one).
class TesselSettingsSyncService : public QObject
{
    Q_OBJECT

public:
    // The one key the document is stored under; other installations rely on it.
    static QString storeKey();

    struct ExternalChangeEvent
    {
        enum class Reason { serverChange, initialSync, quotaViolation, accountChange, unknown };

        Reason reason = Reason::unknown;
        QStringList changedKeys;
        ReferenceDate observedAt;

        // Reason numbers 0...3 as the store defines them; any other number is unknown.
        static ExternalChangeEvent fromNotification(int reason, const QStringList &changedKeys);
        friend bool operator==(const ExternalChangeEvent &, const ExternalChangeEvent &) = default;
    };

    // `store` is not owned and must outlive the service.
    explicit TesselSettingsSyncService(ReplicatedKeyValueStore &store, QObject *parent = nullptr);

    // Begins observing the store (a second call does nothing), asks it to synchronise, and
    // delivers a document already stored through `remoteStateChanged`, once.
    void start();
    // The stored document, or nothing when absent or unreadable. Reads only.
    std::optional<SyncedSettingsState> currentState() const;
    // Publishes a document; unchanged bytes are not written again.
    void push(const SyncedSettingsState &state);
    // Asks the store to synchronise and records the answer in lastSynchronizeSucceeded().
    bool synchronizeStore();

    bool lastSynchronizeSucceeded() const { return m_lastSynchronizeSucceeded; }
    bool hasStoreIdentity() const { return m_store.hasIdentity(); }

Q_SIGNALS:
    // A document from elsewhere, or one already stored when start() ran.
    void remoteStateChanged(const tessel::SyncedSettingsState &state);
    void externalChangeObserved(const tessel::TesselSettingsSyncService::ExternalChangeEvent &event);

private:
    void handleExternalChange(int reason, const QStringList &changedKeys);
    void emitCurrentStateIfNeeded();

    ReplicatedKeyValueStore &m_store;
    bool m_started = false;
    // Bytes of the last document published or delivered; never cleared.
    std::optional<QByteArray> m_lastObservedData;
    bool m_lastSynchronizeSucceeded = false;
};

} // namespace tessel
