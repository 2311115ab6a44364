#pragma once

#include "app/DesktopTranscriptItem.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QTextLayout>

#include <memory>

class QPainter;

namespace tessel {

// One transcript item laid out at a width: the title over the body on a rounded bubble of
// the role's colour, with a progress mark at the bottom-trailing corner while it streams.
// Laying out is the expensive part; a bubble is built to measure or paint and then dropped.
class TranscriptBubble
{
public:
    static constexpr int padding = 16;
    static constexpr int cornerRadius = 20;
    static constexpr int spacing = 6;
    static constexpr int indicatorSize = 10;

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
    // Where the body text sits, relative to the bubble's top-left corner.
    QRect bodyRect() const;
    void paint(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal indicatorTurn = 0) const;

    static QString defaultTitle(DesktopTranscriptRole role);
    // The item's title, or the role's default when it is empty.
    static QString shownTitle(DesktopTranscriptRole role, const QString &title);
    static QColor background(DesktopTranscriptRole role, const QPalette &palette);
    static QColor titleColour(DesktopTranscriptRole role, const QPalette &palette);
    static QFont bodyFont(DesktopTranscriptRole role, const QFont &baseFont);
    static Qt::Alignment alignment(DesktopTranscriptRole role);

private:
    void paintIndicator(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal turn) const;

    DesktopTranscriptRole m_role;
    bool m_isStreaming;
    int m_width;
    std::unique_ptr<QTextLayout> m_title;
    std::unique_ptr<QTextLayout> m_body;
    int m_titleHeight = 0;
    int m_bodyHeight = 0;
};

} // namespace tessel
