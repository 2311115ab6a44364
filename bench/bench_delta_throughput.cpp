// Receive throughput of streamed "assistant_delta" frames (about 120 bytes each): through
// GatewayWebSocketClient with strict envelope decoding, through a bare QWebSocket that
// parses each frame with simdjson and reads its type, and through a Node `ws` client that
// JSON.parses each message (bench/node_ws_client.js; needs Debian's nodejs and node-ws).
// Two senders: the demo gateway (a separate process, the whole path end to end) and a
// feeder thread writing pre-encoded frames (so that the receiver is the limit). CPU time is
// the receiving thread's alone, and the whole Node process's for Node.

#include "BenchGateway.h"
#include "FrameFeeder.h"

#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QWebSocket>

#include <simdjson.h>

#include <cstdio>
#include <optional>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

constexpr int frames = 200'000;

struct Measurement
{
    int deltas = 0;
    double seconds = 0;
    double cpuSeconds = 0;
};

// Times deltas from the first one to "assistant_complete".
class StreamMeter
{
public:
    void delta()
    {
        if (m_result.deltas++ == 0) {
            m_clock.start();
            m_cpuStart = threadCpuSeconds();
        }
    }
    Measurement complete()
    {
        m_result.seconds = double(m_clock.nsecsElapsed()) / 1e9;
        m_result.cpuSeconds = threadCpuSeconds() - m_cpuStart;
        return m_result;
    }

private:
    Measurement m_result;
    QElapsedTimer m_clock;
    double m_cpuStart = 0;
};

// What the receiver does once the socket is open: the gateway needs a hello and a session
// before it floods; the feeder needs nothing.
struct Opening
{
    bool viaGateway = false;
};

Measurement measureBare(const QUrl &url, Opening opening)
{
    Measurement result;
    QWebSocket socket;
    simdjson::dom::parser parser;
    StreamMeter meter;
    runUntil([&](std::function<void()> done) {
        QObject::connect(&socket, &QWebSocket::connected, &socket, [&] {
            if (!opening.viaGateway)
                return;
            socket.sendTextMessage(QString::fromUtf8(GatewayClientEnvelope::hello(benchToken).toJson()));
            socket.sendTextMessage(
                QString::fromUtf8(GatewayClientEnvelope::createSession(BackendKind::codex, u"/bare"_s, true).toJson()));
        });
        QObject::connect(&socket, &QWebSocket::textMessageReceived, &socket, [&, done](const QString &text) {
            const QByteArray utf8 = text.toUtf8();
            simdjson::dom::element root;
            std::string_view type;
            if (parser.parse(utf8.constData(), std::size_t(utf8.size())).get(root) != simdjson::SUCCESS ||
                root["type"].get_string().get(type) != simdjson::SUCCESS)
                return;
            if (type == "assistant_delta") {
                meter.delta();
            } else if (type == "session_created") {
                const std::string_view id = root["sessionId"].get_string().value_unsafe();
                const auto flood = GatewayClientEnvelope::sendMessage(
                    QString::fromUtf8(id.data(), qsizetype(id.size())), u"flood %1"_s.arg(frames));
                socket.sendTextMessage(QString::fromUtf8(flood.toJson()));
            } else if (type == "assistant_complete") {
                result = meter.complete();
                socket.close();
                done();
            }
        });
        socket.open(url);
    });
    return result;
}

Measurement measureClient(const QUrl &url, Opening opening)
{
    Measurement result;
    GatewayWebSocketClient client;
    StreamMeter meter;
    runUntil([&](std::function<void()> done) {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [&, done](const GatewayServerEnvelope &envelope) {
                             if (envelope.type == "assistant_delta"_L1) {
                                 meter.delta();
                             } else if (envelope.type == "session_created"_L1) {
                                 (void)client.send(GatewayClientEnvelope::sendMessage(*envelope.sessionId,
                                                                                      u"flood %1"_s.arg(frames)));
                             } else if (envelope.type == "assistant_complete"_L1) {
                                 result = meter.complete();
                                 client.disconnect();
                                 done();
                             }
                         });
        QObject::connect(&client, &GatewayWebSocketClient::receiveFailed, &client, [done](const GatewayClientError &e) {
            std::fprintf(stderr, "receive failed: %s\n", qPrintable(e.message()));
            done();
        });
        client.connectTo(url);
        if (opening.viaGateway) {
            (void)client.send(GatewayClientEnvelope::hello(benchToken));
            (void)client.send(GatewayClientEnvelope::createSession(BackendKind::codex, u"/client"_s, true));
        }
    });
    return result;
}

QProcessEnvironment nodeEnvironment()
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // Where Debian's node-* packages put their modules.
    environment.insert(u"NODE_PATH"_s, u"/usr/share/nodejs"_s);
    return environment;
}

// Runs node with `arguments` and returns what it printed, or nothing when it failed.
std::optional<QByteArray> runNode(const QStringList &arguments)
{
    QProcess node;
    node.setProcessEnvironment(nodeEnvironment());
    node.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    runUntil([&](std::function<void()> done) {
        QObject::connect(&node, &QProcess::finished, &node, done);
        QObject::connect(&node, &QProcess::errorOccurred, &node, [done](QProcess::ProcessError error) {
            if (error == QProcess::FailedToStart)
                done();
        });
        node.start(u"node"_s, arguments);
    });
    if (node.exitStatus() != QProcess::NormalExit || node.exitCode() != 0)
        return std::nullopt;
    return node.readAllStandardOutput();
}

bool nodeWsAvailable()
{
    return runNode({u"-e"_s, u"require('ws')"_s}).has_value();
}

// The Node `ws` client on the same sender; zero deltas when it failed.
Measurement measureNode(const QUrl &url, Opening opening)
{
    QStringList arguments{QString::fromUtf8(TESSEL_NODE_WS_CLIENT), url.toString(), QString::number(frames)};
    if (opening.viaGateway)
        arguments << benchToken;
    const auto output = runNode(arguments);
    const QJsonObject figures = QJsonDocument::fromJson(output.value_or(QByteArray())).object();
    return {figures.value(u"deltas"_s).toInt(), figures.value(u"seconds"_s).toDouble(),
            figures.value(u"cpuSeconds"_s).toDouble()};
}

double rate(const Measurement &m)
{
    return m.deltas > 0 ? double(m.deltas) / m.seconds : 0;
}

void print(const char *label, const Measurement &m)
{
    std::printf("  %-40s %7d frames  %9.0f frames/s  %.3f us CPU/frame\n", label, m.deltas,
                double(m.deltas) / m.seconds, m.cpuSeconds * 1e6 / m.deltas);
}

// The best of several runs: the machine is shared, so slower runs measure the neighbours.
Measurement best(const QList<Measurement> &runs)
{
    Measurement result = runs.first();
    for (const Measurement &run : runs) {
        result.seconds = std::min(result.seconds, run.seconds);
        result.cpuSeconds = std::min(result.cpuSeconds, run.cpuSeconds);
    }
    return result;
}

constexpr int rounds = 3;

// The receivers, in the order each round runs them against a sender.
struct Receiver
{
    const char *label;
    Measurement (*measure)(const QUrl &, Opening);
};
constexpr Receiver receivers[] = {
    {"bare QWebSocket + simdjson (type only)", measureBare},
    {"Node ws + JSON.parse", measureNode},
    {"GatewayWebSocketClient (strict decode)", measureClient},
};
constexpr int bareIndex = 0, nodeIndex = 1, clientIndex = 2;

void printSummary(const char *sender, const QList<Measurement> (&runs)[3], bool withNode)
{
    std::printf("best of %d, from %s:\n", rounds, sender);
    Measurement results[3];
    for (int index = 0; index < 3; ++index) {
        if (index == nodeIndex && !withNode)
            continue;
        results[index] = best(runs[index]);
        print(receivers[index].label, results[index]);
    }
    const double client = rate(results[clientIndex]);
    std::printf("  client / bare QWebSocket %.2f x\n", client / rate(results[bareIndex]));
    if (withNode)
        std::printf("  client / Node ws         %.2f x (goal >= 2.5 from the feeder)\n",
                    client / rate(results[nodeIndex]));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    const bool withNode = nodeWsAvailable();
    if (!withNode)
        std::printf("No Node ws baseline: node cannot load the ws module. Install Debian's nodejs and node-ws\n"
                    "(scripts/setup-debian.sh does) to measure it beside our client.\n");
    const QList<QByteArray> payloads = floodStream(frames);
    std::printf("Delta stream, %d frames of %lld bytes per run\n", frames, qint64(payloads.first().size()));
    QList<Measurement> fromGateway[3], fromFeeder[3];
    for (int round = 1; round <= rounds; ++round) {
        for (int index = 0; index < 3; ++index) {
            if (index == nodeIndex && !withNode)
                continue;
            std::printf("round %d, %s\n", round, receivers[index].label);
            print("from the demo gateway (another process)",
                  fromGateway[index].emplaceBack(receivers[index].measure(gateway.url(), {true})));
            FrameFeeder feeder(payloads);
            print("from a pre-encoded feeder thread",
                  fromFeeder[index].emplaceBack(receivers[index].measure(feeder.url(), {false})));
        }
    }
    printSummary("the demo gateway", fromGateway, withNode);
    printSummary("the feeder", fromFeeder, withNode);
    return 0;
}
