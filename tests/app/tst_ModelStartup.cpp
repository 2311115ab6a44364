#include "protocol/UuidText.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;

class tst_ModelStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanStartSelectsTheLocalMachineWithAProject();
    void unparsableSelectionFallsBackToTheFirstMachine();
    void staleProjectSelectionIsRepairedAndWrittenBack();
    void preferencesReadOnlyTheirExactWords();
    void preferenceObserversPersistEveryAssignment();
    void screenshotExportDisablesSync_data();
    void screenshotExportDisablesSync();
    void editingTheRegistrySavesItAndItsTokensAtOnce();
    void deletingTheLastMachineOrProjectLeavesABlankOne();
    void directoryEditResetsTheFilesWorkspaceButNotTheSession();
    void launchOptionsPointOnlyAnUntouchedRegistry_data();
    void launchOptionsPointOnlyAnUntouchedRegistry();
    void tokensNeverReachSettingsOrTheSyncFolder();
    void tokenRefreshPublishesNothingWhenNothingChanged();
    void localGatewayTokenIsPickedUpAtStart();
    void derivedValuesFollowTheirFields();
};

namespace {

StoredMachineProfile storedMachine(const QString &name, const QString &url, const QList<ProjectProfile> &projects)
{
    return {QUuid::createUuid(), name, url, projects};
}

ProjectProfile project(const QString &name, const QString &directory)
{
    ProjectProfile result;
    result.name = name;
    result.directory = directory;
    return result;
}

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

void tst_ModelStartup::cleanStartSelectsTheLocalMachineWithAProject()
{
    ModelHarness harness;
    auto &model = harness.start();
    QCOMPARE(model.machines().size(), 1);
    const MachineProfile &machine = model.machines().first();
    QCOMPARE(machine.name, u"Local Machine"_s);
    QCOMPARE(model.selectedMachineID(), machine.id);
    // Every selected machine gets a project; the new project is the home directory.
    QCOMPARE(machine.projects.size(), 1);
    QCOMPARE(model.selectedProjectID(), machine.projects.first().id);
    QCOMPARE(model.projectDirectory(), harness.processInfo.homeDirectory);
    QCOMPARE(model.connectionState(), ConnectionState::disconnected());
    QVERIFY(model.transcript()->items().isEmpty());
    // The registry and the repaired selection are saved once started.
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.selectedMachineID"_s).toString(), uuidText(machine.id));
    QVERIFY(harness.settingsStore.load().snapshot.machines.first().projects.size() == 1);
}

void tst_ModelStartup::unparsableSelectionFallsBackToTheFirstMachine()
{
    ModelHarness harness;
    const auto first = storedMachine(u"One"_s, u"ws://one:4821"_s, {project(u"a"_s, u"/a"_s)});
    const auto second = storedMachine(u"Two"_s, u"ws://two:4821"_s, {project(u"b"_s, u"/b"_s)});
    harness.settingsStore.save({{first, second}, {}, {}});
    harness.settings.setValue(u"TesselDesktopPOC.selectedMachineID"_s, u"not-a-uuid"_s);
    auto &model = harness.start();
    QCOMPARE(model.selectedMachineID(), first.id);
    QCOMPARE(model.selectedProjectID(), first.projects.first().id);
    QCOMPARE(model.gatewayURL(), u"ws://one:4821"_s);
    QCOMPARE(model.connectionSummary(), u"Set up a machine and project, then connect."_s);
}

void tst_ModelStartup::staleProjectSelectionIsRepairedAndWrittenBack()
{
    ModelHarness harness;
    const auto machine = storedMachine(u"One"_s, {}, {project(u"a"_s, u"/a"_s), project(u"b"_s, u"/b"_s)});
    harness.settingsStore.save({{machine}, {}, {}});
    harness.settings.setValue(u"TesselDesktopPOC.selectedMachineID"_s, uuidText(machine.id).toLower());
    harness.settings.setValue(u"TesselDesktopPOC.selectedProjectID"_s, uuidText(QUuid::createUuid()));
    auto &model = harness.start();
    QCOMPARE(model.selectedProjectID(), machine.projects.first().id);
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.selectedProjectID"_s).toString(),
             uuidText(machine.projects.first().id));
    QCOMPARE(model.connectionSummary(), u"Selected project changed. Reconnect to open its chat."_s);
    QCOMPARE(model.projectDirectory(), u"/a"_s);
}

void tst_ModelStartup::preferencesReadOnlyTheirExactWords()
{
    ModelHarness harness;
    harness.settings.setValue(u"TesselDesktopPOC.backend"_s, u"Pi"_s);
    harness.settings.setValue(u"TesselDesktopPOC.workspaceTab"_s, u"files"_s);
    harness.settings.setValue(u"TesselDesktopPOC.includeHiddenFiles"_s, true);
    auto &model = harness.start();
    QCOMPARE(model.backend(), BackendKind::codex);
    QCOMPARE(model.workspaceTab(), ProjectWorkspaceTab::files);
    QVERIFY(model.includeHiddenFiles());

    harness.settings.setValue(u"TesselDesktopPOC.backend"_s, u"pi"_s);
    harness.settings.setValue(u"TesselDesktopPOC.workspaceTab"_s, u"Files"_s);
    auto &restarted = harness.start();
    QCOMPARE(restarted.backend(), BackendKind::pi);
    QCOMPARE(restarted.workspaceTab(), ProjectWorkspaceTab::chat);
}

void tst_ModelStartup::preferenceObserversPersistEveryAssignment()
{
    ModelHarness harness;
    auto &model = harness.start();
    QSignalSpy backendChanges(&model, &TesselDesktopPOCModel::backendChanged);
    model.setSelectedSessionID(u"s1"_s);
    model.setBackend(BackendKind::codex);
    // An equal value notifies nothing but its side effects still run.
    QCOMPARE(backendChanges.size(), 0);
    QCOMPARE(model.selectedSessionID(), std::nullopt);
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.backend"_s).toString(), u"codex"_s);
    model.setBackend(BackendKind::pi);
    QCOMPARE(backendChanges.size(), 1);
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.backend"_s).toString(), u"pi"_s);
    model.setIncludeHiddenFiles(true);
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.includeHiddenFiles"_s).toBool(), true);
    model.setWorkspaceTab(ProjectWorkspaceTab::files);
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.workspaceTab"_s).toString(), u"files"_s);
}

void tst_ModelStartup::screenshotExportDisablesSync_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<bool>("requested");
    QTest::newRow("directory after the flag")
        << QStringList{u"--export-screenshots-dir"_s, u"/tmp/x"_s} << QString() << true;
    QTest::newRow("directory after =") << QStringList{u"--export-screenshots-dir=/tmp/x"_s} << QString() << true;
    QTest::newRow("flag last") << QStringList{u"--export-screenshots-dir"_s} << QString() << false;
    QTest::newRow("variable") << QStringList() << u"/tmp/x"_s << true;
    QTest::newRow("empty variable") << QStringList() << u""_s << false;
}

void tst_ModelStartup::screenshotExportDisablesSync()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, variable);
    QFETCH(bool, requested);
    ModelHarness harness({}, arguments);
    if (!variable.isNull())
        harness.processInfo.environment.insert(u"TESSEL_DESKTOP_POC_EXPORT_SCREENSHOTS_DIR"_s, variable);
    QCOMPARE(TesselDesktopPOCModel::isScreenshotExportRequested(harness.processInfo), requested);
    auto &model = harness.start();
    QCOMPARE(model.syncEnabled(), !requested);
    QCOMPARE(model.syncStatusTitle() == u"Disabled for screenshot export"_s, requested);
}

void tst_ModelStartup::editingTheRegistrySavesItAndItsTokensAtOnce()
{
    ModelHarness harness;
    auto &model = harness.start();
    model.addMachine();
    QCOMPARE(model.machines().size(), 2);
    const QUuid added = model.machines().last().id;
    QCOMPARE(model.selectedMachineID(), added);
    QCOMPARE(model.selectedProjectID(), model.machines().last().projects.first().id);

    model.updateSelectedMachineName(u""_s);
    model.updateSelectedGatewayURL(u"  ws://devbox:4821 "_s);
    model.updateSelectedGatewayToken(u"secret-1"_s);
    QCOMPARE(model.gatewayURL(), u"  ws://devbox:4821 "_s);
    QCOMPARE(model.gatewayToken(), u"secret-1"_s);
    // Written together once the edits pause, or at once when asked.
    QCOMPARE(harness.storedToken(added), QString());
    model.flushPendingWrites();
    QCOMPARE(harness.storedToken(added), u"secret-1"_s);
    // Stored as typed; connecting trims it.
    QCOMPARE(harness.settingsStore.load().snapshot.machines.last().gatewayURL, u"  ws://devbox:4821 "_s);
    model.updateSelectedGatewayURL(u"ws://devbox:4821"_s);
    QCOMPARE(model.machines().last().displayName(), u"devbox"_s);

    model.addProject();
    model.updateSelectedProjectName(u"Web"_s);
    model.updateSelectedProjectDirectory(u"/srv/web"_s);
    QCOMPARE(model.projectDirectory(), u"/srv/web"_s);
    QCOMPARE(model.selectedProject()->name, u"Web"_s);

    // Removing a machine removes its token from the credential store.
    model.deleteSelectedMachine();
    QTRY_COMPARE_WITH_TIMEOUT(harness.storedToken(added), QString(), 5000);
    QCOMPARE(model.machines().size(), 1);
    QCOMPARE(model.selectedMachineID(), model.machines().first().id);
}

void tst_ModelStartup::deletingTheLastMachineOrProjectLeavesABlankOne()
{
    ModelHarness harness;
    auto &model = harness.start();
    const QUuid original = model.machines().first().id;
    model.deleteSelectedMachine();
    QCOMPARE(model.machines().size(), 1);
    QVERIFY(model.machines().first().id != original);
    QCOMPARE(model.machines().first().name, QString());
    QCOMPARE(model.machines().first().projects.size(), 1);
    QCOMPARE(model.selectedMachineID(), model.machines().first().id);

    const QUuid onlyProject = *model.selectedProjectID();
    model.deleteSelectedProject();
    QCOMPARE(model.selectedMachine()->projects.size(), 1);
    QVERIFY(*model.selectedProjectID() != onlyProject);
    QCOMPARE(model.selectedProject()->directory, harness.processInfo.homeDirectory);
    QVERIFY(model.selectedMachine().has_value() && model.selectedProject().has_value());
}

void tst_ModelStartup::directoryEditResetsTheFilesWorkspaceButNotTheSession()
{
    test::LoopbackGatewayServer gateway;
    QVERIFY(gateway.listen());
    gateway.setAnswersHello(true);
    gateway.setFrameHandler([](QWebSocket *socket, const QByteArray &frame) {
        if (test::frameType(frame) == "session_create"_L1)
            socket->sendTextMessage(uR"({"type":"session_created","sessionId":"S1","backendSessionId":"B1",)"
                                    uR"("resumed":false,"transcript":[{"role":"user","title":"You","body":"hi"}]})"_s);
    });
    ModelHarness harness({}, {u"UITestsMockFiles"_s});
    auto &model = harness.start();
    model.updateSelectedGatewayURL(gateway.url().toString());
    model.connect();
    QTRY_COMPARE_WITH_TIMEOUT(model.currentSessionID(), u"S1"_s, 5000);
    model.loadCurrentDirectory(true);
    QTRY_VERIFY_WITH_TIMEOUT(model.currentDirectory().has_value(), 5000);
    model.openDocument(u"README.md"_s);
    QTRY_VERIFY_WITH_TIMEOUT(model.currentDocument().has_value(), 5000);
    const auto transcript = model.transcript()->items();
    const QString summary = model.connectionSummary();

    model.updateSelectedProjectDirectory(u"/elsewhere"_s);
    QCOMPARE(model.currentDirectory(), std::nullopt);
    QCOMPARE(model.currentDocument(), std::nullopt);
    QCOMPARE(model.currentDocumentDraft(), QString());
    QCOMPARE(model.connectionState(), ConnectionState::connected());
    QCOMPARE(model.currentSessionID(), u"S1"_s);
    QCOMPARE(model.transcript()->items(), transcript);
    QCOMPARE(model.connectionSummary(), summary);
    QCOMPARE(gateway.openSocketCount(), 1);
}

namespace {

// Edits of a first-start registry, by name.
const QMap<QString, std::function<void(TesselDesktopPOCModel &)>> registryEdits{
    {u"none"_s, [](auto &) {}},
    {u"token"_s, [](auto &model) { model.updateSelectedGatewayToken(u"t"_s); }},
    {u"machine name"_s, [](auto &model) { model.updateSelectedMachineName(u"Studio"_s); }},
    {u"URL"_s, [](auto &model) { model.updateSelectedGatewayURL(u"ws://studio:4821"_s); }},
    {u"second machine"_s, [](auto &model) { model.addMachine(); }},
    {u"second project"_s, [](auto &model) { model.addProject(); }},
    {u"project name"_s, [](auto &model) { model.updateSelectedProjectName(u"Web"_s); }},
    {u"directory"_s, [](auto &model) { model.updateSelectedProjectDirectory(u"/srv"_s); }},
};

} // namespace

void tst_ModelStartup::launchOptionsPointOnlyAnUntouchedRegistry_data()
{
    QTest::addColumn<QString>("edit");
    QTest::addColumn<bool>("applied");
    for (auto edit = registryEdits.cbegin(); edit != registryEdits.cend(); ++edit) {
        // A token alone reaches no gateway; local gateway discovery may have stored it.
        const bool untouched = edit.key() == "none"_L1 || edit.key() == "token"_L1;
        QTest::newRow(qPrintable(edit.key())) << edit.key() << untouched;
    }
}

void tst_ModelStartup::launchOptionsPointOnlyAnUntouchedRegistry()
{
    QFETCH(QString, edit);
    QFETCH(bool, applied);
    ModelHarness harness;
    // A local gateway on that URL: its token is picked up, and not written to the registry either.
    const QString envFile = harness.processInfo.homeDirectory + u"/.config/tessel-gateway/gateway.env"_s;
    QVERIFY(QDir().mkpath(QFileInfo(envFile).path()));
    QFile file(envFile);
    QVERIFY(file.open(QIODevice::WriteOnly) && file.write("TESSEL_AUTH_TOKEN=demo-token\n") > 0);
    file.close();
    auto &model = harness.start();
    registryEdits.value(edit)(model);
    model.flushPendingWrites();
    const LocalSettingsSnapshot saved = harness.settingsStore.load().snapshot;
    const auto published = harness.keyValueStore.data(TesselSettingsSyncService::storeKey());
    const QString url = model.gatewayURL();
    const QString directory = model.projectDirectory();

    QCOMPARE(model.isUntouchedDefaultRegistry(), applied);
    QCOMPARE(model.applyLaunchDefaults(u"ws://127.0.0.1:4821"_s, u"/srv/sample-project"_s), applied);
    QCOMPARE(model.gatewayURL(), applied ? u"ws://127.0.0.1:4821"_s : url);
    QCOMPARE(model.projectDirectory(), applied ? u"/srv/sample-project"_s : directory);
    QCOMPARE(model.selectedMachine()->gatewayURL, model.gatewayURL());
    QCOMPARE(model.selectedProject()->directory, model.projectDirectory());
    QCOMPARE(model.canConnect(), applied || !url.isEmpty());
    if (applied)
        QCOMPARE(model.gatewayToken(), u"demo-token"_s);
    // Shown, not saved and never published by itself.
    model.flushPendingWrites();
    QCOMPARE(harness.settingsStore.load().snapshot, saved);
    QCOMPARE(harness.keyValueStore.data(TesselSettingsSyncService::storeKey()), published);
    // The user's first edit makes the registry theirs, launch values included.
    model.updateSelectedMachineName(u"Mine"_s);
    model.flushPendingWrites();
    QCOMPARE(harness.settingsStore.load().snapshot.machines.first().gatewayURL, model.machines().first().gatewayURL);
    QVERIFY(!model.applyLaunchDefaults(u"ws://127.0.0.1:1"_s, std::nullopt));
}

void tst_ModelStartup::tokensNeverReachSettingsOrTheSyncFolder()
{
    ModelHarness harness;
    auto &model = harness.start();
    model.updateSelectedGatewayURL(u"ws://devbox:4821"_s);
    model.updateSelectedGatewayToken(u"tok-7f3a9c-secret"_s);
    model.addMachine();
    model.updateSelectedGatewayToken(u"tok-second-5b2e"_s);
    model.flushPendingWrites();
    harness.settings.sync();
    const QByteArray settingsBytes = fileBytes(harness.settingsPath());
    QVERIFY(!settingsBytes.isEmpty());
    QVERIFY(!settingsBytes.contains("tok-7f3a9c-secret"));
    QVERIFY(!settingsBytes.contains("tok-second-5b2e"));
    const QByteArray document =
        harness.keyValueStore.data(TesselSettingsSyncService::storeKey()).value_or(QByteArray());
    QVERIFY(document.contains("ws://devbox:4821"));
    QVERIFY(!document.contains("tok-"));
}

void tst_ModelStartup::tokenRefreshPublishesNothingWhenNothingChanged()
{
    ModelHarness harness;
    auto &model = harness.start();
    model.updateSelectedGatewayToken(u"abc"_s);
    model.flushPendingWrites();
    const int writes = harness.secrets.writeCount;
    QSignalSpy machinesChanged(&model, &TesselDesktopPOCModel::machinesChanged);
    model.handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
    QCOMPARE(machinesChanged.size(), 0);
    QCOMPARE(harness.secrets.writeCount, writes);

    // A token changed behind the model's back is picked up, saved, and not published.
    const QByteArray published =
        harness.keyValueStore.data(TesselSettingsSyncService::storeKey()).value_or(QByteArray());
    harness.secretStore.setToken(u"rotated"_s, model.machines().first().id);
    model.handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
    QCOMPARE(model.gatewayToken(), u"rotated"_s);
    QCOMPARE(harness.keyValueStore.data(TesselSettingsSyncService::storeKey()).value_or(QByteArray()), published);
}

void tst_ModelStartup::localGatewayTokenIsPickedUpAtStart()
{
    ModelHarness harness;
    const auto machine = storedMachine(u"Here"_s, u"ws://localhost:4999"_s, {project(u"a"_s, u"/a"_s)});
    harness.settingsStore.save({{machine}, {}, {}});
    QDir(harness.processInfo.homeDirectory).mkpath(u".config/tessel-gateway"_s);
    QFile file(harness.processInfo.homeDirectory + u"/.config/tessel-gateway/gateway.env"_s);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("TESSEL_AUTH_TOKEN=\"from-file\"\nTESSEL_PORT=4999\n");
    file.close();
    auto &model = harness.start();
    QCOMPARE(model.gatewayToken(), u"from-file"_s);
    QCOMPARE(harness.storedToken(machine.id), u"from-file"_s);
}

void tst_ModelStartup::derivedValuesFollowTheirFields()
{
    ModelHarness harness;
    auto &model = harness.start();
    QVERIFY(!model.canConnect());
    model.updateSelectedGatewayURL(u" ws://devbox:4821 "_s);
    QVERIFY(model.canConnect());
    model.updateSelectedProjectDirectory(u"  \n"_s);
    QVERIFY(!model.canConnect());
    model.setComposerText(u"hello"_s);
    QVERIFY(!model.canSendMessage());
    QVERIFY(!model.canAbort());
    QVERIFY(!model.canOpenSelectedSession());
    QCOMPARE(model.selectedBackendAvailabilityText(), std::nullopt);
    QCOMPARE(model.contextUsageText(), std::nullopt);
    const SelectedConnectionSnapshot snapshot = model.selectedConnectionSnapshot();
    QCOMPARE(snapshot.gatewayURL, u" ws://devbox:4821 "_s);
    QCOMPARE(snapshot.projectDirectory, u"  \n"_s);
    QCOMPARE(snapshot.machineID, model.selectedMachineID());
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelStartup)
#include "tst_ModelStartup.moc"
