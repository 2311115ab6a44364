#include "protocol/UuidText.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceBackend.h"
#include "storage/SecretServiceProbe.h"

#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

// Runs against the real Secret Service of the session bus: scripts/test.sh starts a
// gnome-keyring-daemon on a private bus for the whole test run. Without one these tests fail.
class tst_SecretServiceBackend : public QObject
{
    Q_OBJECT

private:
    // A service name of this run only, so nothing else in the keyring is touched.
    const QString m_service = u"test.%1.TesselShell.gateway-token"_s.arg(uuidText(QUuid::createUuid()));
    const QUuid m_machine = QUuid::createUuid();
    const QString m_account = uuidText(m_machine);

    QList<GatewaySecretStoreConfiguration> allLocations() const
    {
        return {{m_service, u"group"_s, true},
                {m_service, u"group"_s, false},
                {m_service, std::nullopt, true},
                {m_service, std::nullopt, false}};
    }

private Q_SLOTS:
    void initTestCase()
    {
        SecretServiceProbe probe;
        QSignalSpy finished(&probe, &SecretServiceProbe::finished);
        probe.start();
        QVERIFY(finished.wait(5000));
        QVERIFY2(finished.first().first().value<SecretServiceAvailability>() == SecretServiceAvailability::available,
                 "no Secret Service answers on the session bus: run the tests with scripts/test.sh, which starts "
                 "gnome-keyring-daemon on a private bus");
    }

    void cleanup()
    {
        for (const GatewaySecretStoreConfiguration &location : allLocations())
            SecretServiceBackend::removeToken(m_account, location);
    }

    void storesReadsUpdatesAndDeletes()
    {
        const GatewaySecretStoreConfiguration location = allLocations().last();
        QCOMPARE(SecretServiceBackend::readToken(m_account, location), std::nullopt);
        QVERIFY(SecretServiceBackend::upsertToken(u"first"_s, m_account, location));
        QCOMPARE(SecretServiceBackend::readToken(m_account, location), u"first"_s);
        QVERIFY(SecretServiceBackend::upsertToken(u"second ✓"_s, m_account, location));
        QCOMPARE(SecretServiceBackend::readToken(m_account, location), u"second ✓"_s);
        SecretServiceBackend::removeToken(m_account, location);
        QCOMPARE(SecretServiceBackend::readToken(m_account, location), std::nullopt);
    }

    void everyLocationIsADistinctItem()
    {
        const QList<GatewaySecretStoreConfiguration> locations = allLocations();
        for (qsizetype index = 0; index < locations.size(); ++index)
            QVERIFY(SecretServiceBackend::upsertToken(u"token-%1"_s.arg(index), m_account, locations[index]));
        for (qsizetype index = 0; index < locations.size(); ++index)
            QCOMPARE(SecretServiceBackend::readToken(m_account, locations[index]), u"token-%1"_s.arg(index));

        SecretServiceBackend::removeToken(m_account, locations[0]);
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[0]), std::nullopt);
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[1]), u"token-1"_s);
        QCOMPARE(SecretServiceBackend::readToken(uuidText(QUuid::createUuid()), locations[1]), std::nullopt);
    }

    void bytesThatAreNotUtf8ReadAsAbsent()
    {
        const GatewaySecretStoreConfiguration location = allLocations().first();
        QVERIFY(SecretServiceBackend::storeBytes(QByteArray("\xc3\x28\xfe", 3), m_account, location));
        QCOMPARE(SecretServiceBackend::readToken(m_account, location), std::nullopt);
    }

    void secretStorePromotesAndTidiesUpInTheKeyring()
    {
        const QList<GatewaySecretStoreConfiguration> locations = allLocations();
        QVERIFY(SecretServiceBackend::upsertToken(u"old"_s, m_account, locations[3]));
        const GatewaySecretStore store(m_service, u"group"_s, true, std::nullopt, SecretServiceBackend::make());
        QCOMPARE(store.token(m_machine), u"old"_s);
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[0]), u"old"_s);
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[3]), std::nullopt);

        store.setToken(u"  new  "_s, m_machine);
        QCOMPARE(store.token(m_machine), u"new"_s);
        store.setToken(u" "_s, m_machine);
        for (const GatewaySecretStoreConfiguration &location : locations)
            QCOMPARE(SecretServiceBackend::readToken(m_account, location), std::nullopt);
    }

    void availableSecretServiceIsTheApplicationBackend()
    {
        const GatewaySecretStore store(
            m_service, std::nullopt, true, std::nullopt,
            applicationSecretBackend(SecretServiceAvailability::available, u"/nonexistent"_s));
        store.setToken(u"in keyring"_s, m_machine);
        QCOMPARE(SecretServiceBackend::readToken(m_account, allLocations()[2]), u"in keyring"_s);
    }
};

QTEST_GUILESS_MAIN(tst_SecretServiceBackend)
#include "tst_SecretServiceBackend.moc"
