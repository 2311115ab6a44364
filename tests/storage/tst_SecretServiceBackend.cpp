#include "protocol/UuidText.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceBackend.h"
#include "storage/SecretServiceProbe.h"

#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
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

    void everyLocationIsADistinctItemUpdatedInPlace()
    {
        const QList<GatewaySecretStoreConfiguration> locations = allLocations();
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[1]), std::nullopt);
        for (qsizetype index = 0; index < locations.size(); ++index)
            QVERIFY(SecretServiceBackend::upsertToken(u"token-%1"_s.arg(index), m_account, locations[index]));
        QVERIFY(SecretServiceBackend::upsertToken(u"second ✓"_s, m_account, locations[1]));
        for (qsizetype index = 0; index < locations.size(); ++index)
            QCOMPARE(SecretServiceBackend::readToken(m_account, locations[index]),
                     index == 1 ? u"second ✓"_s : u"token-%1"_s.arg(index));

        SecretServiceBackend::removeToken(m_account, locations[0]);
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[0]), std::nullopt);
        QCOMPARE(SecretServiceBackend::readToken(m_account, locations[1]), u"second ✓"_s);
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

    void fallbackRunsTokensMoveIntoTheKeyringOnTheNextRun()
    {
        QTemporaryDir dir;
        const FallbackTokenFiles files{dir.filePath(u"state/secrets/gateway-tokens.json"_s),
                                       dir.filePath(u"data/secrets/gateway-tokens.json"_s)};
        const auto run = [this, &files](SecretServiceAvailability availability) {
            return GatewaySecretStore(m_service, std::nullopt, true, std::nullopt,
                                      applicationSecretBackend(availability, files));
        };
        const QUuid keyringMachine = QUuid::createUuid();
        run(SecretServiceAvailability::available).setToken(u"kept in keyring"_s, keyringMachine);

        // A run without the keyring keeps its tokens in the file and leaves the keyring's alone.
        const QRegularExpression notice(u"^Gateway tokens are kept in .*state/secrets/"_s);
        QTest::ignoreMessage(QtWarningMsg, notice);
        QTest::failOnWarning(notice);
        const GatewaySecretStore fallback = run(SecretServiceAvailability::noProvider);
        QCOMPARE(fallback.token(keyringMachine), QString());
        fallback.setToken(u"typed without keyring"_s, m_machine);
        QVERIFY(QFileInfo::exists(files.current));

        // The next run with the keyring finds both there, and no file is left.
        const GatewaySecretStore keyring = run(SecretServiceAvailability::available);
        QVERIFY(!QFileInfo::exists(files.current));
        QCOMPARE(SecretServiceBackend::readToken(m_account, allLocations()[2]), u"typed without keyring"_s);
        QCOMPARE(keyring.token(m_machine), u"typed without keyring"_s);
        QCOMPARE(keyring.token(keyringMachine), u"kept in keyring"_s);
        keyring.setToken(QString(), keyringMachine);
    }
};

QTEST_GUILESS_MAIN(tst_SecretServiceBackend)
#include "tst_SecretServiceBackend.moc"
