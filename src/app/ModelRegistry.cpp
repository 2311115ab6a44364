#include "app/TesselDesktopPOCModel.h"

#include "protocol/UuidText.h"
#include "storage/GatewaySecretStore.h"
#include "storage/LocalGatewaySecretSync.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"

#include <QSet>
#include <QSettings>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

const QString selectedMachineKey = u"TesselDesktopPOC.selectedMachineID"_s;
const QString selectedProjectKey = u"TesselDesktopPOC.selectedProjectID"_s;

} // namespace

void TesselDesktopPOCModel::setMachines(const QList<MachineProfile> &machines)
{
    assign(m_machines, machines, &TesselDesktopPOCModel::machinesChanged);
    // The writes behind an edit (settings file, credential store, synced document) each
    // cost an fsync or a D-Bus round trip; done per keystroke they make typing lag. They are
    // collected and written together once the edits pause, and before anything reads them.
    m_pendingWrites.registry = true;
    if (!m_isApplyingRemoteSyncState && m_isSyncObservationConfigured)
        m_pendingWrites.publish = true;
    if (!m_writeDelay.isActive())
        m_writeDelayDeadline.setRemainingTime(maxWriteDelayMs);
    m_writeDelay.start(int(std::min<qint64>(writeDebounceMs, m_writeDelayDeadline.remainingTime())));
}

void TesselDesktopPOCModel::flushPendingWrites()
{
    m_writeDelay.stop();
    const PendingWrites pending = std::exchange(m_pendingWrites, {});
    if (pending.registry) {
        persistLocalSettingsSnapshot();
        persistGatewayTokens();
    }
    if (pending.publish)
        persistCurrentSyncState();
}

void TesselDesktopPOCModel::setSelectedMachineID(const std::optional<QUuid> &id)
{
    const auto previous = m_selectedMachineID;
    assign(m_selectedMachineID, id, &TesselDesktopPOCModel::selectedMachineIDChanged);
    handleMachineSelectionChange(previous);
}

void TesselDesktopPOCModel::setSelectedProjectID(const std::optional<QUuid> &id)
{
    const auto previous = m_selectedProjectID;
    assign(m_selectedProjectID, id, &TesselDesktopPOCModel::selectedProjectIDChanged);
    handleProjectSelectionChange(previous);
}

std::optional<qsizetype> TesselDesktopPOCModel::selectedMachineIndex() const
{
    if (!m_selectedMachineID)
        return std::nullopt;
    for (qsizetype index = 0; index < m_machines.size(); ++index) {
        if (m_machines[index].id == *m_selectedMachineID)
            return index;
    }
    return std::nullopt;
}

std::optional<qsizetype> TesselDesktopPOCModel::selectedProjectIndex(qsizetype machineIndex) const
{
    if (!m_selectedProjectID)
        return std::nullopt;
    const QList<ProjectProfile> &projects = m_machines[machineIndex].projects;
    for (qsizetype index = 0; index < projects.size(); ++index) {
        if (projects[index].id == *m_selectedProjectID)
            return index;
    }
    return std::nullopt;
}

std::optional<MachineProfile> TesselDesktopPOCModel::selectedMachine() const
{
    if (const auto index = selectedMachineIndex())
        return m_machines[*index];
    return std::nullopt;
}

std::optional<ProjectProfile> TesselDesktopPOCModel::selectedProject() const
{
    if (const auto machine = selectedMachineIndex()) {
        if (const auto project = selectedProjectIndex(*machine))
            return m_machines[*machine].projects[*project];
    }
    return std::nullopt;
}

ProjectProfile TesselDesktopPOCModel::blankProject() const
{
    ProjectProfile project;
    project.directory = m_processInfo.homeDirectory;
    return project;
}

void TesselDesktopPOCModel::addMachine()
{
    MachineProfile machine;
    machine.projects = {blankProject()};
    QList<MachineProfile> machines = m_machines;
    machines.append(machine);
    setMachines(machines);
    setSelectedMachineID(machine.id);
    setSelectedProjectID(machine.projects.first().id);
}

void TesselDesktopPOCModel::deleteSelectedMachine()
{
    if (!m_selectedMachineID)
        return;
    QList<MachineProfile> machines = m_machines;
    machines.removeIf([this](const MachineProfile &machine) { return machine.id == *m_selectedMachineID; });
    setMachines(machines);
    if (m_machines.isEmpty())
        addMachine();
    else
        setSelectedMachineID(m_machines.first().id);
}

void TesselDesktopPOCModel::updateSelectedMachine(const std::function<void(MachineProfile &)> &edit)
{
    const auto index = selectedMachineIndex();
    if (!index)
        return;
    QList<MachineProfile> machines = m_machines;
    edit(machines[*index]);
    setMachines(machines);
}

void TesselDesktopPOCModel::updateSelectedMachineName(const QString &name)
{
    updateSelectedMachine([&name](MachineProfile &machine) { machine.name = name; });
}

void TesselDesktopPOCModel::updateSelectedGatewayURL(const QString &url)
{
    if (!selectedMachineIndex())
        return;
    updateSelectedMachine([&url](MachineProfile &machine) { machine.gatewayURL = url; });
    assign(m_gatewayURL, url, &TesselDesktopPOCModel::gatewayURLChanged);
}

void TesselDesktopPOCModel::updateSelectedGatewayToken(const QString &token)
{
    if (!selectedMachineIndex())
        return;
    updateSelectedMachine([&token](MachineProfile &machine) { machine.gatewayToken = token; });
    assign(m_gatewayToken, token, &TesselDesktopPOCModel::gatewayTokenChanged);
}

void TesselDesktopPOCModel::addProject()
{
    if (!selectedMachineIndex())
        return;
    const ProjectProfile project = blankProject();
    updateSelectedMachine([&project](MachineProfile &machine) { machine.projects.append(project); });
    setSelectedProjectID(project.id);
}

void TesselDesktopPOCModel::deleteSelectedProject()
{
    const auto machineIndex = selectedMachineIndex();
    if (!machineIndex || !selectedProjectIndex(*machineIndex))
        return;
    const QUuid removed = *m_selectedProjectID;
    const ProjectProfile replacement = blankProject();
    updateSelectedMachine([&removed, &replacement](MachineProfile &machine) {
        machine.projects.removeIf([&removed](const ProjectProfile &project) { return project.id == removed; });
        if (machine.projects.isEmpty())
            machine.projects.append(replacement);
    });
    setSelectedProjectID(m_machines[*machineIndex].projects.first().id);
}

bool TesselDesktopPOCModel::updateSelectedProject(const std::function<void(ProjectProfile &)> &edit)
{
    const auto machineIndex = selectedMachineIndex();
    const auto projectIndex = machineIndex ? selectedProjectIndex(*machineIndex) : std::nullopt;
    if (!projectIndex)
        return false;
    updateSelectedMachine([&edit, &projectIndex](MachineProfile &machine) { edit(machine.projects[*projectIndex]); });
    return true;
}

void TesselDesktopPOCModel::updateSelectedProjectName(const QString &name)
{
    updateSelectedProject([&name](ProjectProfile &project) { project.name = name; });
}

void TesselDesktopPOCModel::updateSelectedProjectDirectory(const QString &directory)
{
    if (!updateSelectedProject([&directory](ProjectProfile &project) { project.directory = directory; }))
        return;
    assign(m_projectDirectory, directory, &TesselDesktopPOCModel::projectDirectoryChanged);
    resetFilesState();
}

void TesselDesktopPOCModel::normalizeSelection()
{
    if (m_machines.isEmpty())
        setMachines(makeFallbackMachines({}, {}, m_processInfo.homeDirectory));
    if (!selectedMachineIndex())
        setSelectedMachineID(m_machines.first().id);
    const auto machineIndex = selectedMachineIndex();
    if (!machineIndex)
        return;
    if (m_machines[*machineIndex].projects.isEmpty()) {
        const ProjectProfile project = blankProject();
        updateSelectedMachine([&project](MachineProfile &machine) { machine.projects.append(project); });
    }
    if (!selectedProjectIndex(*machineIndex))
        setSelectedProjectID(m_machines[*machineIndex].projects.first().id);
}

bool TesselDesktopPOCModel::applyLaunchDefaults(const std::optional<QString> &gatewayURL,
                                                const std::optional<QString> &projectDirectory)
{
    if ((!gatewayURL && !projectDirectory) || !isUntouchedDefaultRegistry() || m_machines.isEmpty())
        return false;
    QList<MachineProfile> machines = m_machines;
    MachineProfile &machine = machines.first();
    machine.gatewayURL = gatewayURL.value_or(machine.gatewayURL);
    if (!machine.projects.isEmpty())
        machine.projects.first().directory = projectDirectory.value_or(machine.projects.first().directory);
    // A local gateway at that URL gives its token to the credential store, as for any machine;
    // it is shown with the launch values without going through the registry's writes.
    synchronizeLocalGatewayTokens({StoredMachineProfile::from(machine)});
    if (const QString token = m_secretStore.token(machine.id); !token.isEmpty()) {
        machine.gatewayToken = token;
        m_lastStoredTokens.insert(machine.id, token);
    }
    // Assigned past the registry's observer, as the screenshot export does: a launch option
    // is not the user's edit, so it is neither saved nor published (another computer must
    // never see this computer's demo URL) until the user edits the registry.
    assign(m_machines, machines, &TesselDesktopPOCModel::machinesChanged);
    syncConnectionFieldsFromSelection();
    resetFilesState();
    // A listing of the old directory may already be shown or on its way; list the new one.
    if (m_workspaceTab == ProjectWorkspaceTab::files)
        loadCurrentDirectory(true);
    return true;
}

QList<MachineProfile> TesselDesktopPOCModel::makeFallbackMachines(const QString &gatewayURL, const QString &token,
                                                                  const QString &projectDirectory) const
{
    MachineProfile machine;
    machine.name = u"Local Machine"_s;
    machine.gatewayURL = gatewayURL;
    machine.gatewayToken = token;
    ProjectProfile project;
    project.directory = projectDirectory.isEmpty() ? m_processInfo.homeDirectory : projectDirectory;
    machine.projects = {project};
    return {machine};
}

void TesselDesktopPOCModel::syncConnectionFieldsFromSelection()
{
    const auto machine = selectedMachine();
    const auto project = selectedProject();
    assign(m_gatewayURL, machine ? machine->gatewayURL : QString(), &TesselDesktopPOCModel::gatewayURLChanged);
    assign(m_gatewayToken, machine ? machine->gatewayToken : QString(), &TesselDesktopPOCModel::gatewayTokenChanged);
    assign(m_projectDirectory, project ? project->directory : QString(),
           &TesselDesktopPOCModel::projectDirectoryChanged);
}

void TesselDesktopPOCModel::persistSelection()
{
    const auto write = [this](const QString &key, const std::optional<QUuid> &id) {
        if (id)
            m_defaults.setValue(key, uuidText(*id));
        else
            m_defaults.remove(key);
    };
    write(selectedMachineKey, selectedMachine() ? m_selectedMachineID : std::nullopt);
    write(selectedProjectKey, selectedProject() ? m_selectedProjectID : std::nullopt);
}

void TesselDesktopPOCModel::persistLocalSettingsSnapshot()
{
    LocalSettingsSnapshot snapshot;
    for (const MachineProfile &machine : std::as_const(m_machines))
        snapshot.machines.append(StoredMachineProfile::from(machine));
    m_settingsStore.save(snapshot);
}

void TesselDesktopPOCModel::persistGatewayTokens()
{
    QSet<QUuid> currentIDs;
    for (const MachineProfile &machine : std::as_const(m_machines))
        currentIDs.insert(machine.id);
    // Every machine whose token was stored or read is known here: those no longer listed
    // lose their token.
    for (const QUuid &id : m_lastStoredTokens.keys()) {
        if (!currentIDs.contains(id)) {
            m_secretStore.setToken(QString(), id);
            m_lastStoredTokens.remove(id);
        }
    }
    for (const MachineProfile &machine : std::as_const(m_machines)) {
        // A keystroke in another field must not rewrite every token in the credential store.
        const auto stored = m_lastStoredTokens.constFind(machine.id);
        if (stored != m_lastStoredTokens.cend() && *stored == machine.gatewayToken)
            continue;
        m_secretStore.setToken(machine.gatewayToken, machine.id);
        m_lastStoredTokens.insert(machine.id, machine.gatewayToken);
    }
}

void TesselDesktopPOCModel::refreshMachineTokensFromSecrets()
{
    // A token typed a moment ago must reach the store before the store is read back.
    flushPendingWrites();
    QList<MachineProfile> refreshed = m_machines;
    for (MachineProfile &machine : refreshed) {
        const QString stored = m_secretStore.token(machine.id);
        m_lastStoredTokens.insert(machine.id, stored);
        if (!stored.isEmpty())
            machine.gatewayToken = stored;
        else if (machine.gatewayToken.trimmed().isEmpty())
            machine.gatewayToken.clear();
    }
    if (refreshed == m_machines)
        return;
    m_isApplyingRemoteSyncState = true;
    setMachines(refreshed);
    m_isApplyingRemoteSyncState = false;
    syncConnectionFieldsFromSelection();
}

void TesselDesktopPOCModel::synchronizeLocalGatewayTokens(const QList<StoredMachineProfile> &machines)
{
    if (machines.isEmpty())
        return;
    const auto configuration = LocalGatewaySecretSync::loadConfiguration(
        LocalGatewaySecretSync::defaultConfigurationPath(m_processInfo.homeDirectory));
    if (!configuration)
        return;
    const QSet<QString> identifiers = LocalGatewaySecretSync::localEndpointIdentifiers(
        m_processInfo.hostNames, LocalGatewaySecretSync::currentInterfaceAddresses());
    LocalGatewaySecretSync::synchronizeLocalGatewayToken(*configuration, m_secretStore, machines, identifiers);
}

} // namespace tessel
