#include "ui/StatusBadge.h"

#include "ui/UiStyle.h"

#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

// Enough to tell the states apart when the header is short of room: "Failed: C…".
constexpr int minimumCharacters = 10;

} // namespace

StatusBadge::StatusBadge(QWidget *parent)
    : TintedLabel(0.12, -1, parent)
{
    setFont(UiStyle::semiboldCaptionFont(font()));
    setContentsMargins(10, 6, 10, 6);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

QSize StatusBadge::minimumSizeHint() const
{
    const QString start = text().left(minimumCharacters);
    const QString shortest = start.size() < text().size() ? start + u"…"_s : start;
    const QMargins margins = contentsMargins();
    return {fontMetrics().horizontalAdvance(shortest) + margins.left() + margins.right() + 2, sizeHint().height()};
}

QString StatusBadge::shownText() const
{
    return fontMetrics().elidedText(text(), Qt::ElideRight, contentsRect().width());
}

void StatusBadge::paintEvent(QPaintEvent *)
{
    QPainter painter(this);
    paintBackground(painter);
    painter.setFont(font());
    painter.setPen(tint());
    painter.drawText(contentsRect(), int(alignment()) | Qt::AlignVCenter, shownText());
}

} // namespace tessel
