#include "ui/RowDelegate.h"

#include "ui/UiStyle.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QPainter>

namespace tessel {

void RowDelegate::paintBackground(QPainter *painter, const QStyleOptionViewItem &option)
{
    const QWidget *widget = option.widget;
    QStyle *style = widget ? widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &option, painter, widget);
}

QColor RowDelegate::primaryText(const QStyleOptionViewItem &option)
{
    return option.state & QStyle::State_Selected ? option.palette.color(QPalette::HighlightedText)
                                                 : UiStyle::primary(option.palette);
}

QColor RowDelegate::secondaryText(const QStyleOptionViewItem &option)
{
    return option.state & QStyle::State_Selected
        ? UiStyle::withOpacity(option.palette.color(QPalette::HighlightedText), 0.8)
        : UiStyle::secondary(option.palette);
}

void RowDelegate::drawLine(QPainter *painter, const QRect &rect, const QString &text, const QFont &font,
                           const QColor &colour, Qt::Alignment alignment)
{
    painter->setFont(font);
    painter->setPen(colour);
    const QString shown = QFontMetrics(font).elidedText(text, Qt::ElideRight, rect.width());
    painter->drawText(rect, int(alignment | Qt::AlignVCenter | Qt::TextSingleLine), shown);
}

int RowDelegate::lineHeight(const QFont &font)
{
    return QFontMetrics(font).height();
}

int RowDelegate::rowWidth(const QStyleOptionViewItem &option)
{
    if (option.rect.width() > 0)
        return option.rect.width();
    const auto *view = qobject_cast<const QAbstractItemView *>(option.widget);
    return view ? view->viewport()->width() : 200;
}

} // namespace tessel
