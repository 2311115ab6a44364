// Streams --frames (default 200,000) "assistant_delta" frames from tessel-demo-gateway's
// flood mode through the whole model: socket, strict decoding, dispatch and the merge into
// one transcript item with its change notification. Best of --rounds (default 3), beside
// the goal of 1,000,000 deltas/s.

#include "BenchGateway.h"

#include "support/ModelHarness.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

// Connects a fresh model to the gateway, asks for the flood and returns the seconds from
// its first delta until the reply item stops streaming.
double modelSeconds(const QUrl &url, int frames)
{
    test::ModelHarness harness;
    auto &model = harness.start();
    model.updateSelectedGatewayURL(url.toString());
    model.updateSelectedGatewayToken(benchToken);
    model.updateSelectedProjectDirectory(u"/bench"_s);
    QElapsedTimer clock;
    double seconds = 0;
    runUntil([&](std::function<void()> done) {
        TranscriptListModel *transcript = model.transcript();
        QObject::connect(transcript, &QAbstractItemModel::rowsInserted, transcript, [&, transcript] {
            if (transcript->items().last().role == DesktopTranscriptRole::assistant && !clock.isValid())
                clock.start();
        });
        QObject::connect(transcript, &QAbstractItemModel::dataChanged, transcript, [&, transcript, done] {
            const DesktopTranscriptItem &item = transcript->items().last();
            if (item.role == DesktopTranscriptRole::assistant && !item.isStreaming)
                seconds = double(clock.nsecsElapsed()) / 1e9, done();
        });
        QObject::connect(&model, &TesselDesktopPOCModel::currentSessionIDChanged, &model, [&] {
            if (model.currentSessionID()) {
                model.setComposerText(u"flood %1"_s.arg(frames));
                model.sendComposerMessage();
            }
        });
        model.connect();
    });
    return seconds;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int frames = option(app.arguments(), "--frames", 200'000), rounds = option(app.arguments(), "--rounds", 3);
    BenchGateway gateway;
    if (!gateway.start())
        return 1;
    double best = 1e9;
    for (int round = 0; round < rounds; ++round)
        best = std::min(best, modelSeconds(gateway.url(), frames));
    printHeader(
        qPrintable(u"Model stream, %1 deltas per run, best of %2; baseline: the goal"_s.arg(frames).arg(rounds)));
    printRow("model deltas/s, from the demo gateway's flood mode", frames / best / 1000, 1000, "k/s");
    return 0;
}
