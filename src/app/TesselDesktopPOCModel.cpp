#include "app/TesselDesktopPOCModel.h"

#include "app/ModelText.h"
#include "connection/GatewayURL.h"
#include "connection/GatewayWebSocketClient.h"
#include "files/ProjectFileService.h"
#include "protocol/UuidText.h"
#include "storage/GatewaySecretStore.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "sync/TesselSettingsSyncService.h"

#include <QSettings>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

const QString selectedMachineKey = u"TesselDesktopPOC.selectedMachineID"_s;
const QString selectedProjectKey = u"TesselDesktopPOC.selectedProjectID"_s;
const QString backendKey = u"TesselDesktopPOC.backend"_s;
const QString workspaceTabKey = u"TesselDesktopPOC.workspaceTab"_s;
const QString includeHiddenFilesKey = u"TesselDesktopPOC.includeHiddenFiles"_s;

} // namespace

TesselDesktopPOCModel::TesselDesktopPOCModel(const ProcessInfo &processInfo, QSettings &defaults,
                                             UserDefaultsTesselSettingsLocalStore &settingsStore,
                                             GatewaySecretStore &secretStore, TesselSettingsSyncService &syncService,
                                             QObject *parent)
    : QObject(parent)
    , m_defaults(defaults)
    , m_processInfo(processInfo)
    , m_settingsStore(settingsStore)
    , m_secretStore(secretStore)
    , m_syncService(syncService)
    , m_syncEnabled(!isScreenshotExportRequested(processInfo))
    , m_connectionSummary(u"Set up a machine and project, then connect."_s)
    , m_transcript(new TranscriptListModel(this))
{
    if (ProjectFileService::isUITestMockFilesEnabled(processInfo.arguments))
        m_mockFilesStore = std::make_unique<UITestProjectFilesStore>(processInfo.arguments);
    loadRegistryAndSelection();
    restorePreferences();
    m_syncedChatHandoff.reset();
    m_hasFinishedInitialization = true;
    m_writeDelay.setSingleShot(true);
    QObject::connect(&m_writeDelay, &QTimer::timeout, this, &TesselDesktopPOCModel::flushPendingWrites);
    normalizeSelection();
    syncConnectionFieldsFromSelection();
    persistLocalSettingsSnapshot();
    persistGatewayTokens();
    m_pendingWrites.registry = false;
    if (m_syncEnabled)
        configureSyncObservation();
    refreshSyncDiagnostics(std::nullopt, false);
}

TesselDesktopPOCModel::~TesselDesktopPOCModel()
{
    flushPendingWrites();
    if (m_client)
        m_client->disconnect();
}

void TesselDesktopPOCModel::loadRegistryAndSelection()
{
    const LocalSettingsLoadResult loaded = m_settingsStore.load();
    for (auto token = loaded.migratedGatewayTokensByMachineID.cbegin();
         token != loaded.migratedGatewayTokensByMachineID.cend(); ++token)
        m_secretStore.setToken(token.value(), token.key());
    synchronizeLocalGatewayTokens(loaded.snapshot.machines);

    // Direct field writes: the registry observers start working once start-up is done.
    for (const StoredMachineProfile &stored : loaded.snapshot.machines) {
        const QString token = m_secretStore.token(stored.id);
        m_lastStoredTokens.insert(stored.id, token);
        m_machines.append(stored.toMachineProfile(token));
    }

    m_selectedMachineID = parseUuidText(m_defaults.value(selectedMachineKey).toString());
    if (!m_selectedMachineID && !m_machines.isEmpty())
        m_selectedMachineID = m_machines.first().id;
    const auto machine = std::find_if(m_machines.cbegin(), m_machines.cend(),
                                      [this](const MachineProfile &item) { return item.id == m_selectedMachineID; });
    const MachineProfile *selected =
        machine != m_machines.cend() ? &*machine : (m_machines.isEmpty() ? nullptr : &m_machines.first());

    m_selectedProjectID = parseUuidText(m_defaults.value(selectedProjectKey).toString());
    if (!m_selectedProjectID && selected && !selected->projects.isEmpty())
        m_selectedProjectID = selected->projects.first().id;

    if (selected) {
        m_gatewayURL = selected->gatewayURL;
        m_gatewayToken = selected->gatewayToken;
    }
    m_projectDirectory =
        selected && !selected->projects.isEmpty() ? selected->projects.first().directory : m_processInfo.homeDirectory;
}

void TesselDesktopPOCModel::restorePreferences()
{
    m_backend = m_defaults.value(backendKey).toString() == "pi"_L1 ? BackendKind::pi : BackendKind::codex;
    m_workspaceTab = m_defaults.value(workspaceTabKey).toString() == "files"_L1 ? ProjectWorkspaceTab::files
                                                                                : ProjectWorkspaceTab::chat;
    m_includeHiddenFiles = m_defaults.value(includeHiddenFilesKey, false).toBool();
}

bool TesselDesktopPOCModel::isScreenshotExportRequested(const ProcessInfo &processInfo)
{
    return processInfo.nonEmptyVariable(u"TESSEL_DESKTOP_POC_EXPORT_SCREENSHOTS_DIR"_s).has_value() ||
        processInfo.optionValue(u"--export-screenshots-dir"_s).has_value();
}

void TesselDesktopPOCModel::handleScenePhaseChange(ScenePhase phase)
{
    if (phase != ScenePhase::active)
        return;
    rediscoverLocalGatewayTokens();
    if (m_syncEnabled) {
        m_syncService.synchronizeStore();
        if (const auto state = m_syncService.currentState()) {
            applyRemoteSyncState(*state);
            return;
        }
    }
    refreshSyncDiagnostics(std::nullopt, false);
}

void TesselDesktopPOCModel::rediscoverLocalGatewayTokens()
{
    QList<StoredMachineProfile> stored;
    for (const MachineProfile &machine : std::as_const(m_machines))
        stored.append(StoredMachineProfile::from(machine));
    synchronizeLocalGatewayTokens(stored);
    refreshMachineTokensFromSecrets();
}

void TesselDesktopPOCModel::runLater(std::function<void()> task)
{
    QTimer::singleShot(0, this, std::move(task));
}

void TesselDesktopPOCModel::setBackend(BackendKind backend)
{
    assign(m_backend, backend, &TesselDesktopPOCModel::backendChanged);
    m_defaults.setValue(backendKey, QString(enumToWire(backend)));
    setSelectedSessionID(std::nullopt);
    if (m_connectionState.is(ConnectionState::Kind::connected))
        runLater([this] { refreshSessions(); });
}

void TesselDesktopPOCModel::setWorkspaceTab(ProjectWorkspaceTab tab)
{
    assign(m_workspaceTab, tab, &TesselDesktopPOCModel::workspaceTabChanged);
    m_defaults.setValue(workspaceTabKey, QString(enumToWire(tab)));
    if (m_hasFinishedInitialization && tab == ProjectWorkspaceTab::files) {
        runLater([this] {
            if (!m_currentDirectory)
                loadCurrentDirectory(true);
        });
    }
}

void TesselDesktopPOCModel::setIncludeHiddenFiles(bool include)
{
    assign(m_includeHiddenFiles, include, &TesselDesktopPOCModel::includeHiddenFilesChanged);
    m_defaults.setValue(includeHiddenFilesKey, include);
    if (m_hasFinishedInitialization && m_workspaceTab == ProjectWorkspaceTab::files)
        runLater([this] { loadCurrentDirectory(false); });
}

void TesselDesktopPOCModel::setSelectedSessionID(const std::optional<QString> &id)
{
    assign(m_selectedSessionID, id, &TesselDesktopPOCModel::selectedSessionIDChanged);
}

void TesselDesktopPOCModel::setComposerText(const QString &text)
{
    if (text == composerText())
        return;
    m_composerIsBlank = text.trimmed().isEmpty();
    m_composer.set(text);
    Q_EMIT composerTextChanged();
}

void TesselDesktopPOCModel::composerEdited(DocumentDraftEditor *editor, bool isBlank)
{
    if (!m_composer.edited(editor))
        return;
    m_composerIsBlank = isBlank;
    Q_EMIT composerTextChanged();
}

bool TesselDesktopPOCModel::canConnect() const
{
    return parseGatewayURL(m_gatewayURL).has_value() && !m_projectDirectory.trimmed().isEmpty();
}

bool TesselDesktopPOCModel::canSendMessage() const
{
    return m_connectionState.is(ConnectionState::Kind::connected) && m_currentSessionID && !m_composerIsBlank;
}

bool TesselDesktopPOCModel::canAbort() const
{
    return m_connectionState.is(ConnectionState::Kind::connected) && m_currentSessionID &&
        m_currentSessionState == SessionLifecycleState::running;
}

bool TesselDesktopPOCModel::canOpenSelectedSession() const
{
    return m_selectedSessionID && m_connectionState.is(ConnectionState::Kind::connected) &&
        std::any_of(m_sessions.cbegin(), m_sessions.cend(),
                    [this](const GatewaySessionSummary &session) { return session.id == *m_selectedSessionID; });
}

std::optional<QString> TesselDesktopPOCModel::selectedBackendAvailabilityText() const
{
    return backendAvailabilityText(m_availableBackends, m_backend);
}

std::optional<QString> TesselDesktopPOCModel::contextUsageText() const
{
    return tessel::contextUsageText(m_contextUsage);
}

SelectedConnectionSnapshot TesselDesktopPOCModel::selectedConnectionSnapshot() const
{
    const auto machine = selectedMachine();
    const auto project = selectedProject();
    return {m_selectedMachineID, machine ? machine->gatewayURL : QString(), machine ? machine->gatewayToken : QString(),
            m_selectedProjectID, project ? project->directory : QString()};
}

} // namespace tessel
