// Resident memory around one 60 MiB frame received by GatewayWebSocketClient: just before it
// (the baseline) and one second after it was delivered. Two frames: an unknown message kind
// carrying 60 MiB of content (decoded into an envelope that nobody keeps) and a session list
// of 60 MiB of numbers (fails to decode). The goal: back within 50 MB of the baseline.

#include "BenchGateway.h"

#include "connection/GatewayWebSocketClient.h"

#include <QCoreApplication>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

// `head`, then `unit` repeated up to 60 MiB, then `tail`.
QByteArray frameOf(const QByteArray &head, const QByteArray &unit, const QByteArray &tail)
{
    return head + unit.repeated((60 * 1024 * 1024 - head.size() - tail.size()) / unit.size()) + tail;
}

// Resident megabytes just before `frame` is sent (the feeder holding its copy) and one
// second after it was delivered.
std::pair<double, double> resident(const QByteArray &frame)
{
    FrameFeeder feeder({frame, R"({"type":"session_status","state":"idle"})"});
    GatewayWebSocketClient client;
    const double before = statusMegabytes("VmRSS:");
    double after = 0;
    runUntil([&](std::function<void()> done) {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [&, done](const GatewayServerEnvelope &envelope) {
                             if (envelope.type == "session_status"_L1)
                                 QTimer::singleShot(1000, &client, [&after, done] {
                                     after = statusMegabytes("VmRSS:");
                                     done();
                                 });
                         });
        client.connectTo(feeder.url());
    });
    client.disconnect();
    return {before, after};
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    printHeader("One 60 MiB frame; baseline: resident just before it");
    bool met = true;
    for (const auto &[label, frame] : {std::pair("unknown kind with 60 MiB of content, 1 s after",
                                                 frameOf(R"({"type":"x","content":")", "a", "\"}")),
                                       std::pair("session list of 60 MiB of numbers, 1 s after",
                                                 frameOf(R"({"type":"session_list","sessions":[)", "1,", "1]}"))}) {
        const auto [before, after] = resident(frame);
        met = met && after - before <= 50;
        printRow(label, after, before, "MB", "(goal: within 50 MB)");
    }
    return met ? 0 : 1;
}
