#include "ui/TranscriptBubbleDelegate.h"

#include "app/TranscriptListModel.h"

#include <QPainter>

#include <algorithm>

namespace tessel {

TranscriptBubbleDelegate::TranscriptBubbleDelegate(QObject *parent)
    : QStyledItemDelegate(parent)
{
    m_pendingTimer.setSingleShot(true);
    m_pendingTimer.setInterval(0);
    connect(&m_pendingTimer, &QTimer::timeout, this, &TranscriptBubbleDelegate::reportPending);
}

TranscriptBubbleDelegate::~TranscriptBubbleDelegate() = default;

void TranscriptBubbleDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option,
                                     const QModelIndex &index) const
{
    bubble(option, index).paint(painter, option.rect.topLeft(), option.palette, m_indicatorTurn);
}

QSize TranscriptBubbleDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    TranscriptBubble &bubble = cachedBubble(option, index);
    if (!bubble.layOutMore() && !m_pending.contains(index)) {
        m_pending.append(index);
        m_pendingTimer.start();
    }
    return QSize(option.rect.width(), bubble.height());
}

void TranscriptBubbleDelegate::reportPending()
{
    for (const QPersistentModelIndex &index : std::exchange(m_pending, {})) {
        if (index.isValid())
            Q_EMIT layoutPending(index);
    }
}

void TranscriptBubbleDelegate::setRenderMarkdown(bool on)
{
    m_renderMarkdown = on;
    m_cache.clear();
}

const TranscriptBubble &TranscriptBubbleDelegate::bubble(const QStyleOptionViewItem &option,
                                                         const QModelIndex &index) const
{
    return cachedBubble(option, index);
}

TranscriptBubble &TranscriptBubbleDelegate::cachedBubble(const QStyleOptionViewItem &option,
                                                         const QModelIndex &index) const
{
    const TranscriptBubble::Content content = contentAt(index);
    const int width = option.rect.width();
    auto cached = std::find_if(m_cache.begin(), m_cache.end(), [&](const CachedBubble &entry) {
        return entry.index.row() == index.row() && entry.index == index;
    });
    if (cached != m_cache.end() && cached->bubble->width() == width && cached->font == option.font &&
        cached->bubble->extend(content)) {
        cached->lastUse = ++m_uses;
        return *cached->bubble;
    }
    if (cached == m_cache.end()) {
        if (m_cache.size() < cacheSize)
            cached = m_cache.insert(m_cache.end(), CachedBubble{});
        else
            cached = std::min_element(m_cache.begin(), m_cache.end(),
                                      [](const auto &a, const auto &b) { return a.lastUse < b.lastUse; });
    }
    // The bubble reads the body from the model when it needs it and keeps no copy.
    auto source = [row = QPersistentModelIndex(index)] {
        return row.data(TranscriptListModel::BodyRole).toString();
    };
    *cached = CachedBubble{
        index, option.font,
        std::make_unique<TranscriptBubble>(content, option.font, width, m_renderMarkdown, std::move(source)),
        ++m_uses};
    return *cached->bubble;
}

TranscriptBubble::Content TranscriptBubbleDelegate::contentAt(const QModelIndex &index)
{
    return TranscriptBubble::Content{
        static_cast<DesktopTranscriptRole>(index.data(TranscriptListModel::TranscriptRoleRole).toInt()),
        index.data(TranscriptListModel::TitleRole).toString(), index.data(TranscriptListModel::BodyRole).toString(),
        index.data(TranscriptListModel::IsStreamingRole).toBool(),
        index.data(TranscriptListModel::BodyRevisionRole).toULongLong()};
}

} // namespace tessel
