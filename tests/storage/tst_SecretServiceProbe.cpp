#include "storage/SecretServiceProbe.h"
#include "support/FakeSecretService.h"
#include "support/PrivateDBusDaemon.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using namespace tessel;

class tst_SecretServiceProbe : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<test::PrivateDBusDaemon> m_daemon;
    test::FakeSecretService m_provider;
    int m_connectionCount = 0;

    QDBusConnection connectToPrivateBus()
    {
        return QDBusConnection::connectToBus(m_daemon->address(), u"probe-test-%1"_s.arg(++m_connectionCount));
    }

    void registerProvider(test::FakeSecretService::Behaviour behaviour)
    {
        m_provider.behaviour = behaviour;
        QVERIFY(m_provider.registerOn(connectToPrivateBus()));
    }

    // Runs one probe over the private bus and returns its verdict; `elapsed` gets the time taken.
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
        qInfo("probe decided in %lld ms", timer.elapsed());
        if (finished.size() != 1)
            return SecretServiceAvailability::providerError;
        return finished.first().first().value<SecretServiceAvailability>();
    }

private Q_SLOTS:
    void init() { m_daemon = std::make_unique<test::PrivateDBusDaemon>(); }

    void cleanup() { m_daemon.reset(); }

    void withoutSessionBusDecidesAtOnce()
    {
        const QDBusConnection noBus =
            QDBusConnection::connectToBus(u"unix:path=/nonexistent/tessel-bus"_s, u"no-bus"_s);
        QCOMPARE(probe(noBus), SecretServiceAvailability::noSessionBus);
    }

    void withoutProviderDecidesAtOnce()
    {
        QVERIFY2(m_daemon->start(), qPrintable(m_daemon->error()));
        qint64 elapsed = 0;
        QCOMPARE(probe(connectToPrivateBus(), &elapsed), SecretServiceAvailability::noProvider);
        QVERIFY(elapsed < 1000);
    }

    void hangingProviderIsGivenUpAfterTheTimeout()
    {
        QVERIFY2(m_daemon->start(), qPrintable(m_daemon->error()));
        registerProvider(test::FakeSecretService::Behaviour::neverAnswer);
        qint64 elapsed = 0;
        QCOMPARE(probe(connectToPrivateBus(), &elapsed), SecretServiceAvailability::providerNotResponding);
        QVERIFY2(elapsed >= 1400 && elapsed < 2500, qPrintable(QString::number(elapsed)));
    }

    void activatableProviderThatNeverStartsIsGivenUp()
    {
        // The bus would wait 25 s for the activated program to take its name.
        QVERIFY(m_daemon->addActivatableService(u"org.freedesktop.secrets"_s, u"/bin/sleep 4"_s));
        QVERIFY2(m_daemon->start(), qPrintable(m_daemon->error()));
        qint64 elapsed = 0;
        QCOMPARE(probe(connectToPrivateBus(), &elapsed), SecretServiceAvailability::providerNotResponding);
        QVERIFY2(elapsed < 2500, qPrintable(QString::number(elapsed)));
    }

    void providerWithoutDefaultCollectionIsUnavailable()
    {
        QVERIFY2(m_daemon->start(), qPrintable(m_daemon->error()));
        registerProvider(test::FakeSecretService::Behaviour::answerNoCollection);
        QCOMPARE(probe(connectToPrivateBus()), SecretServiceAvailability::noDefaultCollection);
    }

    void providerWithDefaultCollectionIsAvailable()
    {
        QVERIFY2(m_daemon->start(), qPrintable(m_daemon->error()));
        registerProvider(test::FakeSecretService::Behaviour::answerCollection);
        QCOMPARE(probe(connectToPrivateBus()), SecretServiceAvailability::available);
    }
};

QTEST_GUILESS_MAIN(tst_SecretServiceProbe)
#include "tst_SecretServiceProbe.moc"
