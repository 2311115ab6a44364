#include "protocol/JsonCodec.h"
#include "support/ModelHarness.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;

constexpr int timeoutMs = 5000;

// Two installations of the application sharing one sync folder.
class tst_ModelSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
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

void tst_ModelSync::editsReachTheOtherInstallationWithoutEcho()
{
    QTemporaryDir folder;
    ModelHarness first(folder.path());
    ModelHarness second(folder.path());
    auto &a = first.start();
    // A registry with a project is worth keeping: the first start publishes it.
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
    QCOMPARE(model.syncStatusTitle(), u"Sync active"_s);
    QVERIFY(model.syncStatusDetail().startsWith(u"Cloud registry: 1 machine(s), 1 project(s). Latest writer: "_s));
    QVERIFY(model.syncStatusDetail().contains(u" Cloud updated "_s));
    QVERIFY(model.syncStatusDetail().endsWith(
        u". Gateway tokens stay local until this build is signed with the shared keychain entitlement."_s));

    ModelHarness unpublished({}, {u"--export-screenshots-dir"_s, u"/tmp/shots"_s});
    auto &exporting = unpublished.start();
    QCOMPARE(exporting.syncStatusTitle(), u"Disabled for screenshot export"_s);
    QCOMPARE(exporting.syncStatusDetail(),
             u"No cloud snapshot has been observed yet. Gateway tokens stay local until this build is signed with "
             "the shared keychain entitlement."_s);
    QCOMPARE(unpublished.keyValueStore.data(TesselSettingsSyncService::storeKey()), std::nullopt);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelSync)
#include "tst_ModelSync.moc"
