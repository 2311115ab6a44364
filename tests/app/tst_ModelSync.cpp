#include "protocol/JsonCodec.h"
#include "support/ModelHarness.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;

constexpr int timeoutMs = 5000;
using Edit = std::function<void(TesselDesktopPOCModel &)>;

// Two installations of the application sharing one sync folder.
class tst_ModelSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void onlyARealEditPublishes_data();
    void onlyARealEditPublishes();
    void freshInstallationLeavesTheOthersAlone();
    void editsReachTheOtherInstallationWithoutEcho();
    void emptyDocumentBeforeTheFirstPublishIsRefused();
    void staleDocumentsOnlyChangeTheHandoff();
    void statusTextsFollowTheDiagnostics();

private:
    static QByteArray storedDocument(ModelHarness &harness)
    {
        return harness.keyValueStore.data(TesselSettingsSyncService::storeKey()).value_or(QByteArray());
    }
};

void tst_ModelSync::onlyARealEditPublishes_data()
{
    QTest::addColumn<Edit>("edit");
    QTest::addColumn<bool>("untouched");
    QTest::newRow("none") << Edit([](TesselDesktopPOCModel &) {}) << true;
    QTest::newRow("blank project replaced") << Edit(&TesselDesktopPOCModel::deleteSelectedProject) << true;
    QTest::newRow("renamed and back") << Edit([](TesselDesktopPOCModel &model) {
        model.updateSelectedMachineName(u"Mine"_s);
        model.updateSelectedMachineName(u"Local Machine"_s);
    }) << true;
    // Tokens never travel: a default registry holding one would still wipe the others.
    QTest::newRow("token") << Edit([](auto &model) { model.updateSelectedGatewayToken(u"t"_s); }) << true;
    QTest::newRow("machine name") << Edit([](auto &model) { model.updateSelectedMachineName(u"Mine"_s); }) << false;
    QTest::newRow("gateway URL") << Edit([](auto &model) { model.updateSelectedGatewayURL(u"ws://h:1"_s); }) << false;
    QTest::newRow("project name") << Edit([](auto &model) { model.updateSelectedProjectName(u"p"_s); }) << false;
    QTest::newRow("project directory") << Edit([](auto &model) { model.updateSelectedProjectDirectory(u"/srv"_s); })
                                       << false;
    QTest::newRow("second project") << Edit(&TesselDesktopPOCModel::addProject) << false;
    QTest::newRow("second machine") << Edit(&TesselDesktopPOCModel::addMachine) << false;
}

void tst_ModelSync::onlyARealEditPublishes()
{
    QFETCH(Edit, edit);
    QFETCH(bool, untouched);
    ModelHarness harness;
    auto &model = harness.start();
    edit(model);
    model.flushPendingWrites();
    QCOMPARE(model.isUntouchedDefaultRegistry(), untouched);
    QCOMPARE(storedDocument(harness).isEmpty(), untouched);
    QCOMPARE(model.syncStatusTitle(), untouched ? u"Ready to sync"_s : u"Sync active"_s);
}

void tst_ModelSync::freshInstallationLeavesTheOthersAlone()
{
    QTemporaryDir folder;
    // An installation in use whose registry has not reached the sync folder yet.
    ModelHarness used(folder.path());
    const StoredMachineProfile buildBox{
        QUuid::createUuid(), u"Build box"_s, u"ws://build:4821"_s, {{QUuid::createUuid(), u"app"_s, u"/srv/app"_s}}};
    used.settingsStore.save({{buildBox}, {}, {}});
    used.secretStore.setToken(u"build-token"_s, buildBox.id);
    {
        ModelHarness fresh(folder.path());
        auto &b = fresh.start();
        QCOMPARE(storedDocument(fresh), QByteArray());
        auto &a = used.start();
        QCOMPARE(a.machines().size(), 1);
        QCOMPARE(a.machines().first().id, buildBox.id);
        QCOMPARE(a.gatewayToken(), u"build-token"_s);
        QTRY_COMPARE_WITH_TIMEOUT(b.machines().first().id, buildBox.id, timeoutMs);
    }

    // A document without machines is never applied, also after this installation published.
    QSignalSpy seen(&used.keyValueStore, &ReplicatedKeyValueStore::changedExternally);
    SyncedSettingsState empty;
    empty.updatedAt = ReferenceDate(ReferenceDate::now().secondsSinceReferenceDate() + 60);
    FolderKeyValueStore(folder.path()).setData(TesselSettingsSyncService::storeKey(), encodeJson(empty));
    QVERIFY(seen.wait(timeoutMs));
    used.model().flushPendingWrites();
    QCOMPARE(used.model().machines().first().id, buildBox.id);
    QCOMPARE(used.storedToken(buildBox.id), u"build-token"_s);
    QCOMPARE(used.model().syncStatusTitle(), u"Ready to sync"_s);
}

void tst_ModelSync::editsReachTheOtherInstallationWithoutEcho()
{
    QTemporaryDir folder;
    ModelHarness first(folder.path());
    ModelHarness second(folder.path());
    auto &a = first.start();
    a.updateSelectedMachineName(u"Workstation"_s);
    a.flushPendingWrites();
    QVERIFY(!storedDocument(first).isEmpty());
    auto &b = second.start();
    // The second installation takes the published registry at start.
    QCOMPARE(b.machines().size(), 1);
    QCOMPARE(b.machines().first().id, a.machines().first().id);
    QCOMPARE(b.selectedMachineID(), a.machines().first().id);

    a.addMachine();
    a.updateSelectedMachineName(u"Build box"_s);
    a.updateSelectedGatewayToken(u"token-stays-local"_s);
    const QUuid added = *a.selectedMachineID();
    a.flushPendingWrites();
    const QByteArray publishedByFirst = storedDocument(first);
    QTRY_COMPARE_WITH_TIMEOUT(b.machines().size(), 2, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(b.machines().last().name, u"Build box"_s, timeoutMs);
    QCOMPARE(b.machines().last().id, added);
    // Tokens do not travel through the document; the selection on the second stays put.
    QCOMPARE(b.machines().last().gatewayToken, QString());
    QCOMPARE(b.selectedMachineID(), a.machines().first().id);
    QVERIFY(!storedDocument(first).contains("token-stays-local"));
    // Applying is not publishing: the folder still holds exactly what the first wrote.
    QCOMPARE(storedDocument(second), publishedByFirst);
    const QByteArray afterApply = storedDocument(first);
    QSignalSpy changedOnFirst(&first.keyValueStore, &ReplicatedKeyValueStore::changedExternally);
    b.updateSelectedProjectName(u"Renamed on the second"_s);
    b.flushPendingWrites();
    QVERIFY(storedDocument(first) != afterApply);
    QTRY_COMPARE_WITH_TIMEOUT(a.machines().first().projects.first().name, u"Renamed on the second"_s, timeoutMs);
    QCOMPARE(changedOnFirst.size(), 1);
    QCOMPARE(b.syncStatusTitle(), u"Sync active"_s);
    QCOMPARE(b.syncDiagnostics().cloudMachineCount, 2);
}

void tst_ModelSync::emptyDocumentBeforeTheFirstPublishIsRefused()
{
    QTemporaryDir folder;
    {
        ModelHarness publisher(folder.path());
        publisher.start().updateSelectedMachineName(u"Shared machine"_s);
        // Leaving writes what is pending.
    }
    ModelHarness harness(folder.path());
    auto &model = harness.start();
    QCOMPARE(model.machines().first().name, u"Shared machine"_s);
    QCOMPARE(model.syncDiagnostics().lastLocalPublishAt, std::nullopt);

    // Another installation writes an empty document before this one ever published.
    FolderKeyValueStore otherDevice(folder.path());
    SyncedSettingsState empty;
    empty.updatedAt = ReferenceDate(ReferenceDate::now().secondsSinceReferenceDate() + 60);
    otherDevice.setData(TesselSettingsSyncService::storeKey(), encodeJson(empty));
    QTRY_VERIFY_WITH_TIMEOUT(model.syncDiagnostics().lastLocalPublishAt.has_value(), timeoutMs);
    QCOMPARE(model.machines().size(), 1);
    QCOMPARE(model.machines().first().name, u"Shared machine"_s);
    const auto republished = decodeJson<SyncedSettingsState>(storedDocument(harness));
    QVERIFY(republished);
    QCOMPARE(republished->machines.size(), 1);
    QCOMPARE(republished->machines.first().name, u"Shared machine"_s);
}

void tst_ModelSync::staleDocumentsOnlyChangeTheHandoff()
{
    QTemporaryDir folder;
    ModelHarness harness(folder.path());
    auto &model = harness.start();
    model.updateSelectedMachineName(u"Published"_s);
    model.flushPendingWrites();
    const QList<MachineProfile> machines = model.machines();
    FolderKeyValueStore otherDevice(folder.path());
    SyncedSettingsState stale;
    stale.updatedAt = ReferenceDate(ReferenceDate::now().secondsSinceReferenceDate() - 3600);
    stale.machines = {StoredMachineProfile{QUuid::createUuid(), u"Old"_s, {}, {}}};
    stale.handoff =
        SyncedChatHandoff{QUuid::createUuid(), QUuid::createUuid(), BackendKind::pi, std::nullopt, stale.updatedAt};
    QSignalSpy diagnostics(&model, &TesselDesktopPOCModel::syncDiagnosticsChanged);
    otherDevice.setData(TesselSettingsSyncService::storeKey(), encodeJson(stale));
    QVERIFY(diagnostics.wait(timeoutMs));
    QCOMPARE(model.machines(), machines);
    QCOMPARE(model.syncDiagnostics().cloudMachineCount, 1);
    // The held handoff goes out with the next publish.
    model.updateSelectedMachineName(u"Edited"_s);
    model.flushPendingWrites();
    const auto published = decodeJson<SyncedSettingsState>(storedDocument(harness));
    QVERIFY(published && published->handoff);
    QCOMPARE(published->handoff->backend, BackendKind::pi);
}

void tst_ModelSync::statusTextsFollowTheDiagnostics()
{
    ModelHarness harness;
    auto &model = harness.start();
    QCOMPARE(model.syncStatusDetail(),
             u"No cloud snapshot has been observed yet. Gateway tokens stay local until this build is signed with "
             "the shared keychain entitlement."_s);
    model.updateSelectedMachineName(u"Mine"_s);
    model.flushPendingWrites();
    QVERIFY(model.syncStatusDetail().startsWith(u"Cloud registry: 1 machine(s), 1 project(s). Latest writer: "_s));
    QVERIFY(model.syncStatusDetail().contains(u" Cloud updated "_s));
    QVERIFY(model.syncStatusDetail().endsWith(
        u". Gateway tokens stay local until this build is signed with the shared keychain entitlement."_s));

    ModelHarness unpublished({}, {u"--export-screenshots-dir"_s, u"/tmp/shots"_s});
    auto &exporting = unpublished.start();
    QCOMPARE(exporting.syncStatusTitle(), u"Disabled for screenshot export"_s);
    QCOMPARE(unpublished.keyValueStore.data(TesselSettingsSyncService::storeKey()), std::nullopt);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelSync)
#include "tst_ModelSync.moc"
