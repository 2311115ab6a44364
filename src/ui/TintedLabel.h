#pragma once

#include <QLabel>

class QPainter;

namespace tessel {

// A label drawn in a tint colour on a rounded background of the same tint at a low opacity.
// StatusBadge and MessageCard are its two forms.
class TintedLabel : public QLabel
{
    Q_OBJECT

public:
    // A negative corner radius makes a capsule (the radius is half the height).
    TintedLabel(qreal fillOpacity, int cornerRadius, QWidget *parent = nullptr);

    QColor tint() const { return m_tint; }
    void setTint(const QColor &tint);
    void setText(const QString &text, const QColor &tint);
    using QLabel::setText;

protected:
    void paintEvent(QPaintEvent *event) override;
    void paintBackground(QPainter &painter) const;

private:
    qreal m_fillOpacity;
    int m_cornerRadius;
    QColor m_tint;
};

} // namespace tessel
