// Receive throughput of streamed "assistant_delta" frames (about 120 bytes each) from a
// feeder thread writing pre-encoded frames, so that the receiver is the limit: through
// GatewayWebSocketClient with strict envelope decoding, and through a Node `ws` client that
// JSON.parses each message (bench/node_ws_client.js; needs Debian's nodejs and node-ws).
// Timed from the first delta to "assistant_complete". Best of --rounds (default 3) runs of
// --frames (default 200,000): the machine is shared, so slower runs measure the neighbours.

#include "BenchGateway.h"

#include "connection/GatewayWebSocketClient.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

// Seconds for the whole stream through our client.
double clientSeconds(const QUrl &url)
{
    GatewayWebSocketClient client;
    QElapsedTimer clock;
    double seconds = 0;
    runUntil([&](std::function<void()> done) {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [&, done](const GatewayServerEnvelope &envelope) {
                             if (!clock.isValid())
                                 clock.start();
                             else if (envelope.type == "assistant_complete"_L1)
                                 seconds = double(clock.nsecsElapsed()) / 1e9, done();
                         });
        QObject::connect(&client, &GatewayWebSocketClient::receiveFailed, &client, [done](const GatewayClientError &e) {
            std::fprintf(stderr, "receive failed: %s\n", qPrintable(e.message()));
            done();
        });
        client.connectTo(url);
    });
    return seconds;
}

// Seconds for the whole stream through Node's `ws`, or -1 when node or ws is missing.
double nodeSeconds(const QUrl &url)
{
    QProcess node;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(u"NODE_PATH"_s, u"/usr/share/nodejs"_s); // Debian's node-* modules
    node.setProcessEnvironment(environment);
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    node.start(u"node"_s, {QString::fromUtf8(TESSEL_NODE_WS_CLIENT), url.toString()});
    const bool ran = node.waitForFinished(-1) && node.exitStatus() == QProcess::NormalExit && node.exitCode() == 0;
    return ran ? node.readAllStandardOutput().trimmed().toDouble() : -1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = option(app.arguments(), "--frames", 200'000), rounds = option(app.arguments(), "--rounds", 3);
    const QList<QByteArray> payloads = floodStream(frames);
    double client = 1e9, node = 1e9;
    for (int round = 0; round < rounds; ++round) {
        client = std::min(client, clientSeconds(FrameFeeder(payloads).url()));
        node = std::min(node, nodeSeconds(FrameFeeder(payloads).url()));
    }
    if (node < 0)
        std::printf("No Node ws baseline: install Debian's nodejs and node-ws (scripts/setup-debian.sh does).\n");
    printHeader(qPrintable(u"Delta stream from a feeder thread, %1 frames of %2 bytes, best of %3; baseline: %4"_s
                               .arg(frames).arg(payloads.first().size()).arg(rounds).arg(u"Node ws + JSON.parse"_s)));
    printRow("client frames/s", frames / client / 1000, node < 0 ? -1 : frames / node / 1000, "k/s", "(goal >= 2.5)");
    return 0;
}
