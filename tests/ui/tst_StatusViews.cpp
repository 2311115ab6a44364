#include "ui/ConnectionStatus.h"
#include "ui/ElidedLabel.h"
#include "ui/Icons.h"
#include "ui/MessageCard.h"
#include "ui/StatusBadge.h"
#include "ui/StatusRow.h"
#include "ui/UiStyle.h"

#include <QAccessible>
#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPainter>
#include <QTest>
#include <QVBoxLayout>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_StatusViews : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void connectionStatesHaveTheirTextsAndColours();
    void badgePadsItsTextOnATintedCapsule();
    void statusRowValueNamesItselfAndIsLabelledByItsTitle();
    void everySymbolIsDrawnWithoutAnIconTheme();
    void longTextsEndInAnEllipsis();
    void tintedIconsTakeOneColour();
    void rendersBadgesCardsAndRows();
};

void tst_StatusViews::connectionStatesHaveTheirTextsAndColours()
{
    const QPalette palette = QApplication::palette();
    const auto status = [&](const ConnectionState &state) { return ConnectionStatus::of(state, palette); };
    QCOMPARE(status(ConnectionState::disconnected()).text, u"Disconnected"_s);
    QCOMPARE(status(ConnectionState::disconnected()).tint, UiStyle::secondary(palette));
    QCOMPARE(status(ConnectionState::connecting()).text, u"Connecting"_s);
    QCOMPARE(status(ConnectionState::connecting()).tint, UiStyle::orange());
    QCOMPARE(status(ConnectionState::connected()).text, u"Connected"_s);
    QCOMPARE(status(ConnectionState::connected()).tint, UiStyle::green());
    const auto failed = status(ConnectionState::failed(u"Could not connect to host: refused"_s));
    QCOMPARE(failed.text, u"Failed: Could not connect to host: refused"_s);
    QCOMPARE(failed.tint, UiStyle::red());
}

void tst_StatusViews::badgePadsItsTextOnATintedCapsule()
{
    StatusBadge badge;
    badge.setText(u"Unsaved"_s, UiStyle::orange());
    QCOMPARE(badge.text(), u"Unsaved"_s);
    QCOMPARE(badge.tint(), UiStyle::orange());
    QCOMPARE(badge.palette().color(QPalette::WindowText), UiStyle::orange());
    QCOMPARE(badge.font().weight(), QFont::DemiBold);
    const QFontMetrics metrics(badge.font());
    QVERIFY(badge.sizeHint().width() >= metrics.horizontalAdvance(u"Unsaved"_s) + 20);
    QVERIFY(badge.sizeHint().height() >= metrics.height() + 12);

    // A failure message from a gateway is shown as it is, never as markup.
    QCOMPARE(badge.textFormat(), Qt::PlainText);
    QCOMPARE(MessageCard().textFormat(), Qt::PlainText);
    badge.resize(badge.sizeHint());
    const QImage image = badge.grab().toImage();
    // The middle of the left edge is inside the capsule, the corner outside it.
    const QColor inside = image.pixelColor(3, image.height() / 2);
    const QColor corner = image.pixelColor(0, 0);
    QVERIFY(inside != corner);
    QVERIFY(inside.red() > inside.blue());
}

void tst_StatusViews::statusRowValueNamesItselfAndIsLabelledByItsTitle()
{
    StatusRow row(u"Connection"_s);
    row.setValue(u"Connected"_s);
    QCOMPARE(row.title(), u"Connection"_s);
    QCOMPARE(row.value(), u"Connected"_s);
    QVERIFY(row.valueLabel()->textInteractionFlags() & Qt::TextSelectableByMouse);
    // A screen reader reads the value the screen shows, under its title.
    QAccessibleInterface *value = QAccessible::queryAccessibleInterface(row.valueLabel());
    QCOMPARE(value->text(QAccessible::Name), u"Connected"_s);
    const auto labels = value->relations(QAccessible::Label);
    QCOMPARE(labels.size(), 1);
    QCOMPARE(labels.first().first->text(QAccessible::Name), u"Connection"_s);
    row.setValue(u"Disconnected"_s);
    QCOMPARE(value->text(QAccessible::Name), u"Disconnected"_s);
    // Plain text: a value from a gateway is never interpreted as markup.
    row.setValue(u"<b>not bold</b>"_s);
    QCOMPARE(row.valueLabel()->textFormat(), Qt::PlainText);
}

void tst_StatusViews::everySymbolIsDrawnWithoutAnIconTheme()
{
    // No desktop theme: every symbol is the bundled drawing, a shape and never a filled square.
    QIcon::setThemeName(u"no-such-theme"_s);
    for (const QString &name : {u"plus"_s, u"minus"_s, u"rectangle.stack"_s, u"arrow.up.backward"_s,
                                u"arrow.clockwise"_s, u"folder"_s, u"folder.fill"_s, u"doc.text"_s}) {
        const auto symbol = Icons::fromName(name);
        QVERIFY2(symbol, qPrintable(name));
        QCOMPARE(Icons::name(*symbol), name);
        QVERIFY(!Icons::themeNames(*symbol).isEmpty());
        const QImage image = Icons::symbol(*symbol, Qt::black).pixmap(32, 32).toImage();
        QCOMPARE(image, Icons::bundled(*symbol, Qt::black).pixmap(32, 32).toImage());
        int painted = 0;
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x)
                painted += image.pixelColor(x, y).alpha() > 128;
        }
        QVERIFY2(painted > 20 && painted < image.width() * image.height() / 2, qPrintable(name));
        QCOMPARE(image.pixelColor(0, 0).alpha(), 0);
    }
    QVERIFY(!Icons::fromName(u"star"_s));
}

void tst_StatusViews::longTextsEndInAnEllipsis()
{
    const QString failure = u"Failed: Could not connect to ws://127.0.0.1:4821/a/long/path: Connection refused"_s;
    StatusBadge badge;
    badge.setText(failure, UiStyle::red());
    ElidedLabel label;
    label.setFullText(u"/home/someone/src/customer-portal/frontend/packages/app/src/components/Button.tsx"_s);
    // They give way down to a few characters, never to nothing, and say the rest in a tooltip.
    QVERIFY(badge.minimumSizeHint().width() < badge.sizeHint().width() / 3);
    QVERIFY(badge.minimumSizeHint().width() > badge.contentsMargins().left() + badge.contentsMargins().right());
    for (QWidget *widget : {static_cast<QWidget *>(&badge), static_cast<QWidget *>(&label)}) {
        widget->resize(160, widget->sizeHint().height());
        widget->show();
        QVERIFY(QTest::qWaitForWindowExposed(widget));
    }
    QVERIFY2(badge.shownText().endsWith(u"…"_s), qPrintable(badge.shownText()));
    QVERIFY(badge.shownText().startsWith(u"Failed: "_s));
    QCOMPARE(badge.text(), failure);
    QVERIFY2(label.text().contains(u"…"_s) && label.text().endsWith(u"Button.tsx"_s), qPrintable(label.text()));
    QCOMPARE(label.toolTip(), label.fullText());
    badge.resize(badge.sizeHint());
    QCOMPARE(badge.shownText(), failure);
}

void tst_StatusViews::tintedIconsTakeOneColour()
{
    const QColor accent(0, 100, 220);
    const QImage image = Icons::tinted(Icons::symbol(SfSymbol::folderFill), QSize(16, 16), accent).toImage();
    int painted = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor pixel = image.pixelColor(x, y);
            if (pixel.alpha() < 255)
                continue;
            ++painted;
            QCOMPARE(pixel.rgb(), accent.rgb());
        }
    }
    QVERIFY(painted > 0);
}

void tst_StatusViews::rendersBadgesCardsAndRows()
{
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    const QPalette palette = window.palette();
    for (const auto &state : {ConnectionState::connected(), ConnectionState::connecting(),
                              ConnectionState::failed(u"Could not connect to 127.0.0.1"_s)}) {
        auto *badge = new StatusBadge(&window);
        const auto status = ConnectionStatus::of(state, palette);
        badge->setText(status.text, status.tint);
        layout->addWidget(badge);
    }
    auto *saved = new MessageCard(&window);
    saved->setText(u"Loaded from the selected gateway."_s, UiStyle::green());
    layout->addWidget(saved);
    auto *error = new MessageCard(&window);
    error->setText(u"The file changed on the gateway since it was opened."_s, UiStyle::red());
    layout->addWidget(error);
    auto *row = new StatusRow(u"Connection"_s, &window);
    row->setValue(u"Connected"_s);
    layout->addWidget(row);
    auto *icons = new QLabel(&window);
    QPixmap strip(8 * 24, 24);
    strip.fill(Qt::transparent);
    {
        QPainter painter(&strip);
        for (int i = 0; i < 8; ++i)
            Icons::symbol(SfSymbol(i)).paint(&painter, QRect(i * 24 + 2, 2, 20, 20));
    }
    icons->setPixmap(strip);
    layout->addWidget(icons);
    window.resize(360, window.sizeHint().height());
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    // The wrapped message gets the height its text needs at its width.
    QVERIFY(error->height() >= error->heightForWidth(error->width()));
    const QString dir = qEnvironmentVariable("TESSEL_UI_SNAPSHOT_DIR");
    if (!dir.isEmpty())
        QVERIFY(window.grab().save(QDir(dir).filePath(u"status-views.png"_s)));
}

} // namespace tessel

QTEST_MAIN(tessel::tst_StatusViews)
#include "tst_StatusViews.moc"
