// How long the Secret Service probe takes to decide, for each way a Secret Service can be
// missing and for one that answers. Each case runs on its own private bus.
#include "storage/SecretServiceProbe.h"
#include "support/FakeSecretService.h"
#include "support/PrivateDBusDaemon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <cstdio>
#include <functional>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int runs = 3;

// Milliseconds until the probe over `bus` decided, or -1 when it never did.
qint64 timeProbe(const QDBusConnection &bus)
{
    SecretServiceProbe probe(bus);
    QSignalSpy finished(&probe, &SecretServiceProbe::finished);
    QElapsedTimer timer;
    timer.start();
    probe.start();
    return finished.wait(30000) ? timer.elapsed() : -1;
}

// Runs one case `runs` times, each on a fresh bus prepared by `prepare`.
void measure(const char *name, const std::function<QDBusConnection(test::PrivateDBusDaemon &, int run)> &prepare)
{
    qint64 worst = 0;
    qint64 total = 0;
    for (int run = 0; run < runs; ++run) {
        test::PrivateDBusDaemon daemon;
        const qint64 elapsed = timeProbe(prepare(daemon, run));
        worst = std::max(worst, elapsed < 0 ? 30000 : elapsed);
        total += elapsed;
    }
    std::printf("%-40s mean %6.0f ms   worst %6lld ms\n", name, double(total) / runs, worst);
}

QDBusConnection startedBus(test::PrivateDBusDaemon &daemon, const QString &name)
{
    if (!daemon.start())
        std::fprintf(stderr, "dbus-daemon: %s\n", qPrintable(daemon.error()));
    return QDBusConnection::connectToBus(daemon.address(), name);
}

std::function<QDBusConnection(test::PrivateDBusDaemon &, int)>
withProvider(test::FakeSecretService &provider, test::FakeSecretService::Behaviour behaviour, const QString &caseName)
{
    return [&provider, behaviour, caseName](test::PrivateDBusDaemon &daemon, int run) {
        provider.behaviour = behaviour;
        const QDBusConnection bus = startedBus(daemon, caseName + u"-probe-%1"_s.arg(run));
        provider.registerOn(QDBusConnection::connectToBus(daemon.address(), caseName + u"-provider-%1"_s.arg(run)));
        return bus;
    };
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    test::FakeSecretService provider;
    std::printf("Secret Service probe, timeout %lld ms, %d runs per case\n",
                qint64(SecretServiceProbe::defaultTimeout.count()), runs);
    measure("no session bus", [](test::PrivateDBusDaemon &, int run) {
        return QDBusConnection::connectToBus(u"unix:path=/nonexistent/bus"_s, u"none-%1"_s.arg(run));
    });
    measure("no provider",
            [](test::PrivateDBusDaemon &daemon, int run) { return startedBus(daemon, u"missing-%1"_s.arg(run)); });
    measure("hanging provider", withProvider(provider, test::FakeSecretService::Behaviour::neverAnswer, u"hanging"_s));
    measure("activatable provider that never starts", [](test::PrivateDBusDaemon &daemon, int run) {
        daemon.addActivatableService(u"org.freedesktop.secrets"_s, u"/bin/sleep 3"_s);
        return startedBus(daemon, u"activatable-%1"_s.arg(run));
    });
    measure("no default collection",
            withProvider(provider, test::FakeSecretService::Behaviour::answerNoCollection, u"nodefault"_s));
    measure("available", withProvider(provider, test::FakeSecretService::Behaviour::answerCollection, u"ok"_s));
    return 0;
}
