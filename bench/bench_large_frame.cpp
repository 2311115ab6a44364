// Resident memory around one 60 MiB frame received by GatewayWebSocketClient: just before it
// (the baseline), at the peak while it is handled, and one second after it was delivered.
// Two frames: an unknown message kind carrying 60 MiB of content (decoded into an envelope
// that nobody keeps) and a session list of 60 MiB of numbers (fails to decode). The goal:
// back within 50 MB of the baseline one second later.

#include "BenchGateway.h"
#include "FrameFeeder.h"

#include "connection/GatewayWebSocketClient.h"

#include <QCoreApplication>
#include <QFile>
#include <QTimer>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

constexpr qsizetype frameBytes = 60 * 1024 * 1024;
constexpr double goalMegabytes = 50;

double statusMegabytes(QByteArrayView field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

// Starts a new peak-resident measurement from the current resident size.
void resetPeak()
{
    QFile clearRefs(u"/proc/self/clear_refs"_s);
    if (clearRefs.open(QIODevice::WriteOnly))
        clearRefs.write("5");
}

QByteArray frameOf(const QByteArray &head, char filler, const QByteArray &tail)
{
    QByteArray frame = head;
    frame.reserve(frameBytes);
    while (frame.size() < frameBytes - tail.size() - 1)
        frame.append(filler).append(filler == '1' ? ',' : filler);
    frame.append(filler).append(tail);
    return frame;
}

struct Figures
{
    double before = 0;
    double peak = 0;
    double after = 0;
};

Figures measure(const QByteArray &frame)
{
    const QByteArray marker = R"({"type":"session_status","state":"idle"})";
    FrameFeeder feeder({frame, marker});
    GatewayWebSocketClient client;
    Figures figures;
    resetPeak();
    figures.before = statusMegabytes("VmRSS:");
    runUntil([&](std::function<void()> done) {
        QObject::connect(&client, &GatewayWebSocketClient::messageReceived, &client,
                         [&, done](const GatewayServerEnvelope &envelope) {
                             if (envelope.type != "session_status"_L1)
                                 return;
                             QTimer::singleShot(1000, &client, [&, done] {
                                 figures.after = statusMegabytes("VmRSS:");
                                 done();
                             });
                         });
        client.connectTo(feeder.url());
    });
    figures.peak = statusMegabytes("VmHWM:");
    client.disconnect();
    return figures;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const struct
    {
        const char *label;
        QByteArray frame;
    } cases[] = {
        {"unknown kind with 60 MiB of content", frameOf(R"({"type":"x","content":")", 'a', "\"}")},
        {"session list of 60 MiB of numbers", frameOf(R"({"type":"session_list","sessions":[)", '1', "]}")},
    };
    bool met = true;
    for (const auto &[label, frame] : cases) {
        const Figures figures = measure(frame);
        const double growth = figures.after - figures.before;
        met = met && growth <= goalMegabytes;
        std::printf("%-38s resident before %6.1f MB  peak %7.1f MB  1 s after %6.1f MB  (%+.1f MB, goal <= %.0f)\n",
                    label, figures.before, figures.peak, figures.after, growth, goalMegabytes);
    }
    return met ? 0 : 1;
}
