#include "ui/TranscriptRowLayout.h"

#include <QTest>

namespace tessel {

class tst_TranscriptRowLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void placesRowsWithSpacingAndFindsThem();
    void changesMoveOnlyTheRowsBelow();
    void insertsAndRemovesInTheMiddle();
};

void tst_TranscriptRowLayout::placesRowsWithSpacingAndFindsThem()
{
    TranscriptRowLayout layout(10);
    QCOMPARE(layout.rowAt(0), -1);
    QCOMPARE(layout.totalHeight(), 0);
    layout.reset({100, 50, 30});
    QCOMPARE(layout.top(0), 0);
    QCOMPARE(layout.top(1), 110);
    QCOMPARE(layout.top(2), 170);
    QCOMPARE(layout.totalHeight(), 200);
    // A row owns its extent and the gap below it; positions outside clamp to the ends.
    QCOMPARE(layout.rowAt(-5), 0);
    QCOMPARE(layout.rowAt(109), 0);
    QCOMPARE(layout.rowAt(110), 1);
    QCOMPARE(layout.rowAt(169), 1);
    QCOMPARE(layout.rowAt(170), 2);
    QCOMPARE(layout.rowAt(10'000), 2);
    QVERIFY(!layout.isMeasured(1));
}

void tst_TranscriptRowLayout::changesMoveOnlyTheRowsBelow()
{
    TranscriptRowLayout layout(0);
    layout.reset({10, 10, 10, 10});
    QVERIFY(layout.setMeasuredHeight(1, 25));
    QVERIFY(layout.isMeasured(1));
    QVERIFY(!layout.setMeasuredHeight(1, 25));
    QCOMPARE(layout.top(1), 10);
    QCOMPARE(layout.top(2), 35);
    QCOMPARE(layout.top(3), 45);
    layout.invalidate(1);
    QVERIFY(!layout.isMeasured(1));
    QCOMPARE(layout.height(1), 25);
    QVERIFY(layout.setMeasuredHeight(3, 5));
    QVERIFY(layout.setMeasuredHeight(0, 1));
    QCOMPARE(layout.top(3), 1 + 25 + 10);
    QCOMPARE(layout.totalHeight(), 1 + 25 + 10 + 5);
}

void tst_TranscriptRowLayout::insertsAndRemovesInTheMiddle()
{
    TranscriptRowLayout layout(2);
    layout.reset({10, 10});
    QCOMPARE(layout.top(1), 12);
    layout.insertRows(1, {5, 7});
    QCOMPARE(layout.count(), 4);
    QCOMPARE(layout.top(1), 12);
    QCOMPARE(layout.top(2), 19);
    QCOMPARE(layout.top(3), 28);
    layout.insertRows(4, {3});
    QCOMPARE(layout.top(4), 40);
    layout.removeRows(0, 2);
    QCOMPARE(layout.count(), 3);
    QCOMPARE(layout.height(0), 7);
    QCOMPARE(layout.top(2), 9 + 12);
    QCOMPARE(layout.totalHeight(), 7 + 2 + 10 + 2 + 3);
}

} // namespace tessel

QTEST_APPLESS_MAIN(tessel::tst_TranscriptRowLayout)
#include "tst_TranscriptRowLayout.moc"
