#include "ui/TintedLabel.h"

#include "ui/UiStyle.h"

#include <QPainter>

namespace tessel {

TintedLabel::TintedLabel(qreal fillOpacity, int cornerRadius, QWidget *parent)
    : QLabel(parent)
    , m_fillOpacity(fillOpacity)
    , m_cornerRadius(cornerRadius)
{
    // Messages come from gateways: never read them as markup.
    setTextFormat(Qt::PlainText);
    setTint(UiStyle::secondary(palette()));
}

void TintedLabel::setTint(const QColor &tint)
{
    m_tint = tint;
    QPalette colours = palette();
    colours.setColor(QPalette::WindowText, tint);
    setPalette(colours);
    update();
}

void TintedLabel::setText(const QString &text, const QColor &tint)
{
    setText(text);
    setTint(tint);
}

void TintedLabel::paintEvent(QPaintEvent *event)
{
    {
        QPainter painter(this);
        paintBackground(painter);
    }
    QLabel::paintEvent(event);
}

void TintedLabel::paintBackground(QPainter &painter) const
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(Qt::NoPen);
    painter.setBrush(UiStyle::withOpacity(m_tint, m_fillOpacity));
    const qreal radius = m_cornerRadius < 0 ? height() / 2.0 : m_cornerRadius;
    painter.drawRoundedRect(QRectF(rect()), radius, radius);
    painter.restore();
}

} // namespace tessel
