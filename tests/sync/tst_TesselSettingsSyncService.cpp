#include "protocol/JsonCodec.h"
#include "support/MemoryKeyValueStore.h"
#include "sync/SyncBootstrapRules.h"
#include "sync/TesselSettingsSyncService.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

using Event = TesselSettingsSyncService::ExternalChangeEvent;
using Reason = Event::Reason;

namespace {

SyncedSettingsState document(const QString &machineName, double updatedAt = 100)
{
    SyncedSettingsState state;
    state.updatedAt = ReferenceDate(updatedAt);
    state.machines = {{QUuid::createUuid(), machineName, u"ws://h:4821"_s, {}}};
    return state;
}

SyncedSettingsState emptyDocument()
{
    SyncedSettingsState state;
    state.updatedAt = ReferenceDate(5);
    state.writer = SyncedWriterInfo{u"id"_s, u"name"_s, u"os"_s, std::nullopt, std::nullopt};
    return state;
}

} // namespace

class tst_TesselSettingsSyncService : public QObject
{
    Q_OBJECT

private:
    const QString m_key = TesselSettingsSyncService::storeKey();

    void notify(test::MemoryKeyValueStore &store, int reason = ReplicatedKeyValueStore::serverChange)
    {
        Q_EMIT store.changedExternally(reason, {m_key});
    }

private Q_SLOTS:
    void usesTheSharedStoreKey() { QCOMPARE(m_key, u"TesselShell.syncedState"_s); }

    void pushingTheSameDocumentTwiceWritesOnce()
    {
        test::MemoryKeyValueStore store;
        TesselSettingsSyncService service(store);
        const SyncedSettingsState state = document(u"a"_s);
        service.push(state);
        service.push(state);
        QCOMPARE(store.writeCount, 1);
        QCOMPARE(store.synchronizeCount, 1);
        QVERIFY(service.lastSynchronizeSucceeded());
        QCOMPARE(store.data(m_key), encodeJson(state));
        QCOMPARE(service.currentState(), state);
    }

    void ownPublishIsNotDeliveredBack()
    {
        test::MemoryKeyValueStore store;
        TesselSettingsSyncService service(store);
        QSignalSpy delivered(&service, &TesselSettingsSyncService::remoteStateChanged);
        service.start();
        service.push(document(u"mine"_s));
        notify(store);
        QCOMPARE(delivered.size(), 0);
    }

    void storedDocumentIsDeliveredOnceAtStartThenOnlyWhenItChanges()
    {
        test::MemoryKeyValueStore store;
        const SyncedSettingsState first = document(u"other device"_s);
        store.putExternally(m_key, encodeJson(first));
        TesselSettingsSyncService service(store);
        QSignalSpy delivered(&service, &TesselSettingsSyncService::remoteStateChanged);
        QSignalSpy events(&service, &TesselSettingsSyncService::externalChangeObserved);

        QCOMPARE(service.currentState(), first); // reading delivers nothing
        QCOMPARE(delivered.size(), 0);
        service.start();
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(delivered.first().first().value<SyncedSettingsState>(), first);
        QCOMPARE(events.size(), 0);

        notify(store);
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(events.size(), 1);

        const SyncedSettingsState second = document(u"edited"_s, 200);
        store.putExternally(m_key, encodeJson(second));
        notify(store);
        QCOMPARE(delivered.size(), 2);
        QCOMPARE(delivered.last().first().value<SyncedSettingsState>(), second);
        QCOMPARE(store.writeCount, 0);
    }

    void unreadableStoredBytesAreNeverDelivered()
    {
        test::MemoryKeyValueStore store;
        const QByteArray good = encodeJson(document(u"good"_s));
        store.putExternally(m_key, good);
        TesselSettingsSyncService service(store);
        QSignalSpy delivered(&service, &TesselSettingsSyncService::remoteStateChanged);
        service.start();
        QCOMPARE(delivered.size(), 1);

        store.putExternally(m_key, "{\"schemaVersion\":2");
        notify(store);
        QCOMPARE(service.currentState(), std::nullopt);
        // The readable document seen before still counts as observed.
        store.putExternally(m_key, good);
        notify(store);
        QCOMPARE(delivered.size(), 1);
    }

    void mapsChangeReasons_data()
    {
        QTest::addColumn<int>("number");
        QTest::addColumn<Reason>("reason");
        QTest::newRow("0") << 0 << Reason::serverChange;
        QTest::newRow("1") << 1 << Reason::initialSync;
        QTest::newRow("2") << 2 << Reason::quotaViolation;
        QTest::newRow("3") << 3 << Reason::accountChange;
        QTest::newRow("7") << 7 << Reason::unknown;
        QTest::newRow("-1") << -1 << Reason::unknown;
    }

    void mapsChangeReasons()
    {
        QFETCH(int, number);
        QFETCH(Reason, reason);
        test::MemoryKeyValueStore store;
        TesselSettingsSyncService service(store);
        QSignalSpy events(&service, &TesselSettingsSyncService::externalChangeObserved);
        service.start();
        const ReferenceDate before = ReferenceDate::now();
        Q_EMIT store.changedExternally(number, {m_key, u"other"_s});
        QCOMPARE(events.size(), 1);
        const Event event = events.first().first().value<Event>();
        QCOMPARE(event.reason, reason);
        QCOMPARE(event.changedKeys, (QStringList{m_key, u"other"_s}));
        QVERIFY(event.observedAt >= before);
    }

    void startingTwiceObservesOnce()
    {
        test::MemoryKeyValueStore store;
        TesselSettingsSyncService service(store);
        QSignalSpy events(&service, &TesselSettingsSyncService::externalChangeObserved);
        service.start();
        service.start();
        QCOMPARE(store.synchronizeCount, 1);
        notify(store);
        QCOMPARE(events.size(), 1);
    }

    void recordsWhetherTheStoreCouldSynchronise()
    {
        test::MemoryKeyValueStore store;
        store.synchronizeAnswer = false;
        TesselSettingsSyncService service(store);
        service.start();
        QVERIFY(!service.lastSynchronizeSucceeded());
        QVERIFY(!service.hasStoreIdentity());
        store.synchronizeAnswer = true;
        QVERIFY(service.synchronizeStore());
        QVERIFY(service.lastSynchronizeSucceeded());
    }

    void bootstrapsOnlyMeaningfulLocalSettingsOverAnEmptyStore()
    {
        SyncedSettingsState handoffOnly = emptyDocument();
        handoffOnly.handoff = SyncedChatHandoff{QUuid::createUuid(), QUuid::createUuid(), BackendKind::codex,
                                                std::nullopt, ReferenceDate(1)};
        QVERIFY(shouldBootstrapLocalSettingsIntoSync(std::nullopt, true));
        QVERIFY(shouldBootstrapLocalSettingsIntoSync(emptyDocument(), true));
        QVERIFY(!shouldBootstrapLocalSettingsIntoSync(document(u"one"_s), true));
        QVERIFY(!shouldBootstrapLocalSettingsIntoSync(handoffOnly, true));
        QVERIFY(!shouldBootstrapLocalSettingsIntoSync(std::nullopt, false));
    }

    void protectsLocalSettingsFromAnEmptyDocumentOnlyBeforeTheFirstPublish()
    {
        QVERIFY(shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(emptyDocument(), true, std::nullopt));
        QVERIFY(!shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(emptyDocument(), true,
                                                                                 ReferenceDate::now()));
        QVERIFY(!shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(emptyDocument(), false, std::nullopt));
        QVERIFY(!shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(document(u"x"_s), true, std::nullopt));
    }
};

QTEST_GUILESS_MAIN(tst_TesselSettingsSyncService)
#include "tst_TesselSettingsSyncService.moc"
