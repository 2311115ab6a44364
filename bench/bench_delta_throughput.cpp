// Receive throughput of streamed "assistant_delta" frames (about 120 bytes each): through
// GatewayWebSocketClient with strict envelope decoding, and through a bare QWebSocket that
// parses each frame with simdjson and reads its type. Two senders: the demo gateway (a
// separate process, the whole path end to end) and a feeder thread writing pre-encoded
// frames (so that the receiver is the limit). CPU time is the receiving thread's alone.

#include "BenchGateway.h"
#include "FrameFeeder.h"

#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QWebSocket>

#include <simdjson.h>

#include <cstdio>

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

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    const QList<QByteArray> payloads = floodStream(frames);
    std::printf("Delta stream, %d frames of %lld bytes per run\n", frames, qint64(payloads.first().size()));
    QList<Measurement> runs[4];
    for (int round = 1; round <= rounds; ++round) {
        std::printf("round %d, from the demo gateway (another process):\n", round);
        print("bare QWebSocket + simdjson (type only)", runs[0].emplaceBack(measureBare(gateway.url(), {true})));
        print("GatewayWebSocketClient (strict decode)", runs[1].emplaceBack(measureClient(gateway.url(), {true})));
        std::printf("round %d, from a pre-encoded feeder thread:\n", round);
        FrameFeeder bareFeeder(payloads);
        print("bare QWebSocket + simdjson (type only)", runs[2].emplaceBack(measureBare(bareFeeder.url(), {false})));
        FrameFeeder clientFeeder(payloads);
        print("GatewayWebSocketClient (strict decode)",
              runs[3].emplaceBack(measureClient(clientFeeder.url(), {false})));
    }
    std::printf("best of %d, from the demo gateway:\n", rounds);
    print("bare QWebSocket + simdjson (type only)", best(runs[0]));
    print("GatewayWebSocketClient (strict decode)", best(runs[1]));
    std::printf("best of %d, from the feeder:\n", rounds);
    print("bare QWebSocket + simdjson (type only)", best(runs[2]));
    print("GatewayWebSocketClient (strict decode)", best(runs[3]));
    return 0;
}
