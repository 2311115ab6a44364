#include "sync/TesselSettingsSyncService.h"

#include "protocol/JsonCodec.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

QString TesselSettingsSyncService::storeKey()
{
    return u"TesselShell.syncedState"_s;
}

TesselSettingsSyncService::ExternalChangeEvent
TesselSettingsSyncService::ExternalChangeEvent::fromNotification(int reason, const QStringList &changedKeys)
{
    Reason mapped = Reason::unknown;
    switch (reason) {
    case ReplicatedKeyValueStore::serverChange: mapped = Reason::serverChange; break;
    case ReplicatedKeyValueStore::initialSync: mapped = Reason::initialSync; break;
    case ReplicatedKeyValueStore::quotaViolation: mapped = Reason::quotaViolation; break;
    case ReplicatedKeyValueStore::accountChange: mapped = Reason::accountChange; break;
    default: break;
    }
    return {mapped, changedKeys, ReferenceDate::now()};
}

TesselSettingsSyncService::TesselSettingsSyncService(ReplicatedKeyValueStore &store, QObject *parent)
    : QObject(parent)
    , m_store(store)
{ }

void TesselSettingsSyncService::start()
{
    if (m_started)
        return;
    m_started = true;
    connect(&m_store, &ReplicatedKeyValueStore::changedExternally, this,
            &TesselSettingsSyncService::handleExternalChange);
    synchronizeStore();
    emitCurrentStateIfNeeded();
}

std::optional<SyncedSettingsState> TesselSettingsSyncService::currentState() const
{
    const std::optional<QByteArray> bytes = m_store.data(storeKey());
    if (!bytes)
        return std::nullopt;
    return decodeJson<SyncedSettingsState>(*bytes);
}

void TesselSettingsSyncService::push(const SyncedSettingsState &state)
{
    const QByteArray bytes = encodeJson(state);
    if (m_store.data(storeKey()) != bytes) {
        m_store.setData(storeKey(), bytes);
        synchronizeStore();
    }
    // So that the store reporting this very document later does not deliver it back.
    m_lastObservedData = bytes;
}

bool TesselSettingsSyncService::synchronizeStore()
{
    m_lastSynchronizeSucceeded = m_store.synchronize();
    return m_lastSynchronizeSucceeded;
}

void TesselSettingsSyncService::handleExternalChange(int reason, const QStringList &changedKeys)
{
    Q_EMIT externalChangeObserved(ExternalChangeEvent::fromNotification(reason, changedKeys));
    emitCurrentStateIfNeeded();
}

void TesselSettingsSyncService::emitCurrentStateIfNeeded()
{
    const std::optional<QByteArray> bytes = m_store.data(storeKey());
    if (!bytes)
        return;
    // Unreadable bytes are never delivered and stay until a later push replaces them.
    const std::optional<SyncedSettingsState> state = decodeJson<SyncedSettingsState>(*bytes);
    if (!state || m_lastObservedData == bytes)
        return;
    m_lastObservedData = *bytes;
    Q_EMIT remoteStateChanged(*state);
}

} // namespace tessel
