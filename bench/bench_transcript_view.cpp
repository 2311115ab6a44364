// The transcript view's speed goals, under the offscreen platform (set QT_QPA_PLATFORM=offscreen):
// the first painted frame with 10,000 items of 50 to 2,000 characters at 700 px wide;
// appending an item and repainting, with 10,000 and with 5,000 items; growing the streaming
// item by one delta and repainting; scroll frames; the repaint rate and the longest
// event-loop stall while 1,000 deltas a second stream; and peak memory. Prints one line per
// figure; medians over repeated runs where a single run is short.
//
// `bench_transcript_view text` measures large replies instead: a 1 MB line without a break
// opportunity (in 1 KB deltas and as one delta) and a 10 MB reply of many lines, each beside
// an ordinary 4 KB reply, with Markdown rendering on and off: the longest event-loop stall,
// the time to the first paint and the peak memory; then the memory a 20 MB reply keeps and
// the cost of an item.
#include "app/TranscriptListModel.h"
#include "ui/TranscriptBubble.h"
#include "ui/TranscriptBubbleDelegate.h"
#include "ui/TranscriptView.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QPaintEvent>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QTimer>

#include <malloc.h>

#include <algorithm>
#include <cstdio>
#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int viewWidth = 700;
constexpr int viewHeight = 720;

// Counts the viewport's paint events; `paints` leaves out those that only turn a streaming
// mark, so that waiting for a change's repaint is not satisfied by one of them.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    int allPaints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        ++allPaints;
        const QRect rect = static_cast<QPaintEvent *>(event)->rect();
        const int mark = TranscriptBubble::indicatorSize + 2 * TranscriptBubble::indicatorPen;
        if (rect.width() > mark || rect.height() > mark)
            ++paints;
        return false;
    }
};

QString prose(QRandomGenerator &random, int length)
{
    static const QStringList words = {u"gateway"_s, u"session"_s, u"the"_s,    u"transcript"_s, u"streams"_s,
                                      u"a"_s,       u"project"_s, u"file"_s,   u"into"_s,       u"window"_s,
                                      u"native"_s,  u"and"_s,     u"editor"_s, u"of"_s,         u"machine"_s};
    QString text;
    text.reserve(length + 16);
    while (text.size() < length)
        text += words.at(random.bounded(qsizetype(words.size()))) + u' ';
    text.truncate(length);
    return text;
}

// Items are seeded by their distance from the end, so transcripts of any length end with
// the same items and their views show the same rows.
QList<DesktopTranscriptItem> transcriptOf(int count)
{
    QList<DesktopTranscriptItem> items;
    items.reserve(count);
    for (int i = 0; i < count; ++i) {
        QRandomGenerator random(quint32(count - i));
        DesktopTranscriptItem item;
        item.role = std::array{DesktopTranscriptRole::user, DesktopTranscriptRole::assistant,
                               DesktopTranscriptRole::tool}[size_t((count - i) % 3)];
        item.title = u"Codex"_s;
        item.body = prose(random, 50 + int(random.bounded(1951)));
        item.sourceItemID = u"item-%1"_s.arg(i);
        items.append(item);
    }
    return items;
}

struct Bench
{
    TranscriptListModel model;
    std::unique_ptr<TranscriptView> view;
    PaintCounter counter;

    void show()
    {
        view = std::make_unique<TranscriptView>();
        view->viewport()->installEventFilter(&counter);
        view->setModel(&model);
        view->resize(viewWidth, viewHeight);
        view->show();
    }
    // Runs the event loop until the viewport has painted once more.
    void untilPainted()
    {
        const int before = counter.paints;
        while (counter.paints == before)
            QCoreApplication::processEvents();
    }
    // Lets a display frame pass, so the next change is not held back by the frame limit.
    static void idle(int ms = 25)
    {
        QElapsedTimer timer;
        timer.start();
        while (timer.elapsed() < ms)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

double ms(const QElapsedTimer &timer)
{
    return double(timer.nsecsElapsed()) / 1e6;
}

double firstPaintMs(const QList<DesktopTranscriptItem> &items)
{
    Bench bench;
    bench.model.replaceAll(items);
    QElapsedTimer timer;
    timer.start();
    bench.show();
    bench.untilPainted();
    return ms(timer);
}

template<typename Change>
double changeAndRepaintMs(Bench &bench, Change change, int runs = 40)
{
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        Bench::idle();
        QElapsedTimer timer;
        timer.start();
        change(i);
        bench.untilPainted();
        times.push_back(ms(timer));
    }
    return median(times);
}

void appendAndGrow(int count)
{
    Bench bench;
    bench.model.replaceAll(transcriptOf(count));
    bench.show();
    bench.untilPainted();
    QRandomGenerator random(11);
    const double append = changeAndRepaintMs(bench, [&](int) {
        DesktopTranscriptItem item;
        item.role = DesktopTranscriptRole::user;
        item.body = prose(random, 50 + int(random.bounded(1951)));
        bench.model.append(item);
    });
    bench.model.appendAssistantDelta(prose(random, 400), u"streaming"_s, u"Codex"_s);
    const double grow = changeAndRepaintMs(bench, [&](int) {
        bench.model.appendAssistantDelta(u"streamed text of forty bytes, roughly.. "_s, u"streaming"_s, u"Codex"_s);
    });
    std::printf("%d items: append+repaint median %.2f ms, delta+repaint median %.2f ms\n", count, append, grow);
}

void scrollFrames()
{
    Bench bench;
    bench.model.replaceAll(transcriptOf(10'000));
    bench.show();
    bench.untilPainted();
    std::vector<double> times;
    QScrollBar *bar = bench.view->verticalScrollBar();
    // Three wheel notches at a time, upwards through rows never measured before.
    for (int i = 0; i < 300; ++i) {
        QElapsedTimer timer;
        timer.start();
        bar->setValue(bar->value() - 3 * bar->singleStep());
        bench.untilPainted();
        times.push_back(ms(timer));
    }
    std::printf("scroll frame median %.2f ms, worst %.2f ms (%zu frames)\n", median(times),
                *std::max_element(times.begin(), times.end()), times.size());
}

void streaming()
{
    Bench bench;
    bench.model.replaceAll(transcriptOf(10'000));
    bench.show();
    bench.untilPainted();
    Bench::idle(100);

    constexpr int seconds = 3;
    int deltas = 0;
    qint64 longestGap = 0;
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    QTimer feed;
    feed.setTimerType(Qt::PreciseTimer);
    // A delta per millisecond of the clock: each tick catches up on the deltas that fell
    // due, so the rate holds at 1,000 a second; the gap between ticks shows how long the
    // event loop was busy.
    QObject::connect(&feed, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        if (deltas > 0)
            longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
        for (const qint64 due = now / 1'000'000; deltas < due; ++deltas)
            bench.model.appendAssistantDelta(u"streamed text of forty bytes, roughly.. "_s, u"reply"_s, u"Codex"_s);
    });
    const int paintsBefore = bench.counter.allPaints;
    feed.start(1);
    while (clock.elapsed() < seconds * 1000)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    feed.stop();
    const double elapsed = double(clock.nsecsElapsed()) / 1e9;
    std::printf("streaming: %.0f deltas/s, %.1f repaints/s, longest stall %.2f ms, reply %lld characters\n",
                deltas / elapsed, (bench.counter.allPaints - paintsBefore) / elapsed, double(longestGap) / 1e6,
                static_cast<long long>(bench.model.items().constLast().body.size()));
}

long statusKb(const QByteArray &field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

long peakResidentKb()
{
    return statusKb("VmHWM:");
}

long residentKb()
{
    return statusKb("VmRSS:");
}

// Hands freed heap pages back, so that what follows is measured from what is really kept.
void trimHeap()
{
    malloc_trim(0);
}

// Starts the peak resident size afresh at the current size.
void resetPeak()
{
    trimHeap();
    QFile clear(u"/proc/self/clear_refs"_s);
    if (clear.open(QIODevice::WriteOnly))
        clear.write("5");
}

struct TextFigures
{
    double stallMs = 0;
    double firstPaintMs = 0;
    double peakMb = 0;
};

bool laidOut(Bench &bench)
{
    if (bench.model.rowCount() == 0)
        return false;
    QStyleOptionViewItem option;
    option.rect = QRect(0, 0, bench.view->viewport()->width() - 2 * TranscriptView::margin, 1);
    option.font = bench.view->font();
    const auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(bench.view->itemDelegate());
    return delegate->bubble(option, bench.model.index(0)).isLaidOut();
}

// Streams `text` into an empty transcript, a delta per turn of the event loop, until it is all
// laid out; a 1 ms timer's longest gap is the longest stall.
TextFigures streamText(const QString &text, qsizetype deltaLength, bool markdown)
{
    Bench bench;
    bench.show();
    bench.view->setRenderMarkdown(markdown);
    Bench::idle(100);
    resetPeak();
    const long baseKb = residentKb();
    TextFigures figures;
    QElapsedTimer clock;
    clock.start();
    qint64 lastTick = 0;
    qint64 longestGap = 0;
    QTimer probe;
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] {
        const qint64 now = clock.nsecsElapsed();
        longestGap = std::max(longestGap, now - lastTick);
        lastTick = now;
    });
    qsizetype fed = 0;
    QTimer feed;
    QObject::connect(&feed, &QTimer::timeout, [&] {
        bench.model.appendAssistantDelta(text.mid(fed, deltaLength), u"reply"_s, u"Codex"_s);
        fed += deltaLength;
        if (fed >= text.size())
            feed.stop();
    });
    const int paintsBefore = bench.counter.paints;
    probe.start(1);
    feed.start(0);
    while (fed < text.size() || !laidOut(bench)) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (figures.firstPaintMs == 0 && bench.counter.paints > paintsBefore)
            figures.firstPaintMs = ms(clock);
    }
    Bench::idle(50);
    figures.stallMs = double(longestGap) / 1e6;
    figures.peakMb = (peakResidentKb() - baseKb) / 1024.0;
    return figures;
}

QString manyLines(qsizetype length)
{
    QRandomGenerator random(7);
    QString text;
    text.reserve(length + 200);
    for (int line = 0; text.size() < length; ++line) {
        if (line % 40 == 10)
            text += u"```\nfor (int i = 0; i < n; ++i)\n    total += values[i];\n```\n\n"_s;
        text += (line % 6 == 0 ? u"- "_s : QString()) + prose(random, 80) + (line % 6 == 5 ? u"\n\n"_s : u"\n"_s);
    }
    text.truncate(length);
    return text;
}

void largeText()
{
    QRandomGenerator random(3);
    const QString ordinary = prose(random, 4096);
    const QString line(1 << 20, u'x');
    const QString lines = manyLines(10 << 20);
    struct Case
    {
        const char *name;
        const QString &text;
        qsizetype deltaLength;
    };
    const Case cases[] = {{"1 MB line, 1 KB deltas", line, 1024},
                          {"1 MB line, one delta", line, line.size()},
                          {"10 MB of lines, 4 KB deltas", lines, 4096}};
    std::printf("%-30s %-9s %12s %12s %12s\n", "reply", "Markdown", "stall ms", "1st paint ms", "peak MB");
    const auto print = [](const char *name, bool markdown, const TextFigures &f) {
        std::printf("%-30s %-9s %12.1f %12.1f %12.1f\n", name, markdown ? "on" : "off", f.stallMs, f.firstPaintMs,
                    f.peakMb);
    };
    for (const bool markdown : {false, true}) {
        print("baseline: 4 KB, 40 B deltas", markdown, streamText(ordinary, 40, markdown));
        for (const Case &c : cases)
            print(c.name, markdown, streamText(c.text, c.deltaLength, markdown));
    }
}

// What a long reply keeps once it has streamed and been shown, against its UTF-8 size; and what
// an item costs beyond its text.
void textMemory()
{
    Bench bench;
    bench.show();
    Bench::idle(100);
    // The model shares the items' text with this list: what it adds is the cost of the items.
    constexpr int count = 20'000;
    QList<DesktopTranscriptItem> items = transcriptOf(count);
    trimHeap();
    const long itemsBefore = residentKb();
    bench.model.replaceAll(items);
    Bench::idle(200);
    std::printf("per item beyond its UTF-16 text: %.0f bytes (%d items)\n",
                (residentKb() - itemsBefore) * 1024.0 / count, count);
    bench.model.replaceAll({});
    items.clear();
    Bench::idle(100);

    const QString reply = manyLines(20 << 20);
    const double utf8Mb = reply.toUtf8().size() / 1048576.0;
    trimHeap();
    const long before = residentKb();
    for (qsizetype at = 0; at < reply.size(); at += 65536)
        bench.model.appendAssistantDelta(reply.mid(at, 65536), u"reply"_s, u"Codex"_s);
    bench.model.finalizeAssistantMessage(QString(), u"reply"_s, u"Codex"_s);
    while (!laidOut(bench))
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    Bench::idle(100);
    const double keptMb = (residentKb() - before) / 1024.0;
    std::printf("20 MB reply (UTF-8 %.1f MB): keeps %.1f MB, %.2f times its UTF-8 size\n", utf8Mb, keptMb,
                keptMb / utf8Mb);
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "text") == 0) {
        largeText();
        textMemory();
        return 0;
    }
    const auto items = transcriptOf(10'000);
    std::vector<double> firsts;
    for (int i = 0; i < 5; ++i)
        firsts.push_back(firstPaintMs(items));
    std::printf("first painted frame, 10,000 items: median %.1f ms (first run %.1f ms)\n", median(firsts), firsts[0]);
    std::printf("peak memory after showing 10,000 items: %.1f MB\n", peakResidentKb() / 1024.0);
    appendAndGrow(10'000);
    appendAndGrow(5'000);
    scrollFrames();
    streaming();
    std::printf("peak memory of the whole run: %.1f MB\n", peakResidentKb() / 1024.0);
    return 0;
}
