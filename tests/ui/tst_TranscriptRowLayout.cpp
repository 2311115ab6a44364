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

    // Measuring, inserting and removing move only the rows below the change.
    void editsMoveOnlyTheRowsBelow()
    {
        TranscriptRowLayout layout(2);
        layout.reset({10, 10, 10, 10});
        QVERIFY(!layout.isMeasured(1));
        QVERIFY(layout.setMeasuredHeight(1, 25));
        QVERIFY(layout.isMeasured(1));
        QVERIFY(!layout.setMeasuredHeight(1, 25));
        QCOMPARE(tops(layout), (QList<qint64>{0, 12, 39, 51, 61}));
        layout.invalidate(1);
        QVERIFY(!layout.isMeasured(1));
        QCOMPARE(layout.height(1), 25);
        QVERIFY(layout.setMeasuredHeight(0, 1));
        layout.insertRows(1, {5, 7});
        QCOMPARE(tops(layout), (QList<qint64>{0, 3, 10, 19, 46, 58, 68}));
        layout.insertRows(6, {3});
        layout.removeRows(0, 2);
        QCOMPARE(layout.height(0), 7);
        QCOMPARE(tops(layout), (QList<qint64>{0, 9, 36, 48, 60, 63}));
    }
};

} // namespace tessel

QTEST_APPLESS_MAIN(tessel::tst_TranscriptRowLayout)
#include "tst_TranscriptRowLayout.moc"
