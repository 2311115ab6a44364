#include "protocol/UuidText.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceBackend.h"
#include "storage/SecretServiceProbe.h"
#include "support/DataRow.h"
#include "support/FakeSecretService.h"
#include "support/PrivateDBusDaemon.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;
using Provider = tessel::test::FakeSecretService::Behaviour;

namespace {

QDBusConnection connectTo(const QString &address)
{
    static int connections = 0;
    return QDBusConnection::connectToBus(address, u"secret-service-test-%1"_s.arg(++connections));
}

// One probe's verdict; `elapsed` gets the time it took.
SecretServiceAvailability probe(const QDBusConnection &bus, qint64 *elapsed = nullptr)
{
    SecretServiceProbe probe(bus);
    QSignalSpy finished(&probe, &SecretServiceProbe::finished);
    QElapsedTimer timer;
    timer.start();
    probe.start();
    [&] { QVERIFY(finished.wait(5000)); }();
    if (elapsed)
        *elapsed = timer.elapsed();
    return finished.size() == 1 ? finished.first().first().value<SecretServiceAvailability>()
                                : SecretServiceAvailability::providerError;
}

} // namespace

// The keyring tests use the real Secret Service of the session bus: scripts/with-keyring.sh
// starts gnome-keyring-daemon on a private bus for the whole run. The probe tests run
// stand-in providers on buses of their own.
class tst_SecretService : public QObject
{
    Q_OBJECT

    // A service name of this run only, so nothing else in the keyring is touched.
    const QString m_service = u"test.%1.TesselShell.gateway-token"_s.arg(uuidText(QUuid::createUuid()));
    const QUuid m_machine = QUuid::createUuid();
    const QString m_account = uuidText(m_machine);
    const QList<GatewaySecretStoreConfiguration> m_locations{{m_service, u"group"_s, true},
                                                             {m_service, u"group"_s, false},
                                                             {m_service, std::nullopt, true},
                                                             {m_service, std::nullopt, false}};

    std::optional<QString> read(int location) const
    {
        return SecretServiceBackend::readToken(m_account, m_locations[location]);
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY2(probe(QDBusConnection::sessionBus()) == SecretServiceAvailability::available,
                 "no Secret Service answers on the session bus: run the tests with scripts/with-keyring.sh, which "
                 "starts gnome-keyring-daemon on a private bus");
    }

    void cleanup()
    {
        for (const GatewaySecretStoreConfiguration &location : m_locations)
            SecretServiceBackend::removeToken(m_account, location);
    }

    // `maxMs` bounds how long the verdict may take; a hanging provider is waited for 1.5 s.
    void probeVerdicts_data()
    {
        QTest::addColumn<QString>("provider");
        QTest::addColumn<SecretServiceAvailability>("verdict");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        row("no session bus", "no bus", SecretServiceAvailability::noSessionBus, 0, 5000);
        row("no provider", "none", SecretServiceAvailability::noProvider, 0, 1000);
        row("hanging provider", "hangs", SecretServiceAvailability::providerNotResponding, 1400, 2500);
        // The bus would wait 25 s for the activated program to take its name.
        row("activatable, never starts", "activatable", SecretServiceAvailability::providerNotResponding, 0, 2500);
        row("no default collection", "no collection", SecretServiceAvailability::noDefaultCollection, 0, 5000);
        row("default collection", "collection", SecretServiceAvailability::available, 0, 5000);
    }
    void probeVerdicts()
    {
        QFETCH(QString, provider);
        QFETCH(SecretServiceAvailability, verdict);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        qint64 elapsed = 0;
        if (provider == "no bus"_L1) {
            QCOMPARE(probe(connectTo(u"unix:path=/nonexistent/tessel-bus"_s), &elapsed), verdict);
            return;
        }
        test::PrivateDBusDaemon daemon;
        if (provider == "activatable"_L1)
            QVERIFY(daemon.addActivatableService(u"org.freedesktop.secrets"_s, u"/bin/sleep 4"_s));
        QVERIFY2(daemon.start(), qPrintable(daemon.error()));
        test::FakeSecretService fake;
        const QMap<QString, Provider> behaviours{{u"hangs"_s, Provider::neverAnswer},
                                                 {u"no collection"_s, Provider::answerNoCollection},
                                                 {u"collection"_s, Provider::answerCollection}};
        if (behaviours.contains(provider)) {
            fake.behaviour = behaviours.value(provider);
            QVERIFY(fake.registerOn(connectTo(daemon.address())));
        }
        QCOMPARE(probe(connectTo(daemon.address()), &elapsed), verdict);
        QVERIFY2(elapsed >= minMs && elapsed < maxMs, qPrintable(QString::number(elapsed)));
    }

    void everyLocationIsADistinctItem()
    {
        for (int location = 0; location < 4; ++location)
            QVERIFY(SecretServiceBackend::upsertToken(u"token-%1 ✓"_s.arg(location), m_account, m_locations[location]));
        QVERIFY(SecretServiceBackend::upsertToken(u"updated"_s, m_account, m_locations[3]));
        for (int location = 0; location < 4; ++location)
            QCOMPARE(read(location), location == 3 ? u"updated"_s : u"token-%1 ✓"_s.arg(location));
        SecretServiceBackend::removeToken(m_account, m_locations[0]);
        QCOMPARE(read(0), std::nullopt);
        QCOMPARE(read(1), u"token-1 ✓"_s);
        // Bytes that are not UTF-8 read as absent.
        QVERIFY(SecretServiceBackend::storeBytes(QByteArray("\xc3\x28\xfe", 3), m_account, m_locations[0]));
        QCOMPARE(read(0), std::nullopt);
    }

    // The store's rules are tested in memory (tst_GatewayTokens); here, that they reach the keyring,
    // and that tokens a run without the keyring kept in the owner-only file move into it.
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
        QVERIFY(SecretServiceBackend::upsertToken(u"old"_s, m_account, m_locations[3]));
        const GatewaySecretStore first = run(SecretServiceAvailability::available);
        QCOMPARE(first.token(m_machine), u"old"_s);
        first.setToken(u" kept in keyring "_s, keyringMachine);
        QCOMPARE(read(3), std::nullopt);

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
        QCOMPARE(read(2), u"typed without keyring"_s);
        QCOMPARE(keyring.token(keyringMachine), u"kept in keyring"_s);
        keyring.setToken(QString(), keyringMachine);
        keyring.setToken(u" "_s, m_machine);
        QCOMPARE(read(2), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(tst_SecretService)
#include "tst_SecretService.moc"
