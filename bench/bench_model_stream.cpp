// Streams 200,000 "assistant_delta" frames through the whole model: socket, strict decoding,
// dispatch and the merge into one transcript item with its change notification. Two
// senders: tessel-demo-gateway's flood mode (the real path; the gateway process is the
// slower side) and a feeder thread writing pre-encoded frames (so that the model is the
// limit). Printed beside a bare QWebSocket that only parses each frame's type.

#include "BenchGateway.h"
#include "FrameFeeder.h"

#include "support/ModelHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

constexpr int frames = 200'000;

struct Measurement
{
    double seconds = 0;
    double cpuSeconds = 0;
};

// Connects a fresh model to `url` and times the stream from its first delta until the
// reply item stops streaming. `startFlood` sends the message that starts the stream.
Measurement measureModel(const QUrl &url, const QString &token, bool startFlood)
{
    test::ModelHarness harness;
    auto &model = harness.start();
    model.updateSelectedGatewayURL(url.toString());
    model.updateSelectedGatewayToken(token);
    model.updateSelectedProjectDirectory(u"/bench"_s);
    Measurement result;
    QElapsedTimer clock;
    double cpuStart = 0;
    runUntil([&](std::function<void()> done) {
        TranscriptListModel *transcript = model.transcript();
        QObject::connect(transcript, &QAbstractItemModel::rowsInserted, transcript, [&, transcript] {
            const DesktopTranscriptItem &item = transcript->items().last();
            if (item.role == DesktopTranscriptRole::assistant && !clock.isValid()) {
                clock.start();
                cpuStart = threadCpuSeconds();
            }
        });
        QObject::connect(transcript, &QAbstractItemModel::dataChanged, transcript, [&, transcript, done] {
            const DesktopTranscriptItem &item = transcript->items().last();
            if (item.role == DesktopTranscriptRole::assistant && !item.isStreaming) {
                result.seconds = double(clock.nsecsElapsed()) / 1e9;
                result.cpuSeconds = threadCpuSeconds() - cpuStart;
                done();
            }
        });
        QObject::connect(&model, &TesselDesktopPOCModel::currentSessionIDChanged, &model, [&] {
            if (startFlood && model.currentSessionID()) {
                model.setComposerText(u"flood %1"_s.arg(frames));
                model.sendComposerMessage();
            }
        });
        model.connect();
    });
    return result;
}

QList<QByteArray> feederPayloads()
{
    QList<QByteArray> payloads = {R"({"type":"hello_ok","serverVersion":"feeder"})",
                                  R"({"type":"session_created","sessionId":"S1","resumed":false})"};
    payloads.append(floodStream(frames));
    return payloads;
}

void print(const char *label, const Measurement &m)
{
    std::printf("  %-44s %9.0f deltas/s  %.3f us CPU/delta\n", label, frames / m.seconds, m.cpuSeconds * 1e6 / frames);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    const QList<QByteArray> payloads = feederPayloads();
    std::printf("Model stream, %d deltas per run (best of 3)\n", frames);
    Measurement fromGateway{1e9, 1e9};
    Measurement fromFeeder{1e9, 1e9};
    for (int round = 0; round < 3; ++round) {
        const Measurement viaGateway = measureModel(gateway.url(), benchToken, true);
        FrameFeeder feeder(payloads);
        const Measurement viaFeeder = measureModel(feeder.url(), {}, false);
        fromGateway = {std::min(fromGateway.seconds, viaGateway.seconds),
                       std::min(fromGateway.cpuSeconds, viaGateway.cpuSeconds)};
        fromFeeder = {std::min(fromFeeder.seconds, viaFeeder.seconds),
                      std::min(fromFeeder.cpuSeconds, viaFeeder.cpuSeconds)};
    }
    print("model, from the demo gateway's flood mode", fromGateway);
    print("model, from a pre-encoded feeder thread", fromFeeder);
    std::printf("  goal: at least 1,000,000 deltas/s from the demo gateway\n");
    return 0;
}
