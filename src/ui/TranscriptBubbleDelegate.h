#pragma once

#include "ui/TranscriptBubble.h"

#include <QPersistentModelIndex>
#include <QStyledItemDelegate>
#include <QTimer>

#include <memory>
#include <vector>

namespace tessel {

// Paints rows of a TranscriptListModel as transcript bubbles; the width available to a
// bubble is `option.rect.width()`. The view caches the heights it measures; the delegate
// keeps the layouts of the rows it handled last, so a frame lays a row out once for
// measuring and painting, and a streaming row only its new text (TranscriptBubble::extend).
//
// Measuring a row lays out as much of it as one frame affords; a row left unfinished is
// reported by layoutPending() on the next turn of the event loop, to be measured again.
class TranscriptBubbleDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit TranscriptBubbleDelegate(QObject *parent = nullptr);
    ~TranscriptBubbleDelegate() override;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    // The row laid out at the option's width and font; valid until the next call.
    const TranscriptBubble &bubble(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    static TranscriptBubble::Content contentAt(const QModelIndex &index);
    void setIndicatorTurn(qreal turn) { m_indicatorTurn = turn; }
    // Whether assistant replies are rendered as Markdown (on by default).
    void setRenderMarkdown(bool on);
    bool rendersMarkdown() const { return m_renderMarkdown; }

Q_SIGNALS:
    // The row's bubble is not laid out completely yet: its height is partly an estimate.
    void layoutPending(const QModelIndex &index);

private:
    struct CachedBubble
    {
        QPersistentModelIndex index;
        QFont font;
        std::unique_ptr<TranscriptBubble> bubble;
        quint64 lastUse = 0;
    };
    static constexpr size_t cacheSize = 48;

    TranscriptBubble &cachedBubble(const QStyleOptionViewItem &option, const QModelIndex &index) const;
    void reportPending();

    mutable std::vector<CachedBubble> m_cache;
    mutable quint64 m_uses = 0;
    mutable QList<QPersistentModelIndex> m_pending;
    mutable QTimer m_pendingTimer;
    qreal m_indicatorTurn = 0;
    bool m_renderMarkdown = true;
};

} // namespace tessel
