// Merges 100,000 streamed deltas into transcripts of 10,000 and 100 items, into an item near
// the end and one near the start, and prints merges per second for each case. The merge and
// its change notification are measured; no network, no view.
#include "app/TranscriptListModel.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <array>
#include <cstdio>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int deltaCount = 100'000;

QList<DesktopTranscriptItem> transcriptOf(int size)
{
    QList<DesktopTranscriptItem> items;
    items.reserve(size);
    for (int i = 0; i < size; ++i) {
        DesktopTranscriptItem item;
        item.role = i % 3 == 0 ? DesktopTranscriptRole::user : DesktopTranscriptRole::assistant;
        item.title = u"Codex"_s;
        item.body = u"Earlier message number "_s + QString::number(i);
        item.sourceItemID = u"item-"_s + QString::number(i);
        items.append(item);
    }
    return items;
}

double mergesPerSecond(int transcriptSize, int targetRow)
{
    TranscriptListModel model;
    model.replaceAll(transcriptOf(transcriptSize));
    // A listener like a view's, so that the change notification is really delivered.
    qint64 notifications = 0;
    QObject::connect(&model, &QAbstractItemModel::dataChanged, &model, [&notifications] { ++notifications; });
    const std::optional<QString> itemID = u"item-"_s + QString::number(targetRow);
    const QString delta = u"streamed text of forty bytes, roughly.. "_s;

    QElapsedTimer timer;
    timer.start();
    for (int i = 0; i < deltaCount; ++i)
        model.appendAssistantDelta(delta, itemID, u"Codex"_s);
    const double seconds = double(timer.nsecsElapsed()) / 1e9;
    if (notifications != deltaCount || model.items().size() != transcriptSize)
        std::fprintf(stderr, "unexpected result: %lld notifications\n", static_cast<long long>(notifications));
    return deltaCount / seconds;
}

// The first runs in a process pay for the heap growing under the 4 MB reply; the median of
// five runs measures the merge itself.
double medianMergesPerSecond(int transcriptSize, int targetRow)
{
    std::array<double, 5> runs{};
    for (double &run : runs)
        run = mergesPerSecond(transcriptSize, targetRow);
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    out << "transcript merge: " << deltaCount << " deltas per case\n";
    for (const int size : {10'000, 100}) {
        for (const bool nearEnd : {true, false}) {
            // Row 1 is an assistant item near the start; the last assistant row is near the end.
            const int row = nearEnd ? (size - 1) - ((size - 1) % 3 == 0 ? 1 : 0) : 1;
            out << QString::asprintf("  %6d items, match near the %-5s  %12.0f merges/s\n", size,
                                     nearEnd ? "end" : "start", medianMergesPerSecond(size, row));
        }
    }
    return 0;
}
