// Round trip of one project file read: new socket, hello, request, reply. Through
// ProjectFileService and through a bare QWebSocket doing the same, interleaved.

#include "BenchGateway.h"

#include "files/ProjectFileService.h"
#include "protocol/GatewayClientEnvelope.h"
#include "storage/MachineProfile.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWebSocket>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

constexpr int requests = 500;
constexpr int warmup = 50;

double bareRoundTripMs(const QUrl &url)
{
    QElapsedTimer clock;
    clock.start();
    runUntil([&](std::function<void()> done) {
        auto *socket = new QWebSocket;
        const QString hello = QString::fromUtf8(GatewayClientEnvelope::hello(benchToken).toJson());
        const QString read = QString::fromUtf8(GatewayClientEnvelope::readProjectFile({}, u"note.md"_s).toJson());
        QObject::connect(socket, &QWebSocket::connected, socket, [socket, hello] { socket->sendTextMessage(hello); });
        QObject::connect(socket, &QWebSocket::textMessageReceived, socket, [socket, read, done](const QString &text) {
            if (text.contains("\"hello_ok\""_L1)) {
                socket->sendTextMessage(read);
                return;
            }
            socket->close();
            socket->deleteLater();
            done();
        });
        socket->open(url);
    });
    return double(clock.nsecsElapsed()) / 1e6;
}

double serviceRoundTripMs(const MachineProfile &machine, const ProjectProfile &project, QObject *context)
{
    QElapsedTimer clock;
    clock.start();
    runUntil([&](std::function<void()> done) {
        ProjectFileService::readDocument(machine, project, u"note.md"_s, context,
                                         [done](const ProjectFileResult<ProjectFileDocumentSnapshot> &result) {
                                             if (!result.hasValue())
                                                 std::fprintf(stderr, "read failed: %s\n",
                                                              qPrintable(result.error().message()));
                                             done();
                                         });
    });
    return double(clock.nsecsElapsed()) / 1e6;
}

void print(const char *label, std::vector<double> &samples)
{
    const Percentiles figures = percentiles(samples);
    std::printf("%-28s median %.3f ms   p95 %.3f ms\n", label, figures.median, figures.p95);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    MachineProfile machine;
    machine.gatewayURL = gateway.url().toString();
    machine.gatewayToken = benchToken;
    const ProjectProfile project{QUuid::createUuid(), u"Bench"_s, u"/bench"_s};
    QObject context;

    for (int i = 0; i < warmup; ++i) {
        bareRoundTripMs(gateway.url());
        serviceRoundTripMs(machine, project, &context);
    }
    std::vector<double> bare;
    std::vector<double> service;
    for (int i = 0; i < requests; ++i) {
        bare.push_back(bareRoundTripMs(gateway.url()));
        service.push_back(serviceRoundTripMs(machine, project, &context));
    }
    std::printf("File round trip, %d requests each (open, hello, read, reply)\n", requests);
    print("bare QWebSocket", bare);
    print("ProjectFileService", service);
    const Percentiles bareFigures = percentiles(bare);
    const Percentiles serviceFigures = percentiles(service);
    std::printf("ratio                        median %.2fx (goal <= 1.2)   p95 %.2fx (goal <= 1.5)\n",
                serviceFigures.median / bareFigures.median, serviceFigures.p95 / bareFigures.p95);
    return 0;
}
