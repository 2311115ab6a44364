// Resident memory around one 60 MiB frame received by GatewayWebSocketClient: just before it
// (the baseline), at the peak while it is handled, and one second after it was delivered.
// Two frames: an unknown message kind carrying 60 MiB of content (decoded into an envelope
// that nobody keeps) and a session list of 60 MiB of numbers (fails to decode). The goal:
// back within 50 MB of the baseline one second later.

#include "BenchGateway.h"

#include "connection/GatewayWebSocketClient.h"

#include <QCoreApplication>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

constexpr qsizetype frameBytes = 60 * 1024 * 1024;

// `head`, then `filler` (comma-separated when it is a digit) up to 60 MiB, then `tail`.
QByteArray frameOf(const QByteArray &head, char filler, const QByteArray &tail)
{
    const QByteArray unit = filler == '1' ? "1,"_ba : QByteArray(2, filler);
    return head + unit.repeated((frameBytes - head.size() - tail.size()) / 2) + filler + tail;
}

// Resident megabytes before, at the peak and one second after `frame` was delivered.
std::array<double, 3> measure(const QByteArray &frame)
{
    FrameFeeder feeder({frame, R"({"type":"session_status","state":"idle"})"});
    GatewayWebSocketClient client;
    QFile clearRefs(u"/proc/self/clear_refs"_s); // starts a new peak from the current size
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
    std::array<double, 3> figures{statusMegabytes("VmRSS:"), 0, 0};
    runUntil([&](std::function<void()> done) {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [&, done](const GatewayServerEnvelope &envelope) {
                             if (envelope.type == "session_status"_L1) {
                                 QTimer::singleShot(1000, &client, [&figures, done] {
                                     figures[2] = statusMegabytes("VmRSS:");
                                     done();
                                 });
                             }
                         });
        client.connectTo(feeder.url());
    });
    figures[1] = statusMegabytes("VmHWM:");
    client.disconnect();
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    printHeader("One 60 MiB frame; baseline: resident just before it");
    bool met = true;
    for (const auto &[label, frame] :
         {std::pair("unknown kind with 60 MiB of content", frameOf(R"({"type":"x","content":")", 'a', "\"}")),
          std::pair("session list of 60 MiB of numbers",
                    frameOf(R"({"type":"session_list","sessions":[)", '1', "]}"))}) {
        const auto [before, peak, after] = measure(frame);
        met = met && after - before <= 50;
        printRow(qPrintable(u"%1: peak resident"_s.arg(QLatin1StringView(label))), peak, before, "MB");
        printRow(qPrintable(u"%1: 1 s after"_s.arg(QLatin1StringView(label))), after, before, "MB",
                 "(goal: within 50 MB)");
    }
    return met ? 0 : 1;
}
