// The transcript view's speed goals, offscreen: the first painted frame with 10,000 items at
// 700 px wide, a streamed delta to its repaint, the longest stall while 1,000 deltas a second
// stream. With `text`: the longest stall, first paint and peak memory of large replies (a 1 MB
// unbreakable line in 1 KB deltas and in one, 10 MB of lines) beside an ordinary 4 KB reply,
// Markdown on and off; then the memory a 20 MB reply keeps and the cost of an item.
#include "BenchSupport.h"
#include "PaintCounter.h"

#include "app/TranscriptListModel.h"
#include "ui/TranscriptBubble.h"
#include "ui/TranscriptBubbleDelegate.h"
#include "ui/TranscriptView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTimer>

#include <malloc.h>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

const QString delta = u"streamed text of forty bytes, roughly.. "_s;

QString prose(QRandomGenerator &random, int length)
{
    static const QStringList words = {u"gateway"_s, u"session"_s, u"the"_s,    u"transcript"_s, u"streams"_s,
                                      u"a"_s,       u"project"_s, u"file"_s,   u"into"_s,       u"window"_s,
                                      u"native"_s,  u"and"_s,     u"editor"_s, u"of"_s,         u"machine"_s};
    QString text;
    while (text.size() < length)
        text += words.at(random.bounded(qsizetype(words.size()))) + u' ';
    text.truncate(length);
    return text;
}

QList<DesktopTranscriptItem> transcriptOf(int count)
{
    QList<DesktopTranscriptItem> items(count);
    for (int i = 0; i < count; ++i) {
        QRandomGenerator random{quint32(i)};
        DesktopTranscriptItem &item = items[i];
        item.role = std::array{DesktopTranscriptRole::user, DesktopTranscriptRole::assistant,
                               DesktopTranscriptRole::tool}[size_t(i % 3)];
        item.title = u"Codex"_s;
        item.body = prose(random, 50 + int(random.bounded(1951)));
        item.sourceItemID = u"item-%1"_s.arg(i);
    }
    return items;
}

// A reply of `length` characters: prose lines, lists and code blocks.
QString manyLines(qsizetype length)
{
    QRandomGenerator random(7);
    QString text;
    for (int line = 0; text.size() < length; ++line) {
        if (line % 40 == 10)
            text += u"```\nfor (int i = 0; i < n; ++i)\n    total += values[i];\n```\n\n"_s;
        text += (line % 6 == 0 ? u"- "_s : QString()) + prose(random, 80) + (line % 6 == 5 ? u"\n\n"_s : u"\n"_s);
    }
    text.truncate(length);
    return text;
}

// Resident megabytes after handing freed heap pages back, so that only what is kept counts.
double keptMegabytes()
{
    malloc_trim(0);
    return statusMegabytes("VmRSS:");
}

// The longest gap between the ticks of a 1 ms timer: how long the event loop was busy.
class StallProbe : public QTimer
{
public:
    QElapsedTimer clock;
    double longestMs = 0;
    StallProbe()
    {
        clock.start();
        setTimerType(Qt::PreciseTimer);
        connect(this, &QTimer::timeout, this, [this] {
            const double now = double(clock.nsecsElapsed()) / 1e6;
            longestMs = std::max(longestMs, now - std::exchange(m_lastMs, now));
        });
        start(1);
    }

private:
    double m_lastMs = 0;
};

struct Bench
{
    TranscriptListModel model;
    PaintCounter counter;
    TranscriptView view;

    explicit Bench(const QList<DesktopTranscriptItem> &items = {}, bool markdown = true)
    {
        model.replaceAll(items);
        counter.ignoreUpTo = TranscriptBubble::indicatorSize + 2 * TranscriptBubble::indicatorPen;
        view.viewport()->installEventFilter(&counter);
        view.setRenderMarkdown(markdown);
        view.setModel(&model);
        view.resize(700, 720);
    }
    // Milliseconds from `change` until the viewport has painted again.
    double msToPaint(const std::function<void()> &change)
    {
        QElapsedTimer timer;
        timer.start();
        const int before = counter.paints;
        change();
        while (counter.paints == before)
            QCoreApplication::processEvents();
        return double(timer.nsecsElapsed()) / 1e6;
    }
    bool laidOut()
    {
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, view.viewport()->width() - 2 * TranscriptView::margin, 1);
        option.font = view.font();
        const auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(view.itemDelegate());
        return model.rowCount() > 0 && delegate->bubble(option, model.index(0)).isLaidOut();
    }
};

void transcriptFigures()
{
    const QList<DesktopTranscriptItem> items = transcriptOf(10'000);
    std::vector<double> firsts;
    for (int run = 0; run < 5; ++run) {
        Bench bench(items);
        firsts.push_back(bench.msToPaint([&] { bench.view.show(); }));
    }
    Bench bench(items);
    bench.msToPaint([&] { bench.view.show(); });
    std::vector<double> grows;
    for (int i = 0; i < 40; ++i) {
        runEventsFor(25); // a display frame passes, so that the frame limit does not hold the change back
        grows.push_back(bench.msToPaint([&] { bench.model.appendAssistantDelta(delta, u"streaming"_s, u"Codex"_s); }));
    }
    // A delta per millisecond of the clock: each tick catches up on the deltas that fell due,
    // so the rate holds at 1,000 a second while the probe sees how long the loop was busy.
    runEventsFor(100);
    StallProbe probe;
    int deltas = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        for (const qint64 due = probe.clock.elapsed(); deltas < due; ++deltas)
            bench.model.appendAssistantDelta(delta, u"reply"_s, u"Codex"_s);
    });
    feed.start(1);
    while (probe.clock.elapsed() < 3000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    printHeader("Transcript view, 10,000 items, 700 px wide, offscreen");
    printRow("first painted frame, median of 5", percentile(firsts, 0.5), -1, "ms");
    printRow("streaming delta to repaint, median of 40", percentile(grows, 0.5), -1, "ms");
    printRow("longest stall at 1,000 deltas/s for 3 s", probe.longestMs, -1, "ms");
}

// The longest stall (ms), the time to the first paint (ms) and the peak memory (MB).
using TextFigures = std::array<double, 3>;

// Streams `text` into an empty transcript, a delta per turn of the event loop, until it is all
// laid out.
TextFigures streamText(const QString &text, qsizetype deltaLength, bool markdown)
{
    Bench bench({}, markdown);
    bench.view.show();
    runEventsFor(100);
    const double base = keptMegabytes();
    {
        QFile clearPeak(u"/proc/self/clear_refs"_s); // starts the peak afresh at the current size
        if (clearPeak.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
            clearPeak.write("5");
    }
    double firstPaintMs = 0;
    const int paintsBefore = bench.counter.paints;
    StallProbe probe;
    qsizetype fed = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        bench.model.appendAssistantDelta(text.mid(fed, deltaLength), u"reply"_s, u"Codex"_s);
        if ((fed += deltaLength) >= text.size())
            feed.stop();
    });
    feed.start(0);
    while (fed < text.size() || !bench.laidOut()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (firstPaintMs == 0 && bench.counter.paints > paintsBefore)
            firstPaintMs = double(probe.clock.nsecsElapsed()) / 1e6;
    }
    runEventsFor(50);
    return {probe.longestMs, firstPaintMs, statusMegabytes("VmHWM:") - base};
}

void largeTextFigures()
{
    QRandomGenerator random(3);
    const QString ordinary = prose(random, 4096), line(1 << 20, u'x'), lines = manyLines(10 << 20);
    const struct
    {
        const char *name;
        const QString &text;
        qsizetype deltaLength;
    } cases[] = {{"1 MB line, 1 KB deltas", line, 1024},
                 {"1 MB line, one delta", line, line.size()},
                 {"10 MB lines, 4 KB deltas", lines, 4096}};
    printHeader("Large replies, offscreen (stall: the longest event-loop stall); baseline: a 4 KB reply in 40 B deltas");
    for (const bool markdown : {false, true}) {
        const TextFigures base = streamText(ordinary, 40, markdown);
        for (const auto &c : cases) {
            const TextFigures ours = streamText(c.text, c.deltaLength, markdown);
            for (const int f : {0, 1, 2})
                printRow(qPrintable(u"%1, Markdown %2: %3"_s.arg(QLatin1StringView(c.name), markdown ? "on"_L1 : "off"_L1,
                                                                 std::array{"stall"_L1, "first paint"_L1, "peak memory"_L1}[f])),
                         ours[f], base[f], f < 2 ? "ms" : "MB");
        }
    }
}

// What an item costs beyond its text (the model shares the text with the list it was given),
// and what a 20 MB reply keeps once it has streamed and been shown, against its UTF-8 size.
void textMemoryFigures()
{
    Bench bench;
    bench.view.show();
    runEventsFor(100);
    constexpr int count = 20'000;
    QList<DesktopTranscriptItem> items = transcriptOf(count);
    const double itemsBefore = keptMegabytes();
    bench.model.replaceAll(items);
    runEventsFor(200);
    const double perItem = (statusMegabytes("VmRSS:") - itemsBefore) * 1048576 / count;
    bench.model.replaceAll({});
    items.clear();
    runEventsFor(100);

    const QString reply = manyLines(20 << 20);
    const double utf8Mb = double(reply.toUtf8().size()) / 1048576;
    const double before = keptMegabytes();
    for (qsizetype at = 0; at < reply.size(); at += 65536)
        bench.model.appendAssistantDelta(reply.mid(at, 65536), u"reply"_s, u"Codex"_s);
    bench.model.finalizeAssistantMessage(QString(), u"reply"_s, u"Codex"_s);
    while (!bench.laidOut())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    runEventsFor(100);
    printHeader("Memory kept; baseline: the reply's UTF-8 size");
    printRow("20 MB reply, streamed and shown, kept", statusMegabytes("VmRSS:") - before, utf8Mb, "MB");
    printRow("an item beyond its text (of 20,000)", perItem, -1, "B");
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "text") == 0) {
        largeTextFigures();
        textMemoryFigures();
    } else {
        transcriptFigures();
    }
    return 0;
}
