#pragma once

#include "ui/TranscriptBubble.h"

#include <QStyledItemDelegate>

namespace tessel {

// Paints rows of a TranscriptListModel as transcript bubbles. Holds no state: the view
// caches the heights it measures, so a height is computed once per row, width and change.
// The width available to a bubble is `option.rect.width()`.
class TranscriptBubbleDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    TranscriptBubble bubble(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    static TranscriptBubble::Content contentAt(const QModelIndex &index);
    // The rotation of the streaming mark, 0..1; the view advances it while rows stream.
    void setIndicatorTurn(qreal turn) { m_indicatorTurn = turn; }

private:
    qreal m_indicatorTurn = 0;
};

} // namespace tessel
