#include "protocol/UuidText.h"
#include "storage/GatewaySecretStore.h"
#include "storage/TesselSharedSettingsIdentifiers.h"
#include "support/DataRow.h"
#include "support/InMemorySecretBackend.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;

namespace {

const QString service = u"test.TesselShell.gateway-token"_s;
const QString group = u"TEAM.shared"_s;

GatewaySecretStoreConfiguration location(std::optional<QString> accessGroup, bool synchronizable)
{
    return {service, std::move(accessGroup), synchronizable};
}

} // namespace

class tst_GatewaySecretStore : public QObject
{
    Q_OBJECT

    test::InMemorySecretBackend m_memory;
    const QUuid m_machine = QUuid::createUuid();
    const QString m_account = uuidText(m_machine);

    GatewaySecretStore sharedStore() { return {service, group, true, std::nullopt, m_memory.backend()}; }

private Q_SLOTS:
    void init() { m_memory = {}; }

    void buildsOrderedDeduplicatedLocationLists()
    {
        const GatewaySecretStore shared = sharedStore();
        QCOMPARE(shared.preferredWriteConfigurations(),
                 (QList{location(group, true), location(group, false), location(std::nullopt, false)}));
        QCOMPARE(shared.readConfigurations(),
                 (QList{location(group, true), location(group, false), location(std::nullopt, true),
                        location(std::nullopt, false)}));
        QVERIFY(shared.isUsingSharedAccessGroup());

        const GatewaySecretStore local(service, u" \n\t"_s, true, std::nullopt, m_memory.backend());
        const QList expected{location(std::nullopt, true), location(std::nullopt, false)};
        QCOMPARE(local.preferredWriteConfigurations(), expected);
        QCOMPARE(local.readConfigurations(), expected);
        QVERIFY(!local.isUsingSharedAccessGroup());

        const GatewaySecretStore trimmed(service, u"  TEAM.shared \n"_s, true, std::nullopt, m_memory.backend());
        QCOMPARE(trimmed.preferredWriteConfigurations().first(), location(group, true));
        QCOMPARE(TesselSharedSettingsIdentifiers::currentKeychainAccessGroup(u"   "_s), std::nullopt);
        QCOMPARE(TesselSharedSettingsIdentifiers::currentKeychainAccessGroup(u" g \n"_s), u"g"_s);
        // Stored items are found by this name; changing it would lose every saved token.
        QVERIFY(TesselSharedSettingsIdentifiers::gatewayTokenService().endsWith(u".TesselShell.gateway-token"_s));
    }

    void legacyGroupIsReadButNeverWritten()
    {
        const GatewaySecretStore store(service, std::nullopt, true, u" old.group "_s, m_memory.backend());
        QVERIFY(!store.preferredWriteConfigurations().contains(location(u"old.group"_s, false)));
        QVERIFY(store.readConfigurations().contains(location(u"old.group"_s, true)));
        m_memory.put(m_account, location(u"old.group"_s, false), "legacy");
        QCOMPARE(store.token(m_machine), u"legacy"_s);
        QCOMPARE(m_memory.locations(m_account), QList{location(std::nullopt, true)});
    }

    // Locations are numbered in reading order: 0 group and synchronizable, 1 group, 2 no group
    // and synchronizable, 3 no group. Items read "number=token", comma-separated; "bad" is not UTF-8.
    void tokenRules_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("refusing");
        QTest::addColumn<QString>("set"); // "-" only reads
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("remaining");
        QTest::addColumn<int>("writes");
        row("lesser copies move to the best place", "3=abc,2=stale", "", "-", "stale", "0=stale", 1);
        row("best place is read without writing", "0=best,1=older,3=oldest", "", "-", "best", "0=best", 0);
        row("promotion falls back", "2=t", "0", "-", "t", "1=t", 1);
        row("failed promotion removes nothing", "2=t", "0,1,3", "-", "t", "2=t", 0);
        row("invalid UTF-8 is absent", "0=bad", "", "-", "", "0=bad", 0);
        row("invalid UTF-8 is passed over", "0=bad,3=good", "", "-", "good", "0=good", 1);
        row("set stores trimmed and tidies up", "3=old", "", "  new token \n", "new token", "0=new token", 1);
        row("set blank deletes everywhere", "0=t,1=t,2=t,3=t", "", " \n ", "", "", 0);
        row("set falls back to no group", "2=stale", "0,1", "t", "t", "3=t", 1);
        row("set failing everywhere keeps the old token", "0=old", "0,1,3", "new", "old", "0=old", 0);
    }
    void tokenRules()
    {
        QFETCH(QString, stored);
        QFETCH(QString, refusing);
        QFETCH(QString, set);
        QFETCH(QString, token);
        QFETCH(QString, remaining);
        QFETCH(int, writes);
        const QByteArray bad("\xc3\x28\xff", 3);
        const GatewaySecretStore store = sharedStore();
        const auto places = store.readConfigurations();
        const QString other = uuidText(QUuid::createUuid());
        m_memory.put(other, places[0], "other");
        for (const QString &item : stored.split(u',', Qt::SkipEmptyParts))
            m_memory.put(m_account, places[item.left(1).toInt()], item.mid(2) == "bad"_L1 ? bad : item.mid(2).toUtf8());
        for (const QString &place : refusing.split(u',', Qt::SkipEmptyParts))
            m_memory.refusingWrites.insert(places[place.toInt()]);

        if (set != "-"_L1)
            store.setToken(set, m_machine);
        QCOMPARE(store.token(m_machine), token);
        QCOMPARE(store.token(m_machine), token); // settled: the second read moves nothing
        QCOMPARE(m_memory.writeCount, writes);
        QStringList items;
        for (int place = 0; place < places.size(); ++place) {
            if (const auto bytes = m_memory.item(m_account, places[place]))
                items << QString::number(place) + u'=' + (*bytes == bad ? u"bad"_s : QString::fromUtf8(*bytes));
        }
        QCOMPARE(items.join(u','), remaining);
        QCOMPARE(m_memory.item(other, places[0]), "other"_ba);
    }
};

QTEST_GUILESS_MAIN(tst_GatewaySecretStore)
#include "tst_GatewaySecretStore.moc"
