#include "protocol/JsonCodec.h"
#include "protocol/UuidText.h"
#include "support/DataRow.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"
#include "support/TestFiles.h"

#include <QDirIterator>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;
using test::row;
using Edit = std::function<void(TesselDesktopPOCModel &)>;

namespace {

const QString selectedMachineKey = u"TesselDesktopPOC.selectedMachineID"_s;
const QString selectedProjectKey = u"TesselDesktopPOC.selectedProjectID"_s;

StoredMachineProfile storedMachine(const QString &url, const QStringList &directories)
{
    StoredMachineProfile machine{QUuid::createUuid(), url.section(u'/', 2), url, {}};
    for (const QString &directory : directories)
        machine.projects.append({QUuid::createUuid(), directory.mid(1), directory});
    return machine;
}

QByteArray allBytesUnder(const QString &path)
{
    QByteArray bytes;
    for (QDirIterator files(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); files.hasNext();)
        bytes += test::readFile(files.next());
    return bytes;
}

} // namespace

// Start-up, preferences and the machine registry's editing, on one installation.
class tst_ModelStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A clean start, whose preferences are read only in their exact words.
    void cleanStartSelectsTheLocalMachineWithAProject()
    {
        ModelHarness harness;
        harness.settings.setValue(u"TesselDesktopPOC.backend"_s, u"Pi"_s);
        harness.settings.setValue(u"TesselDesktopPOC.workspaceTab"_s, u"files"_s);
        auto &model = harness.start();
        QCOMPARE(model.backend(), BackendKind::codex);
        QCOMPARE(model.workspaceTab(), ProjectWorkspaceTab::files);
        QCOMPARE(model.machines().size(), 1);
        const MachineProfile machine = model.machines().first();
        QCOMPARE(machine.name, u"Local Machine"_s);
        QCOMPARE(model.selectedMachineID(), machine.id);
        // Every selected machine gets a project; the new project is the home directory.
        QCOMPARE(machine.projects.size(), 1);
        QCOMPARE(model.selectedProjectID(), machine.projects.first().id);
        QCOMPARE(model.projectDirectory(), harness.processInfo.homeDirectory);
        QVERIFY(!model.canConnect());
        // The repaired selection is saved once started.
        QCOMPARE(harness.settings.value(selectedMachineKey).toString(), uuidText(machine.id));
        // Blank fields do not connect; padded ones do, trimmed.
        model.updateSelectedGatewayURL(u" ws://devbox:4821 "_s);
        QVERIFY(model.canConnect());
        model.updateSelectedProjectDirectory(u"  \n"_s);
        QVERIFY(!model.canConnect());

        harness.settings.setValue(u"TesselDesktopPOC.backend"_s, u"pi"_s);
        harness.settings.setValue(u"TesselDesktopPOC.workspaceTab"_s, u"Files"_s);
        auto &restarted = harness.start();
        QCOMPARE(restarted.backend(), BackendKind::pi);
        QCOMPARE(restarted.workspaceTab(), ProjectWorkspaceTab::chat);

        // An equal value notifies nothing, but its side effects still run.
        QSignalSpy backendChanges(&restarted, &TesselDesktopPOCModel::backendChanged);
        restarted.setSelectedSessionID(u"s1"_s);
        restarted.setBackend(BackendKind::pi);
        QCOMPARE(backendChanges.size(), 0);
        QCOMPARE(restarted.selectedSessionID(), std::nullopt);
        restarted.setBackend(BackendKind::codex);
        restarted.setWorkspaceTab(ProjectWorkspaceTab::files);
        QCOMPARE(backendChanges.size(), 1);
        QCOMPARE(harness.settings.value(u"TesselDesktopPOC.backend"_s).toString(), u"codex"_s);
        QCOMPARE(harness.settings.value(u"TesselDesktopPOC.workspaceTab"_s).toString(), u"files"_s);
    }

    void brokenSelectionFallsBackAndIsWrittenBack_data()
    {
        QTest::addColumn<bool>("machineUnparsable");
        row("unparsable machine", true);
        row("unknown project", false);
    }
    void brokenSelectionFallsBackAndIsWrittenBack()
    {
        QFETCH(bool, machineUnparsable);
        ModelHarness harness;
        const auto first = storedMachine(u"ws://one:4821"_s, {u"/a"_s, u"/b"_s});
        harness.settingsStore.save({{first, storedMachine(u"ws://two:4821"_s, {u"/c"_s})}, {}, {}});
        harness.settings.setValue(selectedMachineKey, machineUnparsable ? u"not-a-uuid"_s : uuidText(first.id).toLower());
        harness.settings.setValue(selectedProjectKey, uuidText(QUuid::createUuid()));
        auto &model = harness.start();
        QCOMPARE(model.selectedMachineID(), first.id);
        QCOMPARE(model.selectedProjectID(), first.projects.first().id);
        QCOMPARE(harness.settings.value(selectedProjectKey).toString(), uuidText(first.projects.first().id));
    }

    void editingTheRegistrySavesItAndItsTokensAtOnce()
    {
        ModelHarness harness;
        auto &model = harness.start();
        model.addMachine();
        const QUuid added = model.machines().last().id;
        QCOMPARE(model.selectedProjectID(), model.machines().last().projects.first().id);
        model.updateSelectedGatewayURL(u"  ws://devbox:4821 "_s);
        model.updateSelectedGatewayToken(u"secret-1"_s);
        // Written together once the edits pause, or at once when asked; the URL as typed.
        QCOMPARE(harness.storedToken(added), QString());
        model.flushPendingWrites();
        QCOMPARE(harness.storedToken(added), u"secret-1"_s);
        QCOMPARE(harness.settingsStore.load().snapshot.machines.last().gatewayURL, u"  ws://devbox:4821 "_s);
        // Coming back to the app with nothing changed publishes nothing; a token changed behind
        // the model's back is picked up, and not published either.
        const QByteArray published = harness.published();
        QSignalSpy machinesChanged(&model, &TesselDesktopPOCModel::machinesChanged);
        model.handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
        QCOMPARE(machinesChanged.size(), 0);
        harness.secretStore.setToken(u"rotated"_s, added);
        model.handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
        QCOMPARE(model.gatewayToken(), u"rotated"_s);
        QCOMPARE(harness.published(), published);

        // Removing a machine removes its token from the credential store.
        model.deleteSelectedMachine();
        QTRY_COMPARE_WITH_TIMEOUT(harness.storedToken(added), QString(), 5000);
        QCOMPARE(model.machines().size(), 1);

        // The last machine, or project, deleted leaves a blank new one selected.
        const QUuid original = model.machines().first().id;
        model.deleteSelectedMachine();
        QVERIFY(model.machines().size() == 1 && model.machines().first().id != original);
        QCOMPARE(model.selectedMachineID(), model.machines().first().id);
        const QUuid onlyProject = *model.selectedProjectID();
        model.deleteSelectedProject();
        QCOMPARE(model.selectedMachine()->projects.size(), 1);
        QVERIFY(*model.selectedProjectID() != onlyProject);
        QCOMPARE(model.selectedProject()->directory, harness.processInfo.homeDirectory);
    }

    void directoryEditResetsTheFilesWorkspaceButNotTheSession()
    {
        test::LoopbackGatewayServer gateway;
        QVERIFY(gateway.listen());
        gateway.setAnswersHello(true);
        gateway.setFrameHandler([](QWebSocket *socket, const QByteArray &frame) {
            if (test::frameType(frame) == "session_create"_L1)
                socket->sendTextMessage(uR"({"type":"session_created","sessionId":"S1","transcript":[)"
                                        uR"({"role":"user","title":"You","body":"hi"}]})"_s);
        });
        ModelHarness harness({}, {u"UITestsMockFiles"_s});
        auto &model = harness.start();
        QVERIFY(harness.connectTo(gateway));
        QTRY_COMPARE_WITH_TIMEOUT(model.currentSessionID(), u"S1"_s, 5000);
        model.loadCurrentDirectory(true);
        model.openDocument(u"README.md"_s);
        QTRY_VERIFY_WITH_TIMEOUT(model.currentDocument().has_value() && model.currentDirectory().has_value(), 5000);
        const auto transcript = model.transcript()->items();
        const QString summary = model.connectionSummary();

        model.updateSelectedProjectDirectory(u"/elsewhere"_s);
        QCOMPARE(model.currentDirectory(), std::nullopt);
        QCOMPARE(model.currentDocument(), std::nullopt);
        QCOMPARE(model.connectionState(), ConnectionState::connected());
        QCOMPARE(model.currentSessionID(), u"S1"_s);
        QCOMPARE(model.transcript()->items(), transcript);
        QCOMPARE(model.connectionSummary(), summary);
        QCOMPARE(gateway.openSocketCount(), 1);
    }

    // A first-start registry is the user's only after a real edit: until then launch options
    // may point it elsewhere, and it is neither saved nor published, so that a fresh
    // installation cannot wipe the others' registry.
    void launchOptionsAndPublishingWaitForARealEdit_data()
    {
        QTest::addColumn<Edit>("edit");
        QTest::addColumn<bool>("untouched");
        row("none", Edit([](auto &) {}), true);
        row("blank project replaced", Edit(&TesselDesktopPOCModel::deleteSelectedProject), true);
        row("renamed and back", Edit([](auto &model) {
                model.updateSelectedMachineName(u"Mine"_s);
                model.updateSelectedMachineName(u"Local Machine"_s);
            }), true);
        // A token alone reaches no gateway and never travels; local gateway discovery may have stored it.
        row("token", Edit([](auto &model) { model.updateSelectedGatewayToken(u"t"_s); }), true);
        row("machine name", Edit([](auto &model) { model.updateSelectedMachineName(u"Studio"_s); }), false);
        row("directory", Edit([](auto &model) { model.updateSelectedProjectDirectory(u"/srv"_s); }), false);
        row("second machine", Edit(&TesselDesktopPOCModel::addMachine), false);
    }
    void launchOptionsAndPublishingWaitForARealEdit()
    {
        QFETCH(Edit, edit);
        QFETCH(bool, untouched);
        ModelHarness harness;
        // A local gateway on the launch URL: its token is picked up, and not written to the registry either.
        QVERIFY(test::writeFile(harness.processInfo.homeDirectory + u"/.config/tessel-gateway/gateway.env"_s,
                                "TESSEL_AUTH_TOKEN=demo-token\n"));
        auto &model = harness.start();
        edit(model);
        model.flushPendingWrites();
        const LocalSettingsSnapshot saved = harness.settingsStore.load().snapshot;
        const QByteArray published = harness.published();
        const QString url = model.gatewayURL();
        const QString directory = model.projectDirectory();
        QCOMPARE(model.isUntouchedDefaultRegistry(), untouched);
        QCOMPARE(published.isEmpty(), untouched);
        QCOMPARE(model.syncStatusTitle(), untouched ? u"Ready to sync"_s : u"Sync active"_s);

        QCOMPARE(model.applyLaunchDefaults(u"ws://127.0.0.1:4821"_s, u"/srv/sample-project"_s), untouched);
        QCOMPARE(model.gatewayURL(), untouched ? u"ws://127.0.0.1:4821"_s : url);
        QCOMPARE(model.projectDirectory(), untouched ? u"/srv/sample-project"_s : directory);
        QCOMPARE(model.selectedMachine()->gatewayURL, model.gatewayURL());
        QCOMPARE(model.canConnect(), untouched || !url.isEmpty());
        if (untouched)
            QCOMPARE(model.gatewayToken(), u"demo-token"_s);
        // Shown, not saved and never published by itself.
        model.flushPendingWrites();
        QCOMPARE(harness.settingsStore.load().snapshot, saved);
        QCOMPARE(harness.published(), published);
        // The user's first edit makes the registry theirs, launch values included.
        model.updateSelectedMachineName(u"Mine"_s);
        model.flushPendingWrites();
        QCOMPARE(harness.settingsStore.load().snapshot.machines.first().gatewayURL, model.machines().first().gatewayURL);
        QVERIFY(!harness.published().isEmpty());
        QVERIFY(!model.applyLaunchDefaults(u"ws://127.0.0.1:1"_s, std::nullopt));
    }

    // Tokens of older settings layouts move into the secret store; neither they nor tokens
    // typed later leave any trace in the settings file or the sync folder.
    void tokensNeverReachSettingsOrTheSyncFolder()
    {
        ModelHarness harness;
        const auto keys = harness.settingsStore.configuration();
        const QString legacyToken = u"legacy-token-"_s + uuidText(QUuid::createUuid());
        const QString oldestToken = u"oldest-token-"_s + uuidText(QUuid::createUuid());
        const MachineProfile legacy{QUuid::createUuid(), u"Old box"_s, u"ws://old:4821"_s, legacyToken, {}};
        harness.settings.setValue(keys.legacy.machines, encodeJson(QList{legacy}));
        harness.settings.setValue(keys.legacy.gatewayToken, oldestToken);
        auto &model = harness.start();
        QCOMPARE(model.gatewayToken(), legacyToken);
        model.updateSelectedGatewayURL(u"ws://build:4821"_s);
        model.addMachine();
        model.updateSelectedGatewayToken(u"typed-token-5b2e"_s);
        model.flushPendingWrites();
        harness.settings.sync();

        const QByteArray settingsBytes = test::readFile(harness.settingsPath());
        const QByteArray syncBytes = allBytesUnder(harness.keyValueStore.folder());
        // The registry itself reached both places, so the absence below means something.
        QVERIFY(settingsBytes.contains("ws://build:4821") && syncBytes.contains("ws://build:4821"));
        for (const QString &token : {legacyToken, oldestToken, u"typed-token-5b2e"_s}) {
            QVERIFY2(!settingsBytes.contains(token.toUtf8()), qPrintable(token));
            QVERIFY2(!syncBytes.contains(token.toUtf8()), qPrintable(token));
        }
        QCOMPARE(harness.storedToken(legacy.id), legacyToken);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelStartup)
#include "tst_ModelStartup.moc"
