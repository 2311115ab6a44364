#include "app/TranscriptListModel.h"
#include "ui/TranscriptArea.h"
#include "ui/TranscriptBubbleDelegate.h"
#include "ui/TranscriptView.h"

#include <QAccessible>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextEdit>

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_TranscriptView : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void followsTheStreamOnlyFromTheBottom();
    void findStepsThroughMatchesAsTheyStream();
    void measuresAndRepaintsOnlyVisibleAndChangedRows();
    void rowsAreHitSelectedCopiedAndNamed();
};

namespace {

// Counts the rows it measures, so tests see which heights the view recomputes.
class CountingDelegate : public TranscriptBubbleDelegate
{
public:
    using TranscriptBubbleDelegate::TranscriptBubbleDelegate;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override
    {
        ++measured[index.row()];
        return TranscriptBubbleDelegate::sizeHint(option, index);
    }
    mutable std::map<int, int> measured;
};

// Counts repaints of rows, and apart from them those of streaming marks alone.
class PaintCounter : public QObject
{
public:
    int paints = 0;
    int markPaints = 0;
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Paint)
            return false;
        const QRect rect = static_cast<QPaintEvent *>(event)->rect();
        const int mark = TranscriptBubble::indicatorSize + 2 * TranscriptBubble::indicatorPen;
        ++(rect.width() <= mark && rect.height() <= mark ? markPaints : paints);
        return false;
    }
};

DesktopTranscriptItem item(DesktopTranscriptRole role, const QString &body, const QString &title = {})
{
    return {.role = role, .title = title, .body = body, .isStreaming = false, .sourceItemID = {}};
}

QList<DesktopTranscriptItem> numberedItems(int count)
{
    QList<DesktopTranscriptItem> items;
    for (int i = 0; i < count; ++i) {
        items << item(i % 2 ? DesktopTranscriptRole::assistant : DesktopTranscriptRole::user,
                      u"Message %1: "_s.arg(i) + u"some words to wrap "_s.repeated(1 + i % 7));
        items.last().sourceItemID = u"item-%1"_s.arg(i);
    }
    return items;
}

struct Fixture
{
    TranscriptListModel model;
    TranscriptArea area{&model};
    TranscriptView &view = *area.view();
    CountingDelegate *delegate = new CountingDelegate(&view);

    explicit Fixture(const QList<DesktopTranscriptItem> &items)
    {
        view.setItemDelegate(delegate);
        model.replaceAll(items);
        area.resize(700, 500);
        area.show();
    }
    template<typename Widget>
    Widget *child(const QString &name) const
    {
        return area.findChild<Widget *>(name);
    }
    QModelIndex index(int row) const { return model.index(row); }
    int lastRow() const { return model.rowCount() - 1; }
    bool lastRowEndsAtViewportBottom() const
    {
        const QRect last = view.visualRect(index(lastRow()));
        return last.bottom() < view.viewport()->height() && last.bottom() > view.viewport()->height() - 40;
    }
    bool shownAtBottom()
    {
        return QTest::qWaitForWindowExposed(&area) && QTest::qWaitFor([this] { return lastRowEndsAtViewportBottom(); });
    }
};

} // namespace

void tst_TranscriptView::followsTheStreamOnlyFromTheBottom()
{
    Fixture f(numberedItems(60));
    QVERIFY(f.shownAtBottom());
    auto *jump = f.child<QPushButton>(u"desktop-transcript-jump-button"_s);
    QVERIFY(jump->isHidden());

    // At the bottom, the newest reply growing well past the viewport keeps the view there.
    const int height = f.view.visualRect(f.index(f.lastRow())).height();
    const auto grow = [&f] {
        for (int i = 0; i < 40; ++i)
            f.model.appendAssistantDelta(u"more streamed words "_s.repeated(5), u"item-59"_s, u"Codex"_s);
    };
    grow();
    QTRY_VERIFY_WITH_TIMEOUT(f.view.visualRect(f.index(f.lastRow())).height() > height + 200, 5000);
    QTRY_VERIFY_WITH_TIMEOUT(f.lastRowEndsAtViewportBottom(), 5000);

    // Scrolled up, nothing moves the view; the button counts what arrives.
    f.view.verticalScrollBar()->setValue(100);
    QVERIFY(!f.view.isFollowing());
    QCOMPARE(jump->text(), u"Jump to latest"_s);
    QVERIFY(jump->isVisible());
    const int range = f.view.verticalScrollBar()->maximum();
    f.model.append(item(DesktopTranscriptRole::system, u"A new notice"_s));
    f.model.append(item(DesktopTranscriptRole::error, u"A failure"_s));
    grow();
    QTRY_VERIFY_WITH_TIMEOUT(f.view.verticalScrollBar()->maximum() > range, 5000);
    QCOMPARE(f.view.verticalScrollBar()->value(), 100);
    QCOMPARE(jump->text(), u"Jump to latest \u00b7 2 new"_s);

    QTest::mouseClick(jump, Qt::LeftButton);
    QVERIFY(f.lastRowEndsAtViewportBottom());
    QVERIFY(jump->isHidden());

    // Sending a message, and a new transcript (opening or switching a session), return to the bottom.
    f.view.verticalScrollBar()->setValue(0);
    f.model.append(item(DesktopTranscriptRole::user, u"A question"_s));
    QTRY_VERIFY_WITH_TIMEOUT(f.lastRowEndsAtViewportBottom(), 5000);
    f.view.verticalScrollBar()->setValue(0);
    f.model.replaceAll(numberedItems(30));
    QTRY_VERIFY_WITH_TIMEOUT(f.lastRowEndsAtViewportBottom(), 5000);
    QVERIFY(jump->isHidden());
}

void tst_TranscriptView::findStepsThroughMatchesAsTheyStream()
{
    auto items = numberedItems(200);
    for (const int row : {5, 50, 100})
        items[row].body += u" NeedLe"_s;
    Fixture f(items);
    QVERIFY(f.shownAtBottom());
    f.area.addFindShortcuts(&f.area);
    f.area.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&f.area));
    QTest::keyClick(&f.view, Qt::Key_F, Qt::ControlModifier);
    auto *field = f.child<QLineEdit>(u"desktop-transcript-find-field"_s);
    auto *count = f.child<QLabel>(u"desktop-transcript-find-count"_s);
    QTest::keyClicks(field, u"needle"_s);
    QCOMPARE(count->text(), u"1 of 3"_s);

    // Each step shows its match, wrapping around at either end.
    const QList<std::tuple<Qt::Key, Qt::KeyboardModifiers, int>> steps = {{Qt::Key_Return, Qt::NoModifier, 50},
                                                                          {Qt::Key_F3, Qt::ShiftModifier, 5},
                                                                          {Qt::Key_Return, Qt::ShiftModifier, 100},
                                                                          {Qt::Key_F3, Qt::NoModifier, 5}};
    for (const auto &[key, modifiers, row] : steps) {
        QTest::keyClick(field, key, modifiers);
        QCOMPARE(f.view.finder().current()->row, row);
        QVERIFY(f.view.viewport()->rect().contains(f.view.visualRect(f.index(row)).topLeft()));
    }

    // The current match is highlighted.
    const TranscriptFind::Match match = *f.view.finder().current();
    const QRect bubble = f.view.visualRect(f.index(match.row));
    TranscriptBubble laidOut(TranscriptBubbleDelegate::contentAt(f.index(match.row)), f.view.font(), bubble.width());
    while (!laidOut.layOutMore()) { }
    const QPoint inMatch = laidOut.textRangeRects(match.start, 6).first().center().toPoint() + bubble.topLeft();
    const QColor highlighted = f.view.viewport()->grab().toImage().pixelColor(inMatch);

    // Text streaming in adds matches, also across deltas, without moving the current one.
    for (const QString &delta : {u" a nee"_s, u"dle and a"_s, u" needle"_s})
        f.model.appendAssistantDelta(delta, u"item-199"_s, u"Codex"_s);
    QCOMPARE(count->text(), u"1 of 5"_s);

    QTest::keyClick(field, Qt::Key_Escape);
    QVERIFY(f.child<QWidget>(u"desktop-transcript-find-bar"_s)->isHidden());
    QCOMPARE(f.view.finder().count(), 0);
    QTRY_VERIFY_WITH_TIMEOUT(f.view.viewport()->grab().toImage().pixelColor(inMatch) != highlighted, 5000);
}

void tst_TranscriptView::measuresAndRepaintsOnlyVisibleAndChangedRows()
{
    Fixture f(numberedItems(10'000));
    QVERIFY(f.shownAtBottom());
    // Only rows near the bottom were laid out, each once.
    QVERIFY2(f.delegate->measured.size() < 40, qPrintable(QString::number(f.delegate->measured.size())));
    QVERIFY(f.delegate->measured.begin()->first > 9'900);

    // A narrower view measures the visible rows again, and only them, and stays at the bottom.
    const int wideHeight = f.view.visualRect(f.index(f.lastRow())).height();
    f.delegate->measured.clear();
    f.area.resize(400, 500);
    QTRY_VERIFY_WITH_TIMEOUT(!f.delegate->measured.empty(), 5000);
    QVERIFY(f.view.visualRect(f.index(f.lastRow())).height() > wideHeight);
    QVERIFY(f.lastRowEndsAtViewportBottom());
    QVERIFY(f.delegate->measured.begin()->first > 9'900);

    // A burst of deltas measures and repaints its row once; a change far above the viewport is
    // only noted, and that row is measured when it shows.
    const int visibleRow = f.lastRow() - 2; // an assistant item
    QVERIFY(f.view.viewport()->rect().intersects(f.view.visualRect(f.index(visibleRow))));
    QTest::qWait(50);
    PaintCounter counter;
    f.view.viewport()->installEventFilter(&counter);
    f.delegate->measured.clear();
    for (int i = 0; i < 200; ++i)
        f.model.appendAssistantDelta(u" more"_s, u"item-%1"_s.arg(visibleRow), u"Codex"_s);
    f.model.appendAssistantDelta(u" hidden growth"_s, u"item-1"_s, u"Codex"_s);
    QTRY_COMPARE_WITH_TIMEOUT(counter.paints, 1, 5000);
    QCOMPARE(f.delegate->measured, (std::map<int, int>{{visibleRow, 1}}));
    // The streaming mark then turns, repainting only itself.
    QTRY_VERIFY_WITH_TIMEOUT(counter.markPaints >= 2, 5000);
    QCOMPARE(counter.paints, 1);

    f.delegate->measured.clear();
    f.view.scrollTo(f.index(1), QAbstractItemView::PositionAtTop);
    QCOMPARE(f.delegate->measured[1], 1);
    QCOMPARE(f.view.visualRect(f.index(1)).top(), TranscriptView::margin);
}

void tst_TranscriptView::rowsAreHitSelectedCopiedAndNamed()
{
    const QString reply = u"The reply, which a user wants to quote in part."_s;
    Fixture f(
        {item(DesktopTranscriptRole::user, u"Question"_s), item(DesktopTranscriptRole::assistant, reply, u"Codex"_s)});
    QVERIFY(QTest::qWaitForWindowExposed(&f.area));
    QTRY_VERIFY_WITH_TIMEOUT(f.view.visualRect(f.index(1)).isValid(), 5000);

    // Rows stack with their spacing; the gaps and margins belong to no row.
    const QRect question = f.view.visualRect(f.index(0));
    const QRect bubble = f.view.visualRect(f.index(1));
    QCOMPARE(bubble,
             QRect(TranscriptView::margin, question.bottom() + 1 + TranscriptView::rowSpacing,
                   700 - 2 * TranscriptView::margin, bubble.height()));
    QCOMPARE(question.left(), TranscriptView::margin);
    QCOMPARE(f.view.indexAt(question.center()), f.index(0));
    QCOMPARE(f.view.indexAt(bubble.center()), f.index(1));
    QVERIFY(!f.view.indexAt(QPoint(5, question.center().y())).isValid());
    QVERIFY(!f.view.indexAt(QPoint(100, question.bottom() + 5)).isValid());

    // A double click opens a read-only selector over the bubble.
    QVERIFY(!f.view.textSelector());
    QTest::mouseDClick(f.view.viewport(), Qt::LeftButton, {}, bubble.center());
    QTextEdit *selector = f.view.textSelector();
    QVERIFY(selector);
    QCOMPARE(selector->toPlainText(), reply);
    QVERIFY(selector->isReadOnly());
    QVERIFY(selector->textInteractionFlags() & Qt::TextSelectableByMouse);
    QVERIFY(bubble.contains(selector->geometry()));

    // The reply goes on streaming under the selection, which survives.
    QTextCursor cursor = selector->textCursor();
    cursor.setPosition(4);
    cursor.setPosition(9, QTextCursor::KeepAnchor);
    selector->setTextCursor(cursor);
    f.model.appendAssistantDelta(u" More."_s, std::nullopt, u"Codex"_s);
    QTRY_COMPARE_WITH_TIMEOUT(selector->toPlainText(), reply + u" More."_s, 5000);
    QCOMPARE(selector->textCursor().selectedText(), u"reply"_s);
    QTest::keyClick(selector, Qt::Key_Escape);
    QVERIFY(!f.view.textSelector());

    f.view.copyText(f.index(0));
    QCOMPARE(QGuiApplication::clipboard()->text(), u"Question"_s);

    // Screen readers get each row's text and what kind of row it is.
    QAccessibleInterface *list = QAccessible::queryAccessibleInterface(&f.view);
    QVERIFY(list);
    QCOMPARE(list->role(), QAccessible::List);
    QCOMPARE(list->text(QAccessible::Name), u"Transcript"_s);
    QCOMPARE(list->childCount(), 2);
    QCOMPARE(list->child(0)->text(QAccessible::Name), u"Question"_s);
    QCOMPARE(list->child(0)->text(QAccessible::Description), u"Your message"_s);
    QCOMPARE(list->child(1)->text(QAccessible::Name), u"Codex: "_s + reply + u" More."_s);
    QCOMPARE(list->child(1)->text(QAccessible::Description), u"Assistant reply, still streaming"_s);
}

} // namespace tessel

QTEST_MAIN(tessel::tst_TranscriptView)
#include "tst_TranscriptView.moc"
