#include "protocol/UuidText.h"
#include "storage/GatewaySecretStore.h"
#include "storage/TesselSharedSettingsIdentifiers.h"
#include "support/InMemorySecretBackend.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

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

private:
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
    }

    void legacyGroupIsReadButNeverWritten()
    {
        const GatewaySecretStore store(service, std::nullopt, true, u" old.group "_s, m_memory.backend());
        QVERIFY(!store.preferredWriteConfigurations().contains(location(u"old.group"_s, false)));
        QVERIFY(store.readConfigurations().contains(location(u"old.group"_s, true)));
        QVERIFY(store.readConfigurations().contains(location(u"old.group"_s, false)));

        m_memory.put(m_account, location(u"old.group"_s, false), "legacy");
        QCOMPARE(store.token(m_machine), u"legacy"_s);
        QCOMPARE(m_memory.locations(m_account), QList{location(std::nullopt, true)});
    }

    void blankConfiguredAccessGroupMeansNone()
    {
        QCOMPARE(TesselSharedSettingsIdentifiers::currentKeychainAccessGroup(u"   "_s), std::nullopt);
        QCOMPARE(TesselSharedSettingsIdentifiers::currentKeychainAccessGroup(u" g \n"_s), u"g"_s);
        QVERIFY(TesselSharedSettingsIdentifiers::gatewayTokenService().endsWith(u".TesselShell.gateway-token"_s));
    }

    void tokenInLeastLocationMovesToBestAndOtherCopiesGo()
    {
        m_memory.put(m_account, location(std::nullopt, false), "abc");
        m_memory.put(m_account, location(std::nullopt, true), "stale"); // read first, so it wins
        const GatewaySecretStore store = sharedStore();
        QCOMPARE(store.token(m_machine), u"stale"_s);
        QCOMPARE(m_memory.locations(m_account), QList{location(group, true)});
        QCOMPARE(m_memory.writeCount, 1);

        const int writes = m_memory.writeCount;
        QCOMPARE(store.token(m_machine), u"stale"_s);
        QCOMPARE(m_memory.writeCount, writes);
    }

    void tokenInBestLocationIsReturnedWithoutWriting()
    {
        m_memory.put(m_account, location(group, true), "best");
        m_memory.put(m_account, location(group, false), "older");
        m_memory.put(m_account, location(std::nullopt, false), "oldest");
        QCOMPARE(sharedStore().token(m_machine), u"best"_s);
        QCOMPARE(m_memory.writeCount, 0);
        QCOMPARE(m_memory.locations(m_account), QList{location(group, true)});
    }

    void promotionFallsBackToNextWritableLocation()
    {
        m_memory.refusingWrites = {location(group, true)};
        m_memory.put(m_account, location(std::nullopt, true), "t");
        QCOMPARE(sharedStore().token(m_machine), u"t"_s);
        QCOMPARE(m_memory.locations(m_account), QList{location(group, false)});
    }

    void failedPromotionRemovesNothing()
    {
        m_memory.refusingWrites = {location(group, true), location(group, false), location(std::nullopt, false)};
        m_memory.put(m_account, location(std::nullopt, true), "t");
        QCOMPARE(sharedStore().token(m_machine), u"t"_s);
        QCOMPARE(m_memory.locations(m_account), QList{location(std::nullopt, true)});
        QCOMPARE(m_memory.removeCount, 0);
    }

    void invalidUtf8CountsAsAbsentAndReadingGoesOn()
    {
        m_memory.put(m_account, location(group, true), QByteArray("\xc3\x28\xff", 3));
        QCOMPARE(sharedStore().token(m_machine), QString());
        m_memory.put(m_account, location(std::nullopt, false), "good");
        QCOMPARE(sharedStore().token(m_machine), u"good"_s);
        QCOMPARE(m_memory.item(m_account, location(group, true)), QByteArray("good"));
    }

    void settingStoresTrimmedTokenInBestLocationAndTidiesUp()
    {
        m_memory.put(m_account, location(std::nullopt, false), "old");
        sharedStore().setToken(u"  new token \n"_s, m_machine);
        QCOMPARE(m_memory.item(m_account, location(group, true)), QByteArray("new token"));
        QCOMPARE(m_memory.locations(m_account).size(), 1);
        QCOMPARE(sharedStore().token(m_machine), u"new token"_s);
    }

    void settingBlankTokenDeletesEveryLocation()
    {
        const GatewaySecretStore store = sharedStore();
        for (const GatewaySecretStoreConfiguration &place : store.readConfigurations())
            m_memory.put(m_account, place, "t");
        const QString otherAccount = uuidText(QUuid::createUuid());
        m_memory.put(otherAccount, location(group, true), "other");
        store.setToken(u" \n "_s, m_machine);
        QVERIFY(m_memory.locations(m_account).isEmpty());
        QCOMPARE(m_memory.writeCount, 0);
        QCOMPARE(m_memory.item(otherAccount, location(group, true)), QByteArray("other"));
    }

    void whenEveryWriteFailsTheOldTokenStays()
    {
        const GatewaySecretStore store = sharedStore();
        store.setToken(u"old"_s, m_machine);
        m_memory.refusingWrites = QSet<GatewaySecretStoreConfiguration>(store.preferredWriteConfigurations().cbegin(),
                                                                        store.preferredWriteConfigurations().cend());
        store.setToken(u"new"_s, m_machine);
        QCOMPARE(store.token(m_machine), u"old"_s);
    }

    void setTokenFallsBackToLocalLocationWhenSharedGroupRefuses()
    {
        m_memory.refusingWrites = {location(group, true), location(group, false)};
        m_memory.put(m_account, location(std::nullopt, true), "stale copy");
        sharedStore().setToken(u"t"_s, m_machine);
        QCOMPARE(m_memory.locations(m_account), QList{location(std::nullopt, false)});
    }
};

QTEST_GUILESS_MAIN(tst_GatewaySecretStore)
#include "tst_GatewaySecretStore.moc"
