#include "ui/ConnectionStatus.h"
#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/MessageCard.h"
#include "ui/StatusBadge.h"
#include "ui/StatusRow.h"
#include "ui/UiStyle.h"

#include <QAccessible>
#include <QApplication>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

// How many pixels of `image` pass `test`.
int countPixels(const QImage &image, const std::function<bool(QColor)> &test)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            count += test(image.pixelColor(x, y));
    }
    return count;
}

void showExposed(QWidget &widget, QSize size)
{
    widget.resize(size);
    widget.show();
    QVERIFY(QTest::qWaitForWindowExposed(&widget));
}

class tst_StatusViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectionStatesHaveTheirTextsAndColours()
    {
        const QPalette palette = QApplication::palette();
        QList<std::pair<QString, QColor>> shown;
        for (const ConnectionState &state :
             {ConnectionState::disconnected(), ConnectionState::connecting(), ConnectionState::connected(),
              ConnectionState::failed(u"Could not connect to host: refused"_s)}) {
            const ConnectionStatus status = ConnectionStatus::of(state, palette);
            shown << std::pair(status.text, status.tint);
        }
        QCOMPARE(shown, (QList<std::pair<QString, QColor>>{{u"Disconnected"_s, UiStyle::secondary(palette)},
                                                           {u"Connecting"_s, UiStyle::orange()},
                                                           {u"Connected"_s, UiStyle::green()},
                                                           {u"Failed: Could not connect to host: refused"_s,
                                                            UiStyle::red()}}));
    }

    // A badge pads its text on a tinted capsule; a long one gives way down to a few
    // characters, never to nothing, ends in an ellipsis and says the rest in a tooltip.
    void badgeAndLabelShowTheirTextOrElideIt()
    {
        const QString failure = u"Failed: Could not connect to ws://127.0.0.1:4821/a/long/path: Connection refused"_s;
        StatusBadge badge;
        badge.setText(failure, UiStyle::red());
        QCOMPARE(badge.palette().color(QPalette::WindowText), UiStyle::red());
        QCOMPARE(badge.font().weight(), QFont::DemiBold);
        const QFontMetrics metrics(badge.font());
        QVERIFY(badge.sizeHint().width() >= metrics.horizontalAdvance(failure) + 20);
        QVERIFY(badge.sizeHint().height() >= metrics.height() + 12);
        // A failure message from a gateway is shown as it is, never as markup.
        QCOMPARE(std::pair(badge.textFormat(), MessageCard().textFormat()), std::pair(Qt::PlainText, Qt::PlainText));
        showExposed(badge, badge.sizeHint());
        QCOMPARE(badge.shownText(), failure);
        // The middle of the left edge is inside the capsule, the corner outside it.
        const QImage image = badge.grab().toImage();
        const QColor inside = image.pixelColor(3, image.height() / 2);
        QVERIFY(inside != image.pixelColor(0, 0) && inside.red() > inside.blue());

        QVERIFY(badge.minimumSizeHint().width() < badge.sizeHint().width() / 3);
        QVERIFY(badge.minimumSizeHint().width() > badge.contentsMargins().left() + badge.contentsMargins().right());
        badge.resize(160, badge.height());
        QVERIFY2(badge.shownText().startsWith(u"Failed: "_s) && badge.shownText().endsWith(u"…"_s),
                 qPrintable(badge.shownText()));
        QCOMPARE(badge.text(), failure);
        ElidedLabel label;
        label.setFullText(u"/home/someone/src/customer-portal/frontend/packages/app/src/components/Button.tsx"_s);
        showExposed(label, QSize(160, label.sizeHint().height()));
        QVERIFY2(label.text().contains(u"…"_s) && label.text().endsWith(u"Button.tsx"_s), qPrintable(label.text()));
        QCOMPARE(label.toolTip(), label.fullText());
    }

    void statusRowValueNamesItselfAndIsLabelledByItsTitle()
    {
        StatusRow row(u"Connection"_s);
        row.setValue(u"<b>Disconnected</b>"_s);
        QVERIFY(row.valueLabel()->textInteractionFlags() & Qt::TextSelectableByMouse);
        // Plain text: a value from a gateway is never interpreted as markup.
        QCOMPARE(row.valueLabel()->textFormat(), Qt::PlainText);
        // A screen reader reads the value the screen shows, under its title.
        QAccessibleInterface *value = QAccessible::queryAccessibleInterface(row.valueLabel());
        QCOMPARE(value->text(QAccessible::Name), u"<b>Disconnected</b>"_s);
        row.setValue(u"Connected"_s);
        QCOMPARE(value->text(QAccessible::Name), u"Connected"_s);
        const auto labels = value->relations(QAccessible::Label);
        QCOMPARE(labels.size(), 1);
        QCOMPARE(labels.first().first->text(QAccessible::Name), u"Connection"_s);
    }

    void everySymbolIsDrawnWithoutAnIconThemeAndTintsInOneColour()
    {
        // No desktop theme: every symbol is the bundled drawing, a shape and never a filled square.
        QIcon::setThemeName(u"no-such-theme"_s);
        for (const QString &name : {u"plus"_s, u"minus"_s, u"rectangle.stack"_s, u"arrow.up.backward"_s,
                                    u"arrow.clockwise"_s, u"folder"_s, u"folder.fill"_s, u"doc.text"_s}) {
            const auto symbol = Icons::fromName(name);
            QVERIFY2(symbol && Icons::name(*symbol) == name && !Icons::themeNames(*symbol).isEmpty(), qPrintable(name));
            const QImage image = Icons::symbol(*symbol, Qt::black).pixmap(32, 32).toImage();
            QCOMPARE(image, Icons::bundled(*symbol, Qt::black).pixmap(32, 32).toImage());
            const int painted = countPixels(image, [](QColor pixel) { return pixel.alpha() > 128; });
            QVERIFY2(painted > 20 && painted < image.width() * image.height() / 2, qPrintable(name));
            QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
        }
        QVERIFY(!Icons::fromName(u"star"_s));

        const QColor accent(0, 100, 220);
        const QImage image = Icons::tinted(Icons::symbol(SfSymbol::folderFill), QSize(16, 16), accent).toImage();
        const int opaque = countPixels(image, [](QColor pixel) { return pixel.alpha() == 255; });
        QVERIFY(opaque > 0);
        QCOMPARE(countPixels(image, [&](QColor pixel) { return pixel.alpha() == 255 && pixel.rgb() == accent.rgb(); }),
                 opaque);
    }

    void wrappedCardTakesTheHeightItsTextNeeds()
    {
        QWidget window;
        auto *card = new MessageCard(&window);
        card->setText(u"The file changed on the gateway since it was opened."_s, UiStyle::red());
        (new QVBoxLayout(&window))->addWidget(card);
        showExposed(window, QSize(200, window.sizeHint().height()));
        QVERIFY(card->height() >= card->heightForWidth(card->width()));
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_StatusViews)
#include "tst_StatusViews.moc"
