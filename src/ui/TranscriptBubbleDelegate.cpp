#include "ui/TranscriptBubbleDelegate.h"

#include "app/TranscriptListModel.h"

#include <QPainter>

namespace tessel {

void TranscriptBubbleDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    bubble(option, index).paint(painter, option.rect.topLeft(), option.palette, m_indicatorTurn);
}

QSize TranscriptBubbleDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return QSize(option.rect.width(), bubble(option, index).height());
}

TranscriptBubble TranscriptBubbleDelegate::bubble(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    return TranscriptBubble(contentAt(index), option.font, option.rect.width());
}

TranscriptBubble::Content TranscriptBubbleDelegate::contentAt(const QModelIndex &index)
{
    return TranscriptBubble::Content{
        static_cast<DesktopTranscriptRole>(index.data(TranscriptListModel::TranscriptRoleRole).toInt()),
        index.data(TranscriptListModel::TitleRole).toString(), index.data(TranscriptListModel::BodyRole).toString(),
        index.data(TranscriptListModel::IsStreamingRole).toBool()};
}

} // namespace tessel
