#include "app/TesselDesktopPOCModel.h"

#include "connection/GatewayWebSocketClient.h"
#include "storage/GatewaySecretStore.h"
#include "sync/SyncBootstrapRules.h"
#include "sync/TesselSettingsSyncService.h"

#include <QLocale>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

qint64 projectCount(const QList<SyncedMachineProfile> &machines)
{
    qint64 count = 0;
    for (const SyncedMachineProfile &machine : machines)
        count += machine.projects.size();
    return count;
}

} // namespace

bool TesselDesktopPOCModel::isUntouchedDefaultRegistry() const
{
    if (m_machines.isEmpty())
        return true;
    if (m_machines.size() >= 2)
        return false;
    const MachineProfile &machine = m_machines.first();
    const bool untouchedProjects = machine.projects.isEmpty() ||
        (machine.projects.size() == 1 && machine.projects.first().name.isEmpty() &&
         machine.projects.first().directory == m_processInfo.homeDirectory);
    // The token is left out: tokens never travel in the synced document, so publishing a default
    // registry that holds one would still wipe the other installations; and the local gateway's
    // discovery stores one for a first start that the launch options point at it.
    return untouchedProjects && machine.gatewayURL.isEmpty() && machine.name == "Local Machine"_L1;
}

bool TesselDesktopPOCModel::hasMeaningfulSyncState() const
{
    // The blank project the start-up repair adds is not an edit: counting it would make every
    // fresh installation publish its empty registry over everybody else's.
    return m_syncedChatHandoff || !isUntouchedDefaultRegistry();
}

std::optional<SyncedSettingsState> TesselDesktopPOCModel::storedSyncState() const
{
    std::optional<SyncedSettingsState> state = m_syncService.currentState();
    if (state && state->machines.isEmpty())
        return std::nullopt;
    return state;
}

void TesselDesktopPOCModel::configureSyncObservation()
{
    QObject::connect(&m_syncService, &TesselSettingsSyncService::remoteStateChanged, this,
                     [this](const SyncedSettingsState &state) { applyRemoteSyncState(state); });
    if (shouldBootstrapLocalSettingsIntoSync(storedSyncState(), hasMeaningfulSyncState()))
        persistCurrentSyncState();
    m_isSyncObservationConfigured = true;
    m_syncService.start();
}

void TesselDesktopPOCModel::persistCurrentSyncState()
{
    // An untouched registry (never a machine-less one) would replace every other
    // installation's machines and delete their tokens.
    if (!m_syncEnabled || isUntouchedDefaultRegistry())
        return refreshSyncDiagnostics(std::nullopt, false);
    const ReferenceDate now = ReferenceDate::now();
    SyncedSettingsState state;
    state.updatedAt = now;
    state.writer = SyncedWriterInfo::current();
    for (const MachineProfile &machine : std::as_const(m_machines))
        state.machines.append(StoredMachineProfile::from(machine));
    state.handoff = m_syncedChatHandoff;
    m_syncService.push(state);
    m_lastSyncedSettingsUpdateAt = now;
    DesktopSyncDiagnostics diagnostics = m_syncDiagnostics;
    diagnostics.lastLocalPublishAt = now;
    assign(m_syncDiagnostics, diagnostics, &TesselDesktopPOCModel::syncDiagnosticsChanged);
    refreshSyncDiagnostics(state, false);
}

void TesselDesktopPOCModel::applyRemoteSyncState(const SyncedSettingsState &state)
{
    if (!m_syncEnabled)
        return;
    // Local edits still waiting to be written are newer than anything published before them.
    flushPendingWrites();
    if (shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(state, hasMeaningfulSyncState(),
                                                                        m_syncDiagnostics.lastLocalPublishAt)) {
        persistCurrentSyncState();
        return refreshSyncDiagnostics(std::nullopt, false);
    }
    // Applying a document without machines would replace the registry with a blank machine and
    // delete every token: it is ignored like an absent one, whatever its date.
    if (state.machines.isEmpty())
        return refreshSyncDiagnostics(std::nullopt, false);
    if (m_lastSyncedSettingsUpdateAt && state.updatedAt <= *m_lastSyncedSettingsUpdateAt) {
        m_syncedChatHandoff = state.handoff;
        return refreshSyncDiagnostics(state, false);
    }

    m_lastSyncedSettingsUpdateAt = state.updatedAt;
    m_syncedChatHandoff = state.handoff;
    synchronizeLocalGatewayTokens(state.machines);
    QList<MachineProfile> machines;
    for (const SyncedMachineProfile &machine : state.machines) {
        const QString token = m_secretStore.token(machine.id);
        m_lastStoredTokens.insert(machine.id, token);
        machines.append(machine.toMachineProfile(token));
    }
    const SelectedConnectionSnapshot before = selectedConnectionSnapshot();
    // Repairing the selection may already close the connection, with the selection's own
    // summary; the sync summary still has to tell the user why.
    const bool hadClient = m_client != nullptr;
    if (machines != m_machines) {
        m_isApplyingRemoteSyncState = true;
        setMachines(machines);
        normalizeSelection();
        m_isApplyingRemoteSyncState = false;
    }
    syncConnectionFieldsFromSelection();
    persistSelection();
    if (selectedConnectionSnapshot() != before) {
        resetFilesState();
        if (hadClient)
            resetLiveSessionState(true, u"Machine or project settings changed in sync. Reconnect to open its chat."_s,
                                  false, std::nullopt);
    }
    DesktopSyncDiagnostics diagnostics = m_syncDiagnostics;
    diagnostics.lastRemoteApplyAt = ReferenceDate::now();
    assign(m_syncDiagnostics, diagnostics, &TesselDesktopPOCModel::syncDiagnosticsChanged);
    refreshSyncDiagnostics(state, false);
}

void TesselDesktopPOCModel::refreshSyncDiagnostics(const std::optional<SyncedSettingsState> &currentState,
                                                   bool forceStoreSync)
{
    std::optional<SyncedSettingsState> shown = currentState;
    if (!shown && m_syncEnabled) {
        if (forceStoreSync)
            m_syncService.synchronizeStore();
        shown = storedSyncState();
    }
    DesktopSyncDiagnostics diagnostics;
    diagnostics.syncEnabled = m_syncEnabled;
    diagnostics.hasICloudAccount = m_syncService.hasStoreIdentity();
    diagnostics.canSynchronizeStore = m_syncEnabled && m_syncService.lastSynchronizeSucceeded();
    diagnostics.isUsingSharedKeychain = m_secretStore.isUsingSharedAccessGroup();
    if (shown) {
        diagnostics.cloudMachineCount = shown->machines.size();
        diagnostics.cloudProjectCount = projectCount(shown->machines);
        diagnostics.cloudStateUpdatedAt = shown->updatedAt;
        diagnostics.cloudWriter = shown->writer;
    }
    diagnostics.lastRemoteApplyAt = m_syncDiagnostics.lastRemoteApplyAt;
    diagnostics.lastLocalPublishAt = m_syncDiagnostics.lastLocalPublishAt;
    assign(m_syncDiagnostics, diagnostics, &TesselDesktopPOCModel::syncDiagnosticsChanged);
}

QString TesselDesktopPOCModel::syncStatusTitle() const
{
    const DesktopSyncDiagnostics &diagnostics = m_syncDiagnostics;
    if (!diagnostics.syncEnabled)
        return u"Disabled for screenshot export"_s;
    if (!diagnostics.hasICloudAccount)
        return u"Waiting for iCloud account"_s;
    if (!diagnostics.canSynchronizeStore)
        return u"Waiting for iCloud store"_s;
    if (!diagnostics.cloudMachineCount)
        return u"Ready to sync"_s;
    return u"Sync active"_s;
}

QString TesselDesktopPOCModel::syncStatusDetail() const
{
    const DesktopSyncDiagnostics &diagnostics = m_syncDiagnostics;
    QStringList sentences;
    if (diagnostics.cloudMachineCount && diagnostics.cloudProjectCount)
        sentences << u"Cloud registry: "_s + QString::number(*diagnostics.cloudMachineCount) + u" machine(s), "_s +
                QString::number(*diagnostics.cloudProjectCount) + u" project(s)."_s;
    else
        sentences << u"No cloud snapshot has been observed yet."_s;
    if (diagnostics.cloudWriter)
        sentences << u"Latest writer: "_s + diagnostics.cloudWriter->deviceName + u" ("_s +
                diagnostics.cloudWriter->platform + u")."_s;
    if (diagnostics.cloudStateUpdatedAt) {
        const QLocale locale;
        const QDateTime updated = diagnostics.cloudStateUpdatedAt->toDateTime().toLocalTime();
        // A short date and a time with seconds, in the user's locale.
        QString timeFormat = locale.timeFormat(QLocale::ShortFormat);
        if (!timeFormat.contains(u"ss"_s))
            timeFormat.replace(u"mm"_s, u"mm:ss"_s);
        sentences << u"Cloud updated "_s + locale.toString(updated.date(), QLocale::ShortFormat) + u' ' +
                locale.toString(updated.time(), timeFormat) + u"."_s;
    }
    sentences
        << (diagnostics.isUsingSharedKeychain
                ? u"Gateway tokens can sync through the shared keychain."_s
                : u"Gateway tokens stay local until this build is signed with the shared keychain entitlement."_s);
    return sentences.join(u' ');
}

} // namespace tessel
