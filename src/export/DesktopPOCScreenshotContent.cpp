// The demonstration content of the screenshot export.
#include "export/DesktopPOCScreenshotExporter.h"

#include "app/TesselDesktopPOCModel.h"
#include "protocol/JsonCodec.h"
#include "protocol/JsonReader.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

const QString demoHost = u"studio.local"_s;

struct SessionSamples
{
    QList<GatewaySessionSummary> sessions;

    static SessionSamples decode(const simdjson::dom::element &value)
    {
        return {json::asList<GatewaySessionSummary>(value, &GatewaySessionSummary::decode)};
    }
};

constexpr char sessionSamplesJson[] = R"([
  {"id": "live-macos-poc", "source": "live", "backend": "codex", "cwd": "/home/demo/src/tessel",
   "sessionKey": "codex:/home/demo/src/tessel", "backendSessionId": "codex-demo-123",
   "sessionName": "Native Mac App Exploration", "state": "ready", "workflowState": "active",
   "title": "Native desktop exploration", "subtitle": "Chat parity, files and sync",
   "detail": "Live on studio.local", "lastUpdatedAt": "2026-03-14T10:32:00Z"},
  {"id": "saved-macos-poc", "source": "saved", "backend": "codex", "cwd": "/home/demo/src/tessel",
   "sessionKey": "codex:/home/demo/src/tessel:saved", "backendSessionId": "codex-demo-101",
   "sessionName": "Gateway protocol review", "state": "idle", "workflowState": "done",
   "title": "Gateway protocol review", "subtitle": "Envelope shapes and error texts",
   "detail": "Saved yesterday", "lastUpdatedAt": "2026-03-13T16:05:00Z"}
])";

QList<GatewaySessionSummary> screenshotSamples()
{
    static const QList<GatewaySessionSummary> samples =
        decodeJson<SessionSamples>(QByteArrayView(sessionSamplesJson)).value_or(SessionSamples()).sessions;
    return samples;
}

DesktopTranscriptItem transcriptItem(DesktopTranscriptRole role, const QString &title, const QString &body)
{
    DesktopTranscriptItem item;
    item.role = role;
    item.title = title;
    item.body = body;
    return item;
}

QList<DesktopTranscriptItem> demonstrationTranscript()
{
    return {
        transcriptItem(DesktopTranscriptRole::system, {},
                       u"Connected to the selected machine and opened the Codex session."_s),
        transcriptItem(DesktopTranscriptRole::user, u"You"_s,
                       u"How should a native desktop version of Tessel look? Keep the gateway as it is."_s),
        transcriptItem(DesktopTranscriptRole::assistant, u"Codex"_s,
                       u"A short plan:\n1. A sidebar for machines, projects and the backend, with the connection "
                       "status and the live sessions below.\n2. A chat pane that streams replies into one bubble and "
                       "shows tool activity as its own items.\n3. A files tab that browses the project through the "
                       "same gateway and saves with revision checks."_s),
        transcriptItem(DesktopTranscriptRole::tool, u"Tool"_s,
                       u"Completed: listed project files and session metadata."_s),
    };
}

MachineProfile demonstrationMachine()
{
    MachineProfile machine;
    machine.name = u"Studio Workstation"_s;
    machine.gatewayURL = u"ws://"_s + demoHost + u":4821"_s;
    machine.gatewayToken = u"demo-token"_s;
    ProjectProfile project;
    project.name = u"Tessel"_s;
    project.directory = u"/home/demo/src/tessel"_s;
    machine.projects = {project};
    return machine;
}

ProjectFileEntry entry(const QString &directory, const QString &name, ProjectFileKind kind, qint64 size)
{
    ProjectFileEntry item;
    item.name = name;
    item.path = directory + u'/' + name;
    item.kind = kind;
    item.size = size;
    item.modifiedAt = u"Today at 10:32 AM"_s;
    item.isText = kind == ProjectFileKind::file;
    return item;
}

const QString sampleDirectory = u"Sources/TesselDesktop"_s;

const QString sampleCode = uR"(struct ContentView: View {
    @Bindable var model: TesselDesktopPOCModel

    var body: some View {
        NavigationSplitView {
            SidebarView(model: model)
        } detail: {
            WorkspaceView(model: model)
        }
    }
})"_s;

} // namespace

void DesktopPOCScreenshotExporter::configureChatScreenshotState(TesselDesktopPOCModel &model)
{
    using M = TesselDesktopPOCModel;
    // Shown, never saved: no observer of the registry or the selection runs.
    const MachineProfile machine = demonstrationMachine();
    model.assign(model.m_machines, {machine}, &M::machinesChanged);
    model.assign(model.m_selectedMachineID, std::optional(machine.id), &M::selectedMachineIDChanged);
    model.assign(model.m_selectedProjectID, std::optional(machine.projects.first().id), &M::selectedProjectIDChanged);
    model.syncConnectionFieldsFromSelection();
    model.resetFilesState();

    model.setBackend(BackendKind::codex);
    model.setWorkspaceTab(ProjectWorkspaceTab::chat);
    model.setConnectionState(ConnectionState::connected());
    model.setConnectionSummary(u"Connected to "_s + demoHost);
    model.assign(model.m_serverVersion, std::optional(u"tessel-gateway 0.1.0"_s), &M::serverVersionChanged);
    model.assign(model.m_currentSessionID, std::optional(u"live-macos-poc"_s), &M::currentSessionIDChanged);
    model.assign(model.m_currentBackendSessionID, std::optional(u"codex-demo-123"_s),
                 &M::currentBackendSessionIDChanged);
    model.assign(model.m_currentSessionName, std::optional(u"Native Mac App Exploration"_s),
                 &M::currentSessionNameChanged);
    model.assign(model.m_currentSessionState, SessionLifecycleState::ready, &M::currentSessionStateChanged);
    model.assign(model.m_currentWorkflowState, SessionWorkflowState::active, &M::currentWorkflowStateChanged);
    model.assign(model.m_contextUsage, std::optional(GatewaySessionContextUsage{43000, 200000}),
                 &M::contextUsageChanged);
    model.assign(model.m_sessions, screenshotSamples(), &M::sessionsChanged);
    model.setSelectedSessionID(u"live-macos-poc"_s);
    model.m_transcript->replaceAll(demonstrationTranscript());
    model.setComposerText(u"What should we add after chat parity?"_s);
}

void DesktopPOCScreenshotExporter::configureFilesScreenshotState(TesselDesktopPOCModel &model)
{
    using M = TesselDesktopPOCModel;
    ProjectDirectoryResult listing;
    listing.path = sampleDirectory;
    listing.entries = {
        entry(sampleDirectory, u"Views"_s, ProjectFileKind::directory, 0),
        entry(sampleDirectory, u"Models"_s, ProjectFileKind::directory, 0),
        entry(sampleDirectory, u"ContentView.swift"_s, ProjectFileKind::file, 2140),
        entry(sampleDirectory, u"GatewayClient.swift"_s, ProjectFileKind::file, 5310),
        entry(sampleDirectory, u"TesselDesktopApp.swift"_s, ProjectFileKind::file, 812),
    };
    ProjectFileDocumentSnapshot document{sampleDirectory + u"/ContentView.swift"_s,
                                         sampleCode,
                                         u"rev-demo-2"_s,
                                         sampleCode.toUtf8().size(),
                                         u"Today at 10:32 AM"_s,
                                         u"swift"_s,
                                         false};
    model.assign(model.m_currentDirectory, std::optional(listing), &M::currentDirectoryChanged);
    model.setCurrentDirectoryPath(listing.path);
    model.assign(model.m_currentDocument, std::optional(document), &M::currentDocumentChanged);
    model.setCurrentDocumentDraft(document.content);
    model.assign(model.m_fileErrorMessage, {}, &M::fileErrorMessageChanged);
    model.setFileStatusMessage(u"Loaded from the selected gateway."_s);
    model.setWorkspaceTab(ProjectWorkspaceTab::files);
}

} // namespace tessel
