// Round trip of one project file read: new socket, hello, request, reply. Through
// ProjectFileService and through a bare QWebSocket doing the same, interleaved; --requests
// (default 500) of each after 50 to warm up.

#include "BenchGateway.h"

#include "files/ProjectFileService.h"
#include "storage/MachineProfile.h"

#include <QCoreApplication>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

double bareRoundTripMs(const QUrl &url)
{
    return runUntil([&](std::function<void()> done) {
        auto *socket = new QWebSocket;
        QObject::connect(socket, &QWebSocket::connected, socket, [socket] {
            socket->sendTextMessage(QString::fromUtf8(GatewayClientEnvelope::hello(benchToken).toJson()));
        });
        QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [socket, done](const QString &text) {
            if (text.contains("\"hello_ok\""_L1)) {
                socket->sendTextMessage(
                    QString::fromUtf8(GatewayClientEnvelope::readProjectFile({}, u"note.md"_s).toJson()));
                return;
            }
            socket->close();
            socket->deleteLater();
            done();
        });
        socket->open(url);
    });
}

double serviceRoundTripMs(const MachineProfile &machine, const ProjectProfile &project, QObject *context)
{
    return runUntil([&](std::function<void()> done) {
        ProjectFileService::readDocument(machine, project, u"note.md"_s, context, [done](const auto &result) {
            if (!result.hasValue())
                std::fprintf(stderr, "read failed: %s\n", qPrintable(result.error().message()));
            done();
        });
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int requests = option(app.arguments(), "--requests", 500);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    MachineProfile machine;
    machine.gatewayURL = gateway.url().toString();
    machine.gatewayToken = benchToken;
    const ProjectProfile project{QUuid::createUuid(), u"Bench"_s, u"/bench"_s};
    QObject context;
    std::vector<double> bare, service;
    for (int i = -50; i < requests; ++i) {
        const double bareMs = bareRoundTripMs(gateway.url()),
                     serviceMs = serviceRoundTripMs(machine, project, &context);
        if (i >= 0) { // after 50 to warm up
            bare.push_back(bareMs);
            service.push_back(serviceMs);
        }
    }
    printHeader(qPrintable(
        u"File round trip, %1 requests each (open, hello, read, reply); baseline: bare QWebSocket"_s.arg(requests)));
    printRow("ProjectFileService, median", percentile(service, 0.5), percentile(bare, 0.5), "ms", "(goal <= 1.2)");
    return 0;
}
