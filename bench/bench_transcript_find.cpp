// Finds text in a transcript of 10,000 items (about 4 MB of text), for a rare and a common
// word, beside a plain case-insensitive indexOf loop over the same bodies. Medians of 7.
#include "BenchSupport.h"

#include "app/TranscriptListModel.h"
#include "ui/TranscriptFind.h"

#include <QCoreApplication>
#include <QElapsedTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

double medianMs(const std::function<void()> &run)
{
    std::vector<double> times;
    for (int i = 0; i < 7; ++i) {
        QElapsedTimer timer;
        timer.start();
        run();
        times.push_back(double(timer.nsecsElapsed()) / 1e6);
    }
    return percentile(times, 0.5);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QList<DesktopTranscriptItem> items(10'000);
    for (int i = 0; i < items.size(); ++i) {
        items[i].role = i % 2 ? DesktopTranscriptRole::assistant : DesktopTranscriptRole::user;
        items[i].body = u"Item %1 looks at the parser and the tests of the project, "_s.arg(i).repeated(7) +
                        (i % 1000 == 0 ? u" the Needle"_s : QString());
    }
    TranscriptListModel model;
    model.replaceAll(items);
    TranscriptFind find;
    find.setModel(&model);
    printHeader("Find over 10,000 items; baseline: a plain case-insensitive indexOf loop");
    for (const QString &query : {u"needle"_s, u"the"_s}) {
        const double found = medianMs([&] { find.setQuery(query); });
        const double plain = medianMs([&] {
            for (const DesktopTranscriptItem &item : model.items())
                for (qsizetype at = 0; (at = item.body.indexOf(query, at, Qt::CaseInsensitive)) >= 0; at += query.size())
                    ;
        });
        printRow(qPrintable(u"\"%1\", %2 matches"_s.arg(query).arg(find.count())), found, plain, "ms");
    }
    return 0;
}
