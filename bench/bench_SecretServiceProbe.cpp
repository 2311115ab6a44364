// How long the Secret Service probe takes to decide, for each way a Secret Service can be
// missing and for one that answers, --runs times (default 3). Each run has a private bus;
// the baseline is the probe's timeout.
#include "BenchSupport.h"

#include "storage/SecretServiceProbe.h"
#include "support/FakeSecretService.h"
#include "support/PrivateDBusDaemon.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSignalSpy>

#include <numeric>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;
using Behaviour = test::FakeSecretService::Behaviour;

namespace {

// How the bus of a case is set up: none at all, no provider, a provider that only starts
// when activated and never does, or the fake provider behaving as told.
enum class Setup { noBus, noProvider, activatableNeverStarts, provider };

// Milliseconds until the probe decided (30 s when it never did) on a fresh bus set up so.
double timeProbe(Setup setup, Behaviour behaviour, const QString &name)
{
    test::PrivateDBusDaemon daemon;
    test::FakeSecretService provider;
    provider.behaviour = behaviour;
    if (setup == Setup::activatableNeverStarts)
        daemon.addActivatableService(u"org.freedesktop.secrets"_s, u"/bin/sleep 3"_s);
    if (setup != Setup::noBus && !daemon.start())
        std::fprintf(stderr, "dbus-daemon: %s\n", qPrintable(daemon.error()));
    const QString address = setup == Setup::noBus ? u"unix:path=/nonexistent/bus"_s : daemon.address();
    if (setup == Setup::provider)
        provider.registerOn(QDBusConnection::connectToBus(address, name + u"-provider"_s));
    SecretServiceProbe probe(QDBusConnection::connectToBus(address, name + u"-probe"_s));
    QSignalSpy finished(&probe, &SecretServiceProbe::finished);
    QElapsedTimer timer;
    timer.start();
    probe.start();
    return finished.wait(30000) ? double(timer.nsecsElapsed()) / 1e6 : 30000;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = option(app.arguments(), "--runs", 3);
    const double timeout = double(SecretServiceProbe::defaultTimeout.count());
    printHeader(qPrintable(u"Secret Service probe, %1 runs per case; baseline: its timeout"_s.arg(runs)));
    for (const auto &[name, setup, behaviour] :
         {std::tuple("no session bus", Setup::noBus, Behaviour::answerCollection),
          std::tuple("no provider", Setup::noProvider, Behaviour::answerCollection),
          std::tuple("hanging provider", Setup::provider, Behaviour::neverAnswer),
          std::tuple("activatable provider that never starts", Setup::activatableNeverStarts,
                     Behaviour::answerCollection),
          std::tuple("no default collection", Setup::provider, Behaviour::answerNoCollection),
          std::tuple("available", Setup::provider, Behaviour::answerCollection)}) {
        std::vector<double> samples;
        for (int run = 0; run < runs; ++run)
            samples.push_back(
                timeProbe(setup, behaviour, u"%1-%2"_s.arg(QString::fromUtf8(name)).arg(run).replace(u' ', u'-')));
        printRow(qPrintable(u"%1, mean"_s.arg(QLatin1StringView(name))),
                 std::reduce(samples.begin(), samples.end()) / runs, timeout, "ms");
        printRow(qPrintable(u"%1, worst"_s.arg(QLatin1StringView(name))), percentile(samples, 1), timeout, "ms");
    }
    return 0;
}
