#include "app/TranscriptListModel.h"
#include "support/DataRow.h"
#include "ui/TranscriptBodyLayout.h"
#include "ui/TranscriptBubble.h"
#include "ui/TranscriptBubbleDelegate.h"
#include "ui/TranscriptView.h"
#include "ui/UiStyle.h"

#include <QApplication>
#include <QClipboard>
#include <QFontMetrics>
#include <QScrollBar>
#include <QTest>

#include <map>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using Role = DesktopTranscriptRole;
using Kind = TranscriptBubble::Hit::Kind;

namespace {

constexpr qint64 unlimited = std::numeric_limits<qint64>::max();

const QString markdownReply = u"# Plan\n\nSome *emphasis*, `code` and a [link](https://example.org/docs).\n\n"
                              "- first\n- second\n\n1. one\n2. two\n\n"
                              "```cpp\nint main()\n\n{ return 0; }\n```\n\nLast paragraph that wraps across "
                              "more than one line of the bubble at this width, surely.\n"_s;

TranscriptBubble laidOut(Role role, const QString &body, int width = 400, bool markdown = true)
{
    TranscriptBubble bubble({role, u"Codex"_s, body, false}, QApplication::font(), width, markdown);
    bubble.layOutMore(unlimited);
    return bubble;
}

} // namespace

class tst_TranscriptBubble : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void roleSetsTitleFontAndSide_data();
    void roleSetsTitleFontAndSide();
    void coloursFollowThePalette();
    void growingByDeltasLaysOutLikeTheWholeText_data();
    void growingByDeltasLaysOutLikeTheWholeText();
    void extendRefusesChangesOtherThanGrowth();
    void rendersMarkdownOnlyForAssistantReplies();
    void textRangeRectsCoverTheCharacters();
    void megabyteLineLaysOutInStepsWithoutStallingAndCopiesWhole();
};

void tst_TranscriptBubble::roleSetsTitleFontAndSide_data()
{
    QTest::addColumn<Role>("role");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<bool>("monospaced");
    QTest::addColumn<Qt::Alignment>("side");
    const Qt::Alignment leading = Qt::AlignLeading;
    test::row("system", Role::system, QString(), u"System"_s, false, leading);
    test::row("user", Role::user, QString(), u"You"_s, false, Qt::Alignment(Qt::AlignTrailing));
    test::row("assistant", Role::assistant, QString(), u"Assistant"_s, false, leading);
    test::row("thinking", Role::thinking, QString(), u"Thinking"_s, false, leading);
    test::row("tool", Role::tool, QString(), u"Tool"_s, true, leading);
    test::row("error", Role::error, QString(), u"Error"_s, false, leading);
    test::row("given title wins", Role::assistant, u"Codex"_s, u"Codex"_s, false, leading);
}

void tst_TranscriptBubble::roleSetsTitleFontAndSide()
{
    QFETCH(Role, role);
    QFETCH(QString, title);
    QFETCH(QString, shown);
    QFETCH(bool, monospaced);
    QFETCH(Qt::Alignment, side);
    QCOMPARE(TranscriptBubble::shownTitle(role, title), shown);
    // Fontconfig does not always flag monospaced fonts as fixed pitch; compare advances.
    const QFontMetrics metrics(TranscriptBubble::bodyFont(role, QApplication::font()));
    QCOMPARE(metrics.horizontalAdvance(u"iiii"_s) == metrics.horizontalAdvance(u"WWWW"_s), monospaced);
    QCOMPARE(Qt::Alignment(TranscriptBubble::alignment(role)), side);
}

void tst_TranscriptBubble::coloursFollowThePalette()
{
    QPalette light;
    light.setColor(QPalette::Text, Qt::black);
    light.setColor(QPalette::Highlight, QColor(0, 100, 220));
    QCOMPARE(TranscriptBubble::background(Role::user, light), UiStyle::withOpacity(QColor(0, 100, 220), 0.12));
    QCOMPARE(TranscriptBubble::titleColour(Role::user, light), QColor(0, 100, 220));
    QCOMPARE(TranscriptBubble::titleColour(Role::assistant, light), QColor(Qt::black));
    // On a dark palette the assistant's light card would put white text on white.
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, Qt::white);
    QCOMPARE(TranscriptBubble::background(Role::assistant, dark),
             QColor::fromRgbF(30 / 255.f, 30 / 255.f, 30 / 255.f, 0.9f));
}

// Streamed text, however it is cut into deltas, lays out and renders like the whole text.
void tst_TranscriptBubble::growingByDeltasLaysOutLikeTheWholeText_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("deltaLength");
    QTest::addColumn<bool>("markdown");
    const QString prose = u"A sentence that goes on across several lines of the bubble,\nthen a new paragraph and an "
                          "unbrokenwordthatisratherlong"_s +
        u" words"_s.repeated(300) + u"\n\n- a list item"_s + QString(5000, u'x');
    test::row("Markdown, 1-character deltas", markdownReply, 1, true);
    test::row("plain, 1-character deltas", prose, 1, false);
    test::row("plain, 333-character deltas", prose, 333, false);
    test::row("Markdown with a long block", markdownReply + prose, 97, true);
}

void tst_TranscriptBubble::growingByDeltasLaysOutLikeTheWholeText()
{
    QFETCH(QString, text);
    QFETCH(int, deltaLength);
    QFETCH(bool, markdown);
    TranscriptBubble::Content content{Role::assistant, u"Codex"_s, {}, true};
    TranscriptBubble growing(content, QApplication::font(), 400, markdown);
    for (qsizetype at = 0; at < text.size(); at += deltaLength) {
        content.body = text.left(at + deltaLength);
        QVERIFY(growing.extend(content));
        growing.layOutMore(unlimited);
    }
    const TranscriptBubble whole = laidOut(Role::assistant, text, 400, markdown);
    QCOMPARE(growing.renderedBlocks(), whole.renderedBlocks());
    QCOMPARE(growing.height(), whole.height());
    content.isStreaming = false;
    QVERIFY(growing.extend(content));
    QVERIFY(!growing.isStreaming());
}

void tst_TranscriptBubble::extendRefusesChangesOtherThanGrowth()
{
    const TranscriptBubble::Content content{Role::tool, u"Tool"_s, u"Started: build"_s, true, 1};
    TranscriptBubble bubble(content, QApplication::font(), 300);
    const int height = bubble.height();
    auto replaced = content, retitled = content, shorter = content;
    replaced.body = u"Started: build and test"_s;
    replaced.bodyRevision = 2;
    retitled.title = u"Other"_s;
    shorter.body.chop(1);
    for (const auto &changed : {replaced, retitled, shorter})
        QVERIFY(!bubble.extend(changed));
    QCOMPARE(bubble.bodyLength(), content.body.size());
    QCOMPARE(bubble.height(), height);
}

void tst_TranscriptBubble::rendersMarkdownOnlyForAssistantReplies()
{
    for (const Role role : {Role::user, Role::system, Role::thinking, Role::tool, Role::error})
        QCOMPARE(laidOut(role, markdownReply).renderedBlocks(), QStringList{markdownReply});
    QCOMPARE(laidOut(Role::assistant, markdownReply, 400, false).renderedBlocks(), QStringList{markdownReply});

    const TranscriptBubble bubble = laidOut(Role::assistant, markdownReply, 600);
    const QStringList rendered = bubble.renderedBlocks();
    QCOMPARE(rendered.first(), u"Plan"_s);
    QVERIFY(rendered.contains(u"int main()\n\n{ return 0; }"_s));
    QVERIFY(rendered.contains(u"Some emphasis, code and a link."_s));
    // Links and code blocks answer hit tests; a block's text range is its whole rectangle.
    std::map<Kind, QSet<QString>> hits;
    const QRect body = bubble.bodyRect();
    for (int y = body.top(); y < body.bottom(); y += 4) {
        for (int x = body.left(); x < body.right(); x += 6) {
            const TranscriptBubble::Hit hit = bubble.hitAt(QPoint(x, y));
            hits[hit.kind].insert(hit.text);
        }
    }
    QCOMPARE(hits[Kind::link], QSet<QString>{u"https://example.org/docs"_s});
    QCOMPARE(hits[Kind::code], QSet<QString>{u"int main()\n\n{ return 0; }"_s});
    QCOMPARE(hits[Kind::wholeText], QSet<QString>());
    QCOMPARE(bubble.hitAt(QPoint(2, 2)).kind, Kind::none);
    const QList<QRectF> heading = bubble.textRangeRects(2, 2);
    QCOMPARE(heading.size(), 1);
    QCOMPARE(heading.first().width(), body.width());
}

void tst_TranscriptBubble::textRangeRectsCoverTheCharacters()
{
    const QString body = u"first line\nsecond line that is long enough to wrap around at this narrow width"_s;
    const TranscriptBubble bubble = laidOut(Role::user, body, 200);
    const QList<QRectF> first = bubble.textRangeRects(0, 5);
    QCOMPARE(first.size(), 1);
    QCOMPARE(first.first().top(), bubble.bodyRect().top());
    QVERIFY(first.first().width() > 0);
    const QList<QRectF> wrapped = bubble.textRangeRects(body.indexOf(u"second"_s), body.size());
    QVERIFY(wrapped.size() >= 2);
    QVERIFY(wrapped.first().top() > first.first().top());
    QVERIFY(wrapped.last().bottom() <= bubble.bodyRect().bottom() + 1);
    QVERIFY(bubble.textRangeRects(body.size() + 10, 3).isEmpty());
}

// A megabyte without a break opportunity: the bubble lays out a little per call, so the view
// never stalls the event loop for seconds; it shows the start and Copy gives all of it.
void tst_TranscriptBubble::megabyteLineLaysOutInStepsWithoutStallingAndCopiesWhole()
{
    const QString line = QString(1 << 20, u'y') + u"end"_s;
    TranscriptBubble bubble({Role::assistant, {}, line, false}, QApplication::font(), 600);
    int calls = 1;
    while (!bubble.layOutMore(1'000'000))
        QVERIFY(++calls < 2000);
    QVERIFY(calls > 1);
    QCOMPARE(bubble.renderedBlocks().join(QString()), line.left(TranscriptBodyLayout::shownLimit));
    // As tall as the shown text laid out whole: full lines of the same length.
    QTextLayout sample(line.left(1000), TranscriptBubble::bodyFont(Role::assistant, QApplication::font()));
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    sample.setTextOption(option);
    sample.beginLayout();
    QTextLine first = sample.createLine();
    first.setLineWidth(bubble.bodyRect().width());
    sample.endLayout();
    const qsizetype lines = (TranscriptBodyLayout::shownLimit + first.textLength() - 1) / first.textLength();
    QCOMPARE(bubble.bodyRect().height(), qCeil(lines * first.height()));
    // Below the text, a notice whose click opens the whole text.
    QCOMPARE(bubble.hitAt(QPoint(bubble.width() / 2, bubble.height() - TranscriptBubble::padding - 4)).kind,
             Kind::wholeText);

    TranscriptListModel model;
    TranscriptView view;
    view.setModel(&model);
    view.resize(700, 600);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    QElapsedTimer timer;
    timer.start();
    model.appendAssistantDelta(line, u"reply"_s, u"Codex"_s);
    const auto laidOut = [&] {
        QStyleOptionViewItem option;
        option.rect = QRect(0, 0, view.viewport()->width() - 2 * TranscriptView::margin, 1);
        option.font = view.font();
        const auto *delegate = qobject_cast<TranscriptBubbleDelegate *>(view.itemDelegate());
        return delegate->bubble(option, model.index(0)).isLaidOut();
    };
    QTRY_VERIFY_WITH_TIMEOUT(laidOut(), 10'000);
    QTRY_VERIFY(view.verticalScrollBar()->maximum() > 10'000);
    QVERIFY2(timer.elapsed() < 5'000, qPrintable(QString::number(timer.elapsed())));
    view.copyText(model.index(0));
    QVERIFY(QGuiApplication::clipboard()->text() == line);
}

} // namespace tessel

QTEST_MAIN(tessel::tst_TranscriptBubble)
#include "tst_TranscriptBubble.moc"
