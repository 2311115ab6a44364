#include "ui/TranscriptRowLayout.h"

#include <QTest>

namespace tessel {

namespace {

// Every row's top, then the total height.
QList<qint64> tops(const TranscriptRowLayout &layout)
{
    QList<qint64> result;
    for (int row = 0; row < layout.count(); ++row)
        result.append(layout.top(row));
    return result << layout.totalHeight();
}

} // namespace

class tst_TranscriptRowLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placesRowsWithSpacingAndFindsThem()
    {
        TranscriptRowLayout layout(10);
        QCOMPARE(layout.rowAt(0), -1);
        QCOMPARE(layout.totalHeight(), 0);
        layout.reset({100, 50, 30});
        QCOMPARE(tops(layout), (QList<qint64>{0, 110, 170, 200}));
        // A row owns its extent and the gap below it; positions outside clamp to the ends.
        const QList<std::pair<qint64, int>> hits{{-5, 0}, {109, 0}, {110, 1}, {169, 1}, {170, 2}, {10'000, 2}};
        for (const auto &[y, row] : hits)
            QCOMPARE(layout.rowAt(y), row);
    }

    void changesMoveOnlyTheRowsBelow()
    {
        TranscriptRowLayout layout(0);
        layout.reset({10, 10, 10, 10});
        QVERIFY(!layout.isMeasured(1));
        QVERIFY(layout.setMeasuredHeight(1, 25));
        QVERIFY(layout.isMeasured(1));
        QVERIFY(!layout.setMeasuredHeight(1, 25));
        QCOMPARE(tops(layout), (QList<qint64>{0, 10, 35, 45, 55}));
        layout.invalidate(1);
        QVERIFY(!layout.isMeasured(1));
        QCOMPARE(layout.height(1), 25);
        QVERIFY(layout.setMeasuredHeight(3, 5));
        QVERIFY(layout.setMeasuredHeight(0, 1));
        QCOMPARE(tops(layout), (QList<qint64>{0, 1, 26, 36, 41}));
    }

    void insertsAndRemovesInTheMiddle()
    {
        TranscriptRowLayout layout(2);
        layout.reset({10, 10});
        QCOMPARE(layout.top(1), 12);
        layout.insertRows(1, {5, 7});
        QCOMPARE(tops(layout), (QList<qint64>{0, 12, 19, 28, 38}));
        layout.insertRows(4, {3});
        QCOMPARE(layout.top(4), 40);
        layout.removeRows(0, 2);
        QCOMPARE(layout.height(0), 7);
        QCOMPARE(tops(layout), (QList<qint64>{0, 9, 21, 24}));
    }
};

} // namespace tessel

QTEST_APPLESS_MAIN(tessel::tst_TranscriptRowLayout)
#include "tst_TranscriptRowLayout.moc"
