// Finds text in a transcript of 10,000 items (about 4 MB of text) and prints how long a
// search takes, for a rare and a common word, beside a plain case-insensitive indexOf loop
// over the same bodies; then what keeping the matches up to date adds to a streamed delta.
#include "app/TranscriptListModel.h"
#include "ui/TranscriptFind.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

#include <algorithm>
#include <array>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int itemCount = 10'000;

QList<DesktopTranscriptItem> transcript()
{
    QList<DesktopTranscriptItem> items;
    for (int i = 0; i < itemCount; ++i) {
        DesktopTranscriptItem item;
        item.role = i % 2 ? DesktopTranscriptRole::assistant : DesktopTranscriptRole::user;
        item.body = u"Item %1 looks at the parser and the tests of the project, "_s.arg(i).repeated(7);
        if (i % 1000 == 0)
            item.body += u" the Needle"_s;
        items.append(item);
    }
    return items;
}

template<typename Run>
double medianMs(Run &&run)
{
    std::array<double, 7> times{};
    for (double &time : times) {
        QElapsedTimer timer;
        timer.start();
        run();
        time = double(timer.nsecsElapsed()) / 1e6;
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    TranscriptListModel model;
    model.replaceAll(transcript());
    TranscriptFind find;
    find.setModel(&model);
    out << "transcript find: " << itemCount << " items\n";
    for (const QString &query : {u"needle"_s, u"the"_s}) {
        const double found = medianMs([&] { find.setQuery(query); });
        qsizetype plainCount = 0;
        const double plain = medianMs([&] {
            plainCount = 0;
            for (const DesktopTranscriptItem &item : model.items())
                for (qsizetype at = item.body.indexOf(query, 0, Qt::CaseInsensitive); at >= 0;
                     at = item.body.indexOf(query, at + query.size(), Qt::CaseInsensitive))
                    ++plainCount;
        });
        out << QString::asprintf("  \"%s\": %lld matches in %.1f ms (plain indexOf loop: %lld in %.1f ms)\n",
                                 qPrintable(query), static_cast<long long>(find.count()), found,
                                 static_cast<long long>(plainCount), plain);
    }
    // A reply streaming at the end: the cost of one delta, with nothing being found and while
    // "the" is being found.
    constexpr int deltas = 10'000;
    for (const QString &query : {QString(), u"the"_s}) {
        find.setQuery(query);
        const double streamed = medianMs([&] {
            for (int i = 0; i < deltas; ++i)
                model.appendAssistantDelta(u"then the next forty characters arrive.. "_s, query, u"Codex"_s);
        });
        out << QString::asprintf("  a delta into a streaming reply, %s: %.2f us\n",
                                 query.isEmpty() ? "finding nothing" : "finding \"the\"", streamed * 1000 / deltas);
    }
    return 0;
}
