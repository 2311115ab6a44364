#pragma once

#include "app/DesktopTranscriptItem.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QTextLayout>

#include <memory>
#include <vector>

class QPainter;

namespace tessel {

// One transcript item laid out at a width: the title over the body on a rounded bubble of
// the role's colour, with a progress mark at the bottom-trailing corner while it streams.
//
// Laying text out is the expensive part. The body is laid out in chunks of lines so that a
// streaming reply that grows by a delta lays out only its last line and the new text again,
// not the whole reply; painting draws only the lines inside the painter's clip.
class TranscriptBubble
{
public:
    static constexpr int padding = 16;
    static constexpr int cornerRadius = 20;
    static constexpr int spacing = 6;
    static constexpr int indicatorSize = 10;
    static constexpr int indicatorPen = 2;

    // What a bubble shows of an item; the item's ids play no part.
    struct Content
    {
        DesktopTranscriptRole role = DesktopTranscriptRole::system;
        QString title;
        QString body;
        bool isStreaming = false;

        static Content of(const DesktopTranscriptItem &item);
    };

    // A cheap guess of a bubble's height from its text length alone, for rows not yet
    // measured; built once per font and width.
    class HeightEstimate
    {
    public:
        HeightEstimate(const QFont &baseFont, int width);
        int height(DesktopTranscriptRole role, qsizetype bodyLength) const;

    private:
        int m_textWidth;
        int m_fixedHeight;
        int m_lineHeight;
        qreal m_charWidth;
        qreal m_monospacedCharWidth;
    };

    TranscriptBubble(const Content &content, const QFont &baseFont, int width);

    int width() const { return m_width; }
    int height() const;
    const Content &content() const { return m_content; }
    // Takes a content whose body extends this one's (a streamed delta) and lays out only
    // what changed; returns false, changing nothing, for any other change of layout.
    bool extend(const Content &content);
    // Where the body text sits, relative to the bubble's top-left corner.
    QRect bodyRect() const;
    // Where body characters [start, start + length) are drawn, one rect per line they cover,
    // relative to the bubble's top-left corner.
    QList<QRectF> textRangeRects(qsizetype start, qsizetype length) const;
    // `indicatorTurn` (0..1) rotates the streaming mark; the view advances it while rows stream.
    void paint(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal indicatorTurn = 0) const;
    // What the streaming mark of a bubble occupying `bubble` paints, its pen included.
    static QRect indicatorRect(const QRect &bubble);

    static QString defaultTitle(DesktopTranscriptRole role);
    // The item's title, or the role's default when it is empty.
    static QString shownTitle(DesktopTranscriptRole role, const QString &title);
    static QColor background(DesktopTranscriptRole role, const QPalette &palette);
    static QColor titleColour(DesktopTranscriptRole role, const QPalette &palette);
    static QFont bodyFont(DesktopTranscriptRole role, const QFont &baseFont);
    static Qt::Alignment alignment(DesktopTranscriptRole role);

private:
    // A run of body lines: lines [0, lineCount) of `layout`, placed at `top` in the body.
    struct BodyChunk
    {
        std::unique_ptr<QTextLayout> layout;
        int lineCount = 0;
        qreal top = 0;
        // Where the layout's text starts in the body.
        qsizetype start = 0;
    };

    void layOutBodyFrom(qsizetype start, qreal top);
    int textWidth() const;
    void paintBody(QPainter *painter, QPointF origin) const;
    static void paintIndicator(QPainter *painter, const QRect &bubble, const QPalette &palette, qreal turn);

    Content m_content;
    QFont m_bodyFont;
    int m_width;
    std::unique_ptr<QTextLayout> m_title;
    std::vector<BodyChunk> m_body;
    int m_titleHeight = 0;
};

} // namespace tessel
