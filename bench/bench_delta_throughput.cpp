// Receive throughput of streamed "assistant_delta" frames (about 120 bytes each): through
// GatewayWebSocketClient with strict envelope decoding, and through a Node `ws` client that
// JSON.parses each message (bench/node_ws_client.js; needs Debian's nodejs and node-ws).
// Two senders: the demo gateway (a separate process, the whole path end to end) and a
// feeder thread writing pre-encoded frames (so that the receiver is the limit). CPU time is
// the receiving thread's alone, and the whole Node process's for Node. Best of --rounds
// (default 3) runs of --frames (default 200,000) each: the machine is shared, so slower
// runs measure the neighbours.

#include "BenchGateway.h"

#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>

#include <optional>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

struct Measurement
{
    int deltas = 0;
    double seconds = 1e9;
    double cpuSeconds = 1e9;

    double kiloRate() const { return deltas > 0 ? deltas / seconds / 1000 : 0; }
    double cpuMicroseconds() const { return deltas > 0 ? cpuSeconds * 1e6 / deltas : 0; }
    void keepBest(const Measurement &run)
    {
        deltas = run.deltas;
        seconds = std::min(seconds, run.seconds);
        cpuSeconds = std::min(cpuSeconds, run.cpuSeconds);
    }
};

// Times the deltas from the first one to "assistant_complete".
Measurement measureClient(const QUrl &url, bool viaGateway, int frames)
{
    GatewayWebSocketClient client;
    Measurement result{0, 0, 0};
    QElapsedTimer clock;
    double cpuStart = 0;
    runUntil([&](std::function<void()> done) {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [&, done](const GatewayServerEnvelope &envelope) {
                             if (envelope.type == "assistant_delta"_L1 && result.deltas++ == 0) {
                                 clock.start();
                                 cpuStart = cpuSeconds();
                             } else if (envelope.type == "session_created"_L1) {
                                 (void)client.send(GatewayClientEnvelope::sendMessage(*envelope.sessionId,
                                                                                      u"flood %1"_s.arg(frames)));
                             } else if (envelope.type == "assistant_complete"_L1) {
                                 result.seconds = double(clock.nsecsElapsed()) / 1e9;
                                 result.cpuSeconds = cpuSeconds() - cpuStart;
                                 done();
                             }
                         });
        QObject::connect(&client, &GatewayWebSocketClient::receiveFailed, &client, [done](const GatewayClientError &e) {
            std::fprintf(stderr, "receive failed: %s\n", qPrintable(e.message()));
            done();
        });
        client.connectTo(url);
        if (viaGateway) { // it floods a new session once asked; the feeder needs nothing
            (void)client.send(GatewayClientEnvelope::hello(benchToken));
            (void)client.send(GatewayClientEnvelope::createSession(BackendKind::codex, u"/bench"_s, true));
        }
    });
    return result;
}

// What node printed, or nothing when it failed.
std::optional<QByteArray> runNode(const QStringList &arguments)
{
    QProcess node;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"NODE_PATH"_s, u"/usr/share/nodejs"_s); // Debian's node-* modules
    node.setProcessEnvironment(environment);
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start(u"node"_s, arguments);
    if (!node.waitForFinished(-1) || node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0)
        return std::nullopt;
    return node.readAllStandardOutput();
}

Measurement measureNode(const QUrl &url, bool viaGateway, int frames)
{
    QStringList arguments{QString::fromUtf8(TESSEL_NODE_WS_CLIENT), url.toString(), QString::number(frames)};
    if (viaGateway)
        arguments << benchToken;
    const QJsonObject figures = QJsonDocument::fromJson(runNode(arguments).value_or(QByteArray())).object();
    return {figures.value(u"deltas"_s).toInt(), figures.value(u"seconds"_s).toDouble(),
            figures.value(u"cpuSeconds"_s).toDouble()};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = option(app.arguments(), "--frames", 200'000), rounds = option(app.arguments(), "--rounds", 3);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    const bool withNode = runNode({u"-e"_s, u"require('ws')"_s}).has_value();
    if (!withNode)
        std::printf("No Node ws baseline: node cannot load the ws module. Install Debian's nodejs and node-ws\n"
                    "(scripts/setup-debian.sh does) to measure it beside our client.\n");
    const QList<QByteArray> payloads = floodStream(frames);
    Measurement client[2], node[2]; // [from the feeder]
    const auto measureBoth = [&](auto measure, Measurement(&best)[2]) {
        best[0].keepBest(measure(gateway.url(), true, frames));
        FrameFeeder feeder(payloads);
        best[1].keepBest(measure(feeder.url(), false, frames));
    };
    for (int round = 0; round < rounds; ++round) {
        measureBoth(measureClient, client);
        if (withNode)
            measureBoth(measureNode, node);
    }
    printHeader(
        qPrintable(u"Delta stream, %1 frames of %2 bytes, best of %3; baseline: Node ws + JSON.parse"_s.arg(frames)
                       .arg(payloads.first().size())
                       .arg(rounds)));
    for (bool feeding : {false, true}) {
        const char *from = feeding ? "from a feeder thread" : "from the demo gateway";
        printRow(qPrintable(u"client frames/s, %1"_s.arg(QLatin1StringView(from))), client[feeding].kiloRate(),
                 withNode ? node[feeding].kiloRate() : -1, "k/s", feeding ? "(goal >= 2.5)" : "");
        printRow(qPrintable(u"client CPU per frame, %1"_s.arg(QLatin1StringView(from))),
                 client[feeding].cpuMicroseconds(), withNode ? node[feeding].cpuMicroseconds() : -1, "us");
    }
    return 0;
}
