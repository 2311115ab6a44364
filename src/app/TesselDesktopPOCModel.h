#pragma once

#include "app/ConnectionState.h"
#include "app/DesktopSyncDiagnostics.h"
#include "app/EditorDraft.h"
#include "app/ProcessInfo.h"
#include "app/SelectedConnectionSnapshot.h"
#include "app/TranscriptListModel.h"
#include "files/UITestProjectFilesStore.h"
#include "protocol/GatewayProtocolValues.h"
#include "protocol/ProjectFileTypes.h"
#include "storage/MachineProfile.h"
#include "sync/SyncedSettingsState.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>

class QSettings;

namespace tessel {

class DesktopPOCScreenshotExporter;
class GatewayClientError;
class GatewaySecretStore;
class GatewayWebSocketClient;
class TesselSettingsSyncService;
class UserDefaultsTesselSettingsLocalStore;
struct GatewayClientEnvelope;
struct GatewayServerEnvelope;

// The one application model: every piece of state the window shows and every operation it
// offers. Lives on the GUI thread. Observed fields are Qt properties whose change signal
// fires only when the value changes; the side effects hung on some fields (saving the
// registry, persisting preferences, reacting to a new selection) run on every assignment,
// equal values included. The transcript is offered as a list model.
//
// Implementation is split by concern: TesselDesktopPOCModel.cpp (start-up, preferences,
// derived values), ModelConnection.cpp, ModelTranscript.cpp, ModelRegistry.cpp,
// ModelSync.cpp, ModelFiles.cpp and ModelDrafts.cpp.
class TesselDesktopPOCModel : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString gatewayURL READ gatewayURL NOTIFY gatewayURLChanged)
    Q_PROPERTY(QString gatewayToken READ gatewayToken NOTIFY gatewayTokenChanged)
    Q_PROPERTY(QString projectDirectory READ projectDirectory NOTIFY projectDirectoryChanged)
    Q_PROPERTY(tessel::BackendKind backend READ backend WRITE setBackend NOTIFY backendChanged)
    Q_PROPERTY(QList<tessel::MachineProfile> machines READ machines NOTIFY machinesChanged)
    Q_PROPERTY(std::optional<QUuid> selectedMachineID READ selectedMachineID WRITE setSelectedMachineID NOTIFY
                   selectedMachineIDChanged)
    Q_PROPERTY(std::optional<QUuid> selectedProjectID READ selectedProjectID WRITE setSelectedProjectID NOTIFY
                   selectedProjectIDChanged)
    Q_PROPERTY(
        tessel::ProjectWorkspaceTab workspaceTab READ workspaceTab WRITE setWorkspaceTab NOTIFY workspaceTabChanged)
    Q_PROPERTY(
        bool includeHiddenFiles READ includeHiddenFiles WRITE setIncludeHiddenFiles NOTIFY includeHiddenFilesChanged)
    Q_PROPERTY(tessel::ConnectionState connectionState READ connectionState NOTIFY connectionStateChanged)
    Q_PROPERTY(QString connectionSummary READ connectionSummary NOTIFY connectionSummaryChanged)
    Q_PROPERTY(std::optional<QString> serverVersion READ serverVersion NOTIFY serverVersionChanged)
    Q_PROPERTY(std::optional<tessel::GatewayFeatures> features READ features NOTIFY featuresChanged)
    Q_PROPERTY(
        QList<tessel::BackendDescriptor> availableBackends READ availableBackends NOTIFY availableBackendsChanged)
    Q_PROPERTY(std::optional<QString> currentSessionID READ currentSessionID NOTIFY currentSessionIDChanged)
    Q_PROPERTY(std::optional<QString> currentBackendSessionID READ currentBackendSessionID NOTIFY
                   currentBackendSessionIDChanged)
    Q_PROPERTY(std::optional<QString> currentSessionName READ currentSessionName NOTIFY currentSessionNameChanged)
    Q_PROPERTY(
        tessel::SessionLifecycleState currentSessionState READ currentSessionState NOTIFY currentSessionStateChanged)
    Q_PROPERTY(
        tessel::SessionWorkflowState currentWorkflowState READ currentWorkflowState NOTIFY currentWorkflowStateChanged)
    Q_PROPERTY(
        std::optional<tessel::GatewaySessionContextUsage> contextUsage READ contextUsage NOTIFY contextUsageChanged)
    Q_PROPERTY(QList<tessel::GatewaySessionSummary> sessions READ sessions NOTIFY sessionsChanged)
    Q_PROPERTY(std::optional<QString> selectedSessionID READ selectedSessionID WRITE setSelectedSessionID NOTIFY
                   selectedSessionIDChanged)
    Q_PROPERTY(tessel::TranscriptListModel *transcript READ transcript CONSTANT)
    Q_PROPERTY(QString composerText READ composerText WRITE setComposerText NOTIFY composerTextChanged)
    Q_PROPERTY(std::optional<tessel::ProjectDirectoryResult> currentDirectory READ currentDirectory NOTIFY
                   currentDirectoryChanged)
    Q_PROPERTY(QString currentDirectoryPath READ currentDirectoryPath NOTIFY currentDirectoryPathChanged)
    Q_PROPERTY(std::optional<tessel::ProjectFileDocumentSnapshot> currentDocument READ currentDocument NOTIFY
                   currentDocumentChanged)
    Q_PROPERTY(QString currentDocumentDraft READ currentDocumentDraft WRITE setCurrentDocumentDraft NOTIFY
                   currentDocumentDraftChanged)
    Q_PROPERTY(bool isLoadingDirectory READ isLoadingDirectory NOTIFY isLoadingDirectoryChanged)
    Q_PROPERTY(bool isLoadingDocument READ isLoadingDocument NOTIFY isLoadingDocumentChanged)
    Q_PROPERTY(bool isSavingDocument READ isSavingDocument NOTIFY isSavingDocumentChanged)
    Q_PROPERTY(std::optional<QString> fileErrorMessage READ fileErrorMessage NOTIFY fileErrorMessageChanged)
    Q_PROPERTY(std::optional<QString> fileStatusMessage READ fileStatusMessage NOTIFY fileStatusMessageChanged)
    Q_PROPERTY(tessel::DesktopSyncDiagnostics syncDiagnostics READ syncDiagnostics NOTIFY syncDiagnosticsChanged)

public:
    TesselDesktopPOCModel(const ProcessInfo &processInfo, QSettings &defaults,
                          UserDefaultsTesselSettingsLocalStore &settingsStore, GatewaySecretStore &secretStore,
                          TesselSettingsSyncService &syncService, QObject *parent = nullptr);
    ~TesselDesktopPOCModel() override;

    static bool isScreenshotExportRequested(const ProcessInfo &processInfo);

    // Application activation: re-read local gateway tokens and stored tokens, pull sync.
    enum class ScenePhase { active, inactive, background };
    void handleScenePhaseChange(ScenePhase phase);

    // Observed fields.
    const QString &gatewayURL() const { return m_gatewayURL; }
    const QString &gatewayToken() const { return m_gatewayToken; }
    const QString &projectDirectory() const { return m_projectDirectory; }
    BackendKind backend() const { return m_backend; }
    void setBackend(BackendKind backend);
    const QList<MachineProfile> &machines() const { return m_machines; }
    const std::optional<QUuid> &selectedMachineID() const { return m_selectedMachineID; }
    void setSelectedMachineID(const std::optional<QUuid> &id);
    const std::optional<QUuid> &selectedProjectID() const { return m_selectedProjectID; }
    void setSelectedProjectID(const std::optional<QUuid> &id);
    ProjectWorkspaceTab workspaceTab() const { return m_workspaceTab; }
    void setWorkspaceTab(ProjectWorkspaceTab tab);
    bool includeHiddenFiles() const { return m_includeHiddenFiles; }
    void setIncludeHiddenFiles(bool include);
    const ConnectionState &connectionState() const { return m_connectionState; }
    const QString &connectionSummary() const { return m_connectionSummary; }
    const std::optional<QString> &serverVersion() const { return m_serverVersion; }
    const std::optional<GatewayFeatures> &features() const { return m_features; }
    const QList<BackendDescriptor> &availableBackends() const { return m_availableBackends; }
    const std::optional<QString> &currentSessionID() const { return m_currentSessionID; }
    const std::optional<QString> &currentBackendSessionID() const { return m_currentBackendSessionID; }
    const std::optional<QString> &currentSessionName() const { return m_currentSessionName; }
    SessionLifecycleState currentSessionState() const { return m_currentSessionState; }
    SessionWorkflowState currentWorkflowState() const { return m_currentWorkflowState; }
    const std::optional<GatewaySessionContextUsage> &contextUsage() const { return m_contextUsage; }
    const QList<GatewaySessionSummary> &sessions() const { return m_sessions; }
    const std::optional<QString> &selectedSessionID() const { return m_selectedSessionID; }
    void setSelectedSessionID(const std::optional<QString> &id);
    TranscriptListModel *transcript() const { return m_transcript; }
    // Read out of the composer's editor when it holds newer text: costs its length then.
    const QString &composerText() const { return m_composer.text(); }
    void setComposerText(const QString &text);
    // The window's composer, which from now on holds the composer text (nullptr: none), and
    // its report of a user's edit (O(1), on every keystroke), with whether the text is blank.
    void setComposerEditor(DocumentDraftEditor *editor) { m_composer.attach(editor); }
    void releaseComposerEditor(DocumentDraftEditor *editor) { m_composer.release(editor); }
    void composerEdited(DocumentDraftEditor *editor, bool isBlank);
    const std::optional<ProjectDirectoryResult> &currentDirectory() const { return m_currentDirectory; }
    const QString &currentDirectoryPath() const { return m_currentDirectoryPath; }
    const std::optional<ProjectFileDocumentSnapshot> &currentDocument() const { return m_currentDocument; }
    // The draft as text; read from the editor when one holds it (costs the document's length).
    QString currentDocumentDraft() const;
    void setCurrentDocumentDraft(const QString &draft);
    bool isLoadingDirectory() const { return m_directoryLoads > 0; }
    bool isLoadingDocument() const { return m_documentLoads > 0; }
    bool isSavingDocument() const { return m_isSavingDocument; }
    const std::optional<QString> &fileErrorMessage() const { return m_fileErrorMessage; }
    const std::optional<QString> &fileStatusMessage() const { return m_fileStatusMessage; }
    const DesktopSyncDiagnostics &syncDiagnostics() const { return m_syncDiagnostics; }

    // Derived values, recomputed on every read.
    bool canConnect() const;
    bool canSendMessage() const;
    bool canAbort() const;
    bool canOpenSelectedSession() const;
    std::optional<QString> selectedBackendAvailabilityText() const;
    std::optional<QString> contextUsageText() const;
    SelectedConnectionSnapshot selectedConnectionSnapshot() const;
    std::optional<MachineProfile> selectedMachine() const;
    std::optional<ProjectProfile> selectedProject() const;
    QList<ProjectFileEntry> currentDirectoryEntries() const;
    bool canSaveCurrentDocument() const;
    // A document is open and its draft differs from its content ("Unsaved").
    QString syncStatusTitle() const;
    QString syncStatusDetail() const;
    bool syncEnabled() const { return m_syncEnabled; }
    // True while the registry is still what a first start makes of nothing: no machine, or one
    // machine named "Local Machine" without gateway URL whose projects are none or the one blank
    // home-directory project the start-up repair adds; its token does not count. Such a registry
    // holds nothing worth sharing: it is never published, another installation's document
    // replaces it, and launch options may point it at a gateway.
    bool isUntouchedDefaultRegistry() const;

    // Connection and sessions.
    void connect();
    void createNewSession();
    void refreshSessions();
    void openSelectedSession();
    void abortCurrentTurn();
    void resetLiveSessionState(bool disconnectTransport, const QString &summary, bool appendSystemMessage,
                               const std::optional<QString> &systemMessage);
    void sendComposerMessage();

    // Registry editing.
    void addMachine();
    void deleteSelectedMachine();
    void updateSelectedMachineName(const QString &name);
    void updateSelectedGatewayURL(const QString &url);
    void updateSelectedGatewayToken(const QString &token);
    void addProject();
    void deleteSelectedProject();
    void updateSelectedProjectName(const QString &name);
    void updateSelectedProjectDirectory(const QString &directory);

    // Points an untouched default registry at the gateway URL and project directory given at
    // launch (an absent value leaves its field alone), then picks up a local gateway's token
    // for that URL. Shown, not saved: nothing is written or published until the user edits
    // the registry. False, with nothing changed, when the registry is not untouched.
    bool applyLaunchDefaults(const std::optional<QString> &gatewayURL, const std::optional<QString> &projectDirectory);

    // Writes the registry, tokens and synced document that recent edits left pending. Runs
    // by itself shortly after edits pause, before tokens or remote documents are read, and
    // on destruction; callers that need the files on disk now may call it.
    void flushPendingWrites();

    // Files workspace.
    void loadCurrentDirectory(bool resetPath);
    void openParentDirectory();
    void activateEntry(const ProjectFileEntry &entry);
    void openDocument(const QString &path);
    void saveCurrentDocument();

    // Drafts kept across restarts (ModelDrafts.cpp).
    // True when the open document has changes that are not saved: its draft differs from the
    // text read, or it is a draft brought back from an earlier run, whose base text is unknown.
    // O(1): the editor reports whether the draft differs on every edit.
    bool hasUnsavedDocumentChanges() const;
    // Opens, without asking the gateway, a draft kept from an earlier run: `document` as it
    // was read (path, revision; its content is not known) with `draft` as unsaved text. The
    // status card says so until another document replaces it. Does nothing while a document
    // is open.
    void restoreDocumentDraft(const ProjectFileDocumentSnapshot &document, const QString &draft);

    // The window's editor, which from now on holds the draft (nullptr: none). The model
    // shows it every draft it sets and reads the draft from it when it needs the text.
    void setDocumentDraftEditor(DocumentDraftEditor *editor);
    // Detaches `editor` if it is the one holding the draft, keeping its text as the draft.
    void releaseDocumentDraftEditor(DocumentDraftEditor *editor);
    // The editor's report of a user's edit: O(1), called on every keystroke. Ignored from
    // an editor that no longer holds the draft.
    void documentDraftEdited(DocumentDraftEditor *editor, bool differsFromContent);

Q_SIGNALS:
    void gatewayURLChanged();
    void gatewayTokenChanged();
    void projectDirectoryChanged();
    void backendChanged();
    void machinesChanged();
    void selectedMachineIDChanged();
    void selectedProjectIDChanged();
    void workspaceTabChanged();
    void includeHiddenFilesChanged();
    void connectionStateChanged();
    void connectionSummaryChanged();
    void serverVersionChanged();
    void featuresChanged();
    void availableBackendsChanged();
    void currentSessionIDChanged();
    void currentBackendSessionIDChanged();
    void currentSessionNameChanged();
    void currentSessionStateChanged();
    void currentWorkflowStateChanged();
    void contextUsageChanged();
    void sessionsChanged();
    void selectedSessionIDChanged();
    void composerTextChanged();
    void currentDirectoryChanged();
    void currentDirectoryPathChanged();
    void currentDocumentChanged();
    // Any change of the draft: a document opened or closed, a draft set, a user's edit.
    void currentDocumentDraftChanged();
    void isLoadingDirectoryChanged();
    void isLoadingDocumentChanged();
    void isSavingDocumentChanged();
    void fileErrorMessageChanged();
    void fileStatusMessageChanged();
    void syncDiagnosticsChanged();
    // A save finished (successfully or not), after its listing refresh.
    void saveFinished();

private:
    // The screenshot export shows demonstration content through the observed fields without
    // running their observers: nothing of it may reach the registry, the tokens or sync.
    friend class DesktopPOCScreenshotExporter;

    // Assigns and notifies only when the value changed; true when it did.
    template<typename T>
    bool assign(T &field, const T &value, void (TesselDesktopPOCModel::*changed)())
    {
        if (field == value)
            return false;
        field = value;
        Q_EMIT(this->*changed)();
        return true;
    }

    // Start-up and preferences (TesselDesktopPOCModel.cpp).
    void loadRegistryAndSelection();
    void restorePreferences();
    void runLater(std::function<void()> task);
    // Stores a local gateway's token for the machines that point at it, then re-reads every
    // machine's token.
    void rediscoverLocalGatewayTokens();

    // Connection (ModelConnection.cpp).
    void handleServerEnvelope(const GatewayServerEnvelope &envelope, const QUrl &url);
    void handleClientError(const GatewayClientError &error, const QUrl &url);
    void handleTransportFailure(const QString &description, const std::optional<QUrl> &url);
    void startPostHelloSequence(const QUrl &url);
    // Sends on the current client; a failure is reported against `url` (the gateway URL
    // field's when none is given).
    void sendRequest(const GatewayClientEnvelope &request, const std::optional<QUrl> &url = std::nullopt);
    void replaceClient(GatewayWebSocketClient *client);
    void handleMachineSelectionChange(const std::optional<QUuid> &previous);
    void handleProjectSelectionChange(const std::optional<QUuid> &previous);
    // Repairs the selection, mirrors it into the connection fields, resets the files
    // workspace and persists it.
    void applySelection();
    void setConnectionState(const ConnectionState &state);
    void setConnectionSummary(const QString &summary);
    void clearSessionFields();

    // Transcript (ModelTranscript.cpp).
    void handleSessionCreated(const GatewayServerEnvelope &envelope);
    void handleSessionList(const GatewayServerEnvelope &envelope);
    void handleGatewayError(const GatewayServerEnvelope &envelope);
    void appendSystemItem(const QString &body);
    QString assistantTitle() const;

    // Registry (ModelRegistry.cpp).
    void setMachines(const QList<MachineProfile> &machines);
    std::optional<qsizetype> selectedMachineIndex() const;
    std::optional<qsizetype> selectedProjectIndex(qsizetype machineIndex) const;
    void updateSelectedMachine(const std::function<void(MachineProfile &)> &edit);
    // False, with nothing changed, when no project is selected.
    bool updateSelectedProject(const std::function<void(ProjectProfile &)> &edit);
    void normalizeSelection();
    void syncConnectionFieldsFromSelection();
    void persistSelection();
    void persistLocalSettingsSnapshot();
    // Stores every machine's token that differs from the one last stored, and deletes the
    // tokens of machines no longer listed.
    void persistGatewayTokens();
    void refreshMachineTokensFromSecrets();
    void synchronizeLocalGatewayTokens(const QList<StoredMachineProfile> &machines);
    QList<MachineProfile> makeFallbackMachines(const QString &gatewayURL, const QString &token,
                                               const QString &projectDirectory) const;
    ProjectProfile blankProject() const;

    // Sync (ModelSync.cpp).
    bool hasMeaningfulSyncState() const;
    // The stored document, unless it has no machines: such a document counts as absent.
    std::optional<SyncedSettingsState> storedSyncState() const;
    void configureSyncObservation();
    void persistCurrentSyncState();
    void applyRemoteSyncState(const SyncedSettingsState &state);
    void refreshSyncDiagnostics(const std::optional<SyncedSettingsState> &currentState, bool forceStoreSync);

    // Files (ModelFiles.cpp).
    void listDirectory(bool resetPath, const std::function<void()> &done);
    void resetFilesState();
    // Replaces the open document (or closes it) together with its draft.
    void showDocument(const std::optional<ProjectFileDocumentSnapshot> &document);
    // A save of `document` with `draft` succeeded and that document is still open.
    void adoptSavedDocument(const ProjectFileDocumentSnapshot &document, const QString &draft,
                            const ProjectFileSaveResult &saved);
    void closeDocument();
    void clearFileMessages();
    void setFileErrorMessage(const QString &message);
    void setFileStatusMessage(const QString &message);
    void setCurrentDirectoryPath(const QString &path);
    void beginFileOperation(int &inFlight, void (TesselDesktopPOCModel::*changed)());
    void endFileOperation(int &inFlight, void (TesselDesktopPOCModel::*changed)());
    // Increments whenever the machine, project or directory changes, so that replies to
    // requests started before are dropped.
    quint64 m_filesGeneration = 0;
    // Increments whenever the open document is replaced or closed, so that a save's result
    // changes only the document it was made from.
    quint64 m_documentGeneration = 0;

    // Collaborators.
    QSettings &m_defaults;
    ProcessInfo m_processInfo;
    UserDefaultsTesselSettingsLocalStore &m_settingsStore;
    GatewaySecretStore &m_secretStore;
    TesselSettingsSyncService &m_syncService;
    bool m_syncEnabled = true;
    QPointer<GatewayWebSocketClient> m_client;
    bool m_hasFinishedInitialization = false;
    bool m_isApplyingRemoteSyncState = false;
    std::optional<SyncedChatHandoff> m_syncedChatHandoff;
    std::optional<ReferenceDate> m_lastSyncedSettingsUpdateAt;
    // Registry edits are published only once sync observation is set up, so that the
    // repairs made while starting never overwrite another installation's document.
    bool m_isSyncObservationConfigured = false;
    // Answers file requests instead of the gateway when the launch arguments ask for it.
    std::unique_ptr<UITestProjectFilesStore> m_mockFilesStore;
    // The token last written to or read from the secret store per machine: an edit of
    // another field must not rewrite every token.
    QHash<QUuid, QString> m_lastStoredTokens;
    struct PendingWrites
    {
        bool registry = false;
        bool publish = false;
    };
    PendingWrites m_pendingWrites;
    // Restarted by every edit; the deadline bounds how long steady typing can defer writes.
    static constexpr int writeDebounceMs = 300;
    static constexpr qint64 maxWriteDelayMs = 1000;
    QTimer m_writeDelay;
    QDeadlineTimer m_writeDelayDeadline;

    // Observed fields, in declaration order.
    QString m_gatewayURL;
    QString m_gatewayToken;
    QString m_projectDirectory;
    BackendKind m_backend = BackendKind::codex;
    QList<MachineProfile> m_machines;
    std::optional<QUuid> m_selectedMachineID;
    std::optional<QUuid> m_selectedProjectID;
    ProjectWorkspaceTab m_workspaceTab = ProjectWorkspaceTab::chat;
    bool m_includeHiddenFiles = false;
    ConnectionState m_connectionState;
    QString m_connectionSummary;
    std::optional<QString> m_serverVersion;
    std::optional<GatewayFeatures> m_features;
    QList<BackendDescriptor> m_availableBackends;
    std::optional<QString> m_currentSessionID;
    std::optional<QString> m_currentBackendSessionID;
    std::optional<QString> m_currentSessionName;
    SessionLifecycleState m_currentSessionState = SessionLifecycleState::closed;
    SessionWorkflowState m_currentWorkflowState = SessionWorkflowState::active;
    std::optional<GatewaySessionContextUsage> m_contextUsage;
    QList<GatewaySessionSummary> m_sessions;
    std::optional<QString> m_selectedSessionID;
    TranscriptListModel *m_transcript;
    EditorDraft m_composer;
    bool m_composerIsBlank = true;
    std::optional<ProjectDirectoryResult> m_currentDirectory;
    QString m_currentDirectoryPath;
    std::optional<ProjectFileDocumentSnapshot> m_currentDocument;
    EditorDraft m_documentDraft;
    bool m_draftDiffers = false;
    // Listings and reads in flight; several may overlap and the last to finish wins.
    int m_directoryLoads = 0;
    int m_documentLoads = 0;
    bool m_isSavingDocument = false;
    std::optional<QString> m_fileErrorMessage;
    std::optional<QString> m_fileStatusMessage;
    DesktopSyncDiagnostics m_syncDiagnostics;
    // Shown as the status while the open document is a restored draft.
    std::optional<QString> m_restoredDocumentNotice;
};

} // namespace tessel
