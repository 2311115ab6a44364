// Streams --frames (default 200,000) "assistant_delta" frames through the whole model: socket,
// strict decoding, dispatch and the merge into one transcript item with its change
// notification. Two senders: tessel-demo-gateway's flood mode (the real path; the gateway
// process is the slower side) and a feeder thread writing pre-encoded frames (so that the
// model is the limit). Best of --rounds (default 3), beside the goal of 1,000,000 deltas/s.

#include "BenchGateway.h"

#include "support/ModelHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

// Connects a fresh model to `url` and returns the seconds and CPU seconds from its first
// delta until the reply item stops streaming. `flood` is the message that starts the stream.
std::pair<double, double> measureModel(const QUrl &url, const QString &token, const QString &flood)
{
    test::ModelHarness harness;
    auto &model = harness.start();
    model.updateSelectedGatewayURL(url.toString());
    model.updateSelectedGatewayToken(token);
    model.updateSelectedProjectDirectory(u"/bench"_s);
    QElapsedTimer clock;
    double cpuStart = 0;
    std::pair<double, double> result;
    runUntil([&](std::function<void()> done) {
        TranscriptListModel *transcript = model.transcript();
        QObject::connect(transcript, &QAbstractItemModel::rowsInserted, transcript, [&, transcript] {
            if (transcript->items().last().role == DesktopTranscriptRole::assistant && !clock.isValid()) {
                clock.start();
                cpuStart = cpuSeconds();
            }
        });
        QObject::connect(transcript, &QAbstractItemModel::dataChanged, transcript, [&, transcript, done] {
            const DesktopTranscriptItem &item = transcript->items().last();
            if (item.role == DesktopTranscriptRole::assistant && !item.isStreaming) {
                result = {double(clock.nsecsElapsed()) / 1e9, cpuSeconds() - cpuStart};
                done();
            }
        });
        QObject::connect(&model, &TesselDesktopPOCModel::currentSessionIDChanged, &model, [&] {
            if (!flood.isEmpty() && model.currentSessionID()) {
                model.setComposerText(flood);
                model.sendComposerMessage();
            }
        });
        model.connect();
    });
    return result;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = option(app.arguments(), "--frames", 200'000), rounds = option(app.arguments(), "--rounds", 3);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    QList<QByteArray> payloads = {R"({"type":"hello_ok","serverVersion":"feeder"})",
                                  R"({"type":"session_created","sessionId":"S1","resumed":false})"};
    payloads.append(floodStream(frames));
    std::pair<double, double> fromGateway{1e9, 1e9}, fromFeeder{1e9, 1e9}; // seconds, CPU seconds
    for (int round = 0; round < rounds; ++round) {
        const auto viaGateway = measureModel(gateway.url(), benchToken, u"flood %1"_s.arg(frames));
        FrameFeeder feeder(payloads);
        const auto viaFeeder = measureModel(feeder.url(), {}, {});
        fromGateway = {std::min(fromGateway.first, viaGateway.first), std::min(fromGateway.second, viaGateway.second)};
        fromFeeder = {std::min(fromFeeder.first, viaFeeder.first), std::min(fromFeeder.second, viaFeeder.second)};
    }
    printHeader(
        qPrintable(u"Model stream, %1 deltas per run, best of %2; baseline: the goal"_s.arg(frames).arg(rounds)));
    printRow("model deltas/s, from the demo gateway's flood mode", frames / fromGateway.first / 1000, 1000, "k/s");
    printRow("model deltas/s, from a feeder thread", frames / fromFeeder.first / 1000, 1000, "k/s");
    printRow("model CPU per delta, from the demo gateway", fromGateway.second * 1e6 / frames, -1, "us");
    printRow("model CPU per delta, from a feeder thread", fromFeeder.second * 1e6 / frames, -1, "us");
    return 0;
}
