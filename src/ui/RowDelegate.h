#pragma once

#include <QStyledItemDelegate>

namespace tessel {

// What the list rows share: the style's selection and hover background, the text colours
// that read on it, and one-line text elided to its room.
class RowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

protected:
    static constexpr int horizontalPadding = 8;

    static void paintBackground(QPainter *painter, const QStyleOptionViewItem &option);
    static QColor primaryText(const QStyleOptionViewItem &option);
    static QColor secondaryText(const QStyleOptionViewItem &option);
    // Draws `text` on one line in `rect`, elided at the end when it does not fit.
    static void drawLine(QPainter *painter, const QRect &rect, const QString &text, const QFont &font,
                         const QColor &colour, Qt::Alignment alignment = Qt::AlignLeading);
    static int lineHeight(const QFont &font);
    // The row's width: the option's when the view gives one, else the view's.
    static int rowWidth(const QStyleOptionViewItem &option);
};

} // namespace tessel
