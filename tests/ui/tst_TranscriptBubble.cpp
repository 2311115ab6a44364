#include "ui/TranscriptBubble.h"
#include "ui/UiStyle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_TranscriptBubble : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void showsTitleOrRoleDefault_data();
    void showsTitleOrRoleDefault();
    void coloursFollowTheRole();
    void toolBodiesAreMonospaced();
    void growingByDeltasLaysOutLikeTheWholeText();
    void extendRefusesChangesOtherThanGrowth();
    void breaksLinesAtNewlines();
};

using Role = DesktopTranscriptRole;

void tst_TranscriptBubble::showsTitleOrRoleDefault_data()
{
    QTest::addColumn<Role>("role");
    QTest::addColumn<QString>("title");
    QTest::addColumn<QString>("shown");
    QTest::newRow("system") << Role::system << QString() << u"System"_s;
    QTest::newRow("user") << Role::user << QString() << u"You"_s;
    QTest::newRow("assistant") << Role::assistant << QString() << u"Assistant"_s;
    QTest::newRow("thinking") << Role::thinking << QString() << u"Thinking"_s;
    QTest::newRow("tool") << Role::tool << QString() << u"Tool"_s;
    QTest::newRow("error") << Role::error << QString() << u"Error"_s;
    QTest::newRow("given title wins") << Role::assistant << u"Codex"_s << u"Codex"_s;
    QTest::newRow("error code") << Role::error << u"auth_failed"_s << u"auth_failed"_s;
}

void tst_TranscriptBubble::showsTitleOrRoleDefault()
{
    QFETCH(Role, role);
    QFETCH(QString, title);
    QFETCH(QString, shown);
    QCOMPARE(TranscriptBubble::shownTitle(role, title), shown);
}

void tst_TranscriptBubble::coloursFollowTheRole()
{
    QPalette light;
    light.setColor(QPalette::Window, QColor(236, 236, 236));
    light.setColor(QPalette::Text, Qt::black);
    light.setColor(QPalette::Highlight, QColor(0, 100, 220));
    const auto background = [&](Role role) { return TranscriptBubble::background(role, light); };
    QCOMPARE(background(Role::system), QColor::fromRgbF(0, 0, 0, 0.04f));
    QCOMPARE(background(Role::user), UiStyle::withOpacity(QColor(0, 100, 220), 0.12));
    QCOMPARE(background(Role::assistant), QColor::fromRgbF(1, 1, 1, 0.9f));
    QCOMPARE(background(Role::thinking), UiStyle::withOpacity(UiStyle::blue(), 0.08));
    QCOMPARE(background(Role::tool), UiStyle::withOpacity(UiStyle::orange(), 0.08));
    QCOMPARE(background(Role::error), UiStyle::withOpacity(UiStyle::red(), 0.08));

    const auto title = [&](Role role) { return TranscriptBubble::titleColour(role, light); };
    QCOMPARE(title(Role::system), UiStyle::secondary(light));
    QCOMPARE(title(Role::user), QColor(0, 100, 220));
    QCOMPARE(title(Role::assistant), QColor(Qt::black));
    QCOMPARE(title(Role::thinking), QColor::fromRgbF(0.18f, 0.39f, 0.78f));
    QCOMPARE(title(Role::tool), UiStyle::orange());
    QCOMPARE(title(Role::error), UiStyle::red());

    // On a dark palette the assistant's light card would put white text on white.
    QPalette dark = light;
    dark.setColor(QPalette::Window, QColor(40, 40, 40));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, Qt::white);
    QCOMPARE(TranscriptBubble::background(Role::assistant, dark),
             QColor::fromRgbF(30 / 255.f, 30 / 255.f, 30 / 255.f, 0.9f));
}

void tst_TranscriptBubble::toolBodiesAreMonospaced()
{
    // Fontconfig does not always flag monospaced fonts as fixed pitch; compare advances.
    const auto monospaced = [](const QFont &font) {
        const QFontMetrics metrics(font);
        return metrics.horizontalAdvance(u"iiii"_s) == metrics.horizontalAdvance(u"WWWW"_s);
    };
    const QFont base = QApplication::font();
    QVERIFY(monospaced(TranscriptBubble::bodyFont(Role::tool, base)));
    QVERIFY(!monospaced(TranscriptBubble::bodyFont(Role::assistant, base)));
    QCOMPARE(TranscriptBubble::alignment(Role::user), Qt::AlignTrailing);
    QCOMPARE(TranscriptBubble::alignment(Role::assistant), Qt::AlignLeading);
}

void tst_TranscriptBubble::growingByDeltasLaysOutLikeTheWholeText()
{
    const QFont font = QApplication::font();
    TranscriptBubble::Content content{Role::assistant, u"Codex"_s, u"Start."_s, true};
    TranscriptBubble growing(content, font, 400);
    const QStringList deltas = {u" A sentence that goes on"_s, u" across several lines of the bubble,"_s,
                                u"\nthen a new paragraph"_s,   u" and an unbrokenwordthatisratherlong"_s,
                                u" words "_s.repeated(40),     u"\n\n- a list item"_s};
    for (int round = 0; round < 6; ++round) {
        for (const QString &delta : deltas) {
            content.body += delta;
            QVERIFY(growing.extend(content));
            QCOMPARE(growing.height(), TranscriptBubble(content, font, 400).height());
        }
    }
    QCOMPARE(growing.content().body, content.body);
    content.isStreaming = false;
    QVERIFY(growing.extend(content));
    QVERIFY(!growing.content().isStreaming);
}

void tst_TranscriptBubble::extendRefusesChangesOtherThanGrowth()
{
    const QFont font = QApplication::font();
    const TranscriptBubble::Content content{Role::tool, u"Tool"_s, u"Started: build"_s, true};
    TranscriptBubble bubble(content, font, 300);
    const int height = bubble.height();
    auto replaced = content;
    replaced.body = u"Completed: build"_s;
    QVERIFY(!bubble.extend(replaced));
    auto retitled = content;
    retitled.title = u"Other"_s;
    QVERIFY(!bubble.extend(retitled));
    QCOMPARE(bubble.content().body, content.body);
    QCOMPARE(bubble.height(), height);
}

void tst_TranscriptBubble::breaksLinesAtNewlines()
{
    const QFont font = QApplication::font();
    const auto bodyHeight = [&](const QString &body) {
        return TranscriptBubble({Role::assistant, {}, body, false}, font, 600).bodyRect().height();
    };
    const int one = bodyHeight(u"one"_s);
    QVERIFY(bodyHeight(u"one\ntwo\nthree"_s) >= 3 * one - 2);
}

} // namespace tessel

QTEST_MAIN(tessel::tst_TranscriptBubble)
#include "tst_TranscriptBubble.moc"
