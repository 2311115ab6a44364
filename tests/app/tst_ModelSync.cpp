#include "protocol/JsonCodec.h"
#include "support/ModelHarness.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;

constexpr int timeoutMs = 5000;

namespace {

// A document as another device writes it into `folder`, dated `secondsFromNow` from now.
void writeFromAnotherDevice(const QString &folder, SyncedSettingsState state, double secondsFromNow)
{
    state.updatedAt = ReferenceDate(ReferenceDate::now().secondsSinceReferenceDate() + secondsFromNow);
    FolderKeyValueStore(folder).setData(TesselSettingsSyncService::storeKey(), encodeJson(state));
}

SyncedSettingsState published(const ModelHarness &harness)
{
    return decodeJson<SyncedSettingsState>(harness.published()).value_or(SyncedSettingsState());
}

} // namespace

// Installations of the application sharing one sync folder.
class tst_ModelSync : public QObject
{
    Q_OBJECT

    QTemporaryDir m_folder;

private Q_SLOTS:
    void init() { QVERIFY(QDir(m_folder.path()).removeRecursively() && QDir().mkpath(m_folder.path())); }

    void freshInstallationLeavesTheOthersAlone()
    {
        // An installation in use whose registry has not reached the sync folder yet.
        ModelHarness used(m_folder.path());
        const StoredMachineProfile buildBox{
            QUuid::createUuid(), u"Build box"_s, u"ws://build:4821"_s, {{QUuid::createUuid(), u"app"_s, u"/srv/app"_s}}};
        used.settingsStore.save({{buildBox}, {}, {}});
        used.secretStore.setToken(u"build-token"_s, buildBox.id);
        {
            ModelHarness fresh(m_folder.path());
            auto &b = fresh.start();
            QCOMPARE(fresh.published(), QByteArray());
            QCOMPARE(used.start().machines().first().id, buildBox.id);
            QTRY_COMPARE_WITH_TIMEOUT(b.machines().first().id, buildBox.id, timeoutMs);
        }

        // A document without machines is never applied, also after this installation published.
        QSignalSpy seen(&used.keyValueStore, &ReplicatedKeyValueStore::changedExternally);
        writeFromAnotherDevice(m_folder.path(), {}, 60);
        QVERIFY(seen.wait(timeoutMs));
        used.model().flushPendingWrites();
        QCOMPARE(used.model().machines().first().id, buildBox.id);
        QCOMPARE(used.storedToken(buildBox.id), u"build-token"_s);
        QCOMPARE(used.model().syncStatusTitle(), u"Ready to sync"_s);
    }

    void editsReachTheOtherInstallationWithoutEcho()
    {
        ModelHarness first(m_folder.path());
        ModelHarness second(m_folder.path());
        auto &a = first.start();
        a.updateSelectedMachineName(u"Workstation"_s);
        a.flushPendingWrites();
        // The second installation takes the published registry at start.
        auto &b = second.start();
        QCOMPARE(b.machines(), a.machines());

        a.addMachine();
        a.updateSelectedMachineName(u"Build box"_s);
        a.updateSelectedGatewayToken(u"token-stays-local"_s);
        a.flushPendingWrites();
        const QByteArray publishedByFirst = first.published();
        QTRY_COMPARE_WITH_TIMEOUT(b.machines().value(1).name, u"Build box"_s, timeoutMs);
        // Tokens do not travel through the document; the selection on the second stays put.
        QCOMPARE(b.machines().last().gatewayToken, QString());
        QCOMPARE(b.selectedMachineID(), a.machines().first().id);
        // Applying is not publishing: the folder still holds exactly what the first wrote.
        QCOMPARE(second.published(), publishedByFirst);

        QSignalSpy changedOnFirst(&first.keyValueStore, &ReplicatedKeyValueStore::changedExternally);
        b.updateSelectedProjectName(u"Renamed on the second"_s);
        b.flushPendingWrites();
        QVERIFY(first.published() != publishedByFirst);
        QTRY_COMPARE_WITH_TIMEOUT(a.machines().first().projects.first().name, u"Renamed on the second"_s, timeoutMs);
        QCOMPARE(changedOnFirst.size(), 1);
        QCOMPARE(b.syncStatusTitle(), u"Sync active"_s);
        const QString detail = b.syncStatusDetail();
        QVERIFY2(detail.startsWith(u"Cloud registry: 2 machine(s), 2 project(s). Latest writer: "_s) &&
                     detail.endsWith(u"Gateway tokens stay local until this build is signed with the shared "
                                     "keychain entitlement."_s),
                 qPrintable(detail));
    }

    void emptyDocumentBeforeTheFirstPublishIsRefused()
    {
        // Leaving writes what is pending.
        ModelHarness(m_folder.path()).start().updateSelectedMachineName(u"Shared machine"_s);
        ModelHarness harness(m_folder.path());
        auto &model = harness.start();
        QCOMPARE(model.syncDiagnostics().lastLocalPublishAt, std::nullopt);

        // Another installation writes an empty document before this one ever published.
        writeFromAnotherDevice(m_folder.path(), {}, 60);
        QTRY_VERIFY_WITH_TIMEOUT(model.syncDiagnostics().lastLocalPublishAt.has_value(), timeoutMs);
        QCOMPARE(published(harness).machines, QList{StoredMachineProfile::from(model.machines().first())});
    }

    void staleDocumentsOnlyChangeTheHandoff()
    {
        ModelHarness harness(m_folder.path());
        auto &model = harness.start();
        model.updateSelectedMachineName(u"Published"_s);
        model.flushPendingWrites();
        const QList<MachineProfile> machines = model.machines();
        SyncedSettingsState stale;
        stale.machines = {StoredMachineProfile{QUuid::createUuid(), u"Old"_s, {}, {}}};
        stale.handoff = SyncedChatHandoff{QUuid::createUuid(), QUuid::createUuid(), BackendKind::pi, std::nullopt,
                                          ReferenceDate(ReferenceDate::now().secondsSinceReferenceDate() - 3600)};
        QSignalSpy diagnostics(&model, &TesselDesktopPOCModel::syncDiagnosticsChanged);
        writeFromAnotherDevice(m_folder.path(), stale, -3600);
        QVERIFY(diagnostics.wait(timeoutMs));
        QCOMPARE(model.machines(), machines);
        // The held handoff goes out with the next publish.
        model.updateSelectedMachineName(u"Edited"_s);
        model.flushPendingWrites();
        QCOMPARE(published(harness).handoff.value_or(SyncedChatHandoff()).backend, BackendKind::pi);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelSync)
#include "tst_ModelSync.moc"
