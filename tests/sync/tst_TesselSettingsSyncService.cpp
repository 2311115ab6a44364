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

// Other devices read and write the document under this name.
const QString key = u"TesselShell.syncedState"_s;

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

void notify(test::MemoryKeyValueStore &store, int reason = ReplicatedKeyValueStore::serverChange)
{
    Q_EMIT store.changedExternally(reason, {key});
}

} // namespace

class tst_TesselSettingsSyncService : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void ownPublishIsWrittenOnceAndNotDeliveredBack()
    {
        QCOMPARE(TesselSettingsSyncService::storeKey(), key);
        test::MemoryKeyValueStore store;
        TesselSettingsSyncService service(store);
        QSignalSpy delivered(&service, &TesselSettingsSyncService::remoteStateChanged);
        QSignalSpy events(&service, &TesselSettingsSyncService::externalChangeObserved);
        service.start();
        service.start();
        const SyncedSettingsState state = document(u"mine"_s);
        service.push(state);
        service.push(state);
        QCOMPARE(store.writeCount, 1);
        QCOMPARE(store.synchronizeCount, 2); // once at start, once for the write
        QCOMPARE(store.data(key), encodeJson(state));
        QCOMPARE(service.currentState(), state);
        notify(store);
        QCOMPARE(delivered.size(), 0);
        QCOMPARE(events.size(), 1);
    }

    void storedDocumentIsDeliveredOnceAtStartThenOnlyWhenItChanges()
    {
        test::MemoryKeyValueStore store;
        const SyncedSettingsState first = document(u"other device"_s);
        store.putExternally(key, encodeJson(first));
        TesselSettingsSyncService service(store);
        QSignalSpy delivered(&service, &TesselSettingsSyncService::remoteStateChanged);
        service.start();
        QCOMPARE(delivered.size(), 1);
        QCOMPARE(delivered.first().first().value<SyncedSettingsState>(), first);
        notify(store);
        QCOMPARE(delivered.size(), 1);

        const SyncedSettingsState second = document(u"edited"_s, 200);
        store.putExternally(key, encodeJson(second));
        notify(store);
        QCOMPARE(delivered.size(), 2);
        QCOMPARE(delivered.last().first().value<SyncedSettingsState>(), second);

        // Unreadable bytes are never delivered; the readable document seen before still counts as observed.
        store.putExternally(key, "{\"schemaVersion\":2");
        notify(store);
        QCOMPARE(service.currentState(), std::nullopt);
        store.putExternally(key, encodeJson(second));
        notify(store);
        QCOMPARE(delivered.size(), 2);
        QCOMPARE(store.writeCount, 0);
    }

    void mapsChangeReasons()
    {
        test::MemoryKeyValueStore store;
        TesselSettingsSyncService service(store);
        QSignalSpy events(&service, &TesselSettingsSyncService::externalChangeObserved);
        service.start();
        const ReferenceDate before = ReferenceDate::now();
        for (int number : {0, 1, 2, 3, 7, -1})
            Q_EMIT store.changedExternally(number, {key, u"other"_s});
        QList<Reason> reasons;
        for (const QList<QVariant> &arguments : std::as_const(events)) {
            const Event event = arguments.first().value<Event>();
            QVERIFY(event.changedKeys == (QStringList{key, u"other"_s}) && event.observedAt >= before);
            reasons << event.reason;
        }
        QCOMPARE(reasons, (QList{Reason::serverChange, Reason::initialSync, Reason::quotaViolation, Reason::accountChange,
                                 Reason::unknown, Reason::unknown}));
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
        // Local settings are protected from an empty document only before the first publish.
        QVERIFY(shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(emptyDocument(), true, std::nullopt));
        QVERIFY(!shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(emptyDocument(), true,
                                                                                 ReferenceDate::now()));
        QVERIFY(!shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(document(u"x"_s), true, std::nullopt));
    }
};

QTEST_GUILESS_MAIN(tst_TesselSettingsSyncService)
#include "tst_TesselSettingsSyncService.moc"
