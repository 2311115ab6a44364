#pragma once

#include "app/DesktopTranscriptItem.h"

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QTextLayout>

#include <functional>
#include <memory>

class QPainter;

namespace tessel {

class TranscriptBodyLayout;

// One transcript item laid out at a width: the title over the body on a rounded bubble of
// the role's colour, with a progress mark at the bottom-trailing corner while it streams.
//
// The body is laid out by a TranscriptBodyLayout, a little at a time (layOutMore()), so no
// text of any size holds up a frame; an assistant reply is rendered as Markdown when
// `renderMarkdown` is on. A body longer than TranscriptBodyLayout::shownLimit shows its
// start and says so, offering the whole text.
class TranscriptBubble
{
public:
    static constexpr int padding = 16;
    static constexpr int cornerRadius = 20;
    static constexpr int spacing = 6;
    static constexpr int indicatorSize = 10;
    static constexpr int indicatorPen = 2;
    // What one call of layOutMore() may spend by default.
    static constexpr qint64 layoutBudgetNs = 3'000'000;

    // What a bubble shows of an item; the item's ids play no part. `bodyRevision` changes
    // whenever the body is replaced rather than extended.
    struct Content
    {
        DesktopTranscriptRole role = DesktopTranscriptRole::system;
        QString title;
        QString body;
        bool isStreaming = false;
        quint64 bodyRevision = 0;

        static Content of(const DesktopTranscriptItem &item);
    };
    // Where a bubble reads its body when it needs it. A bubble kept by a view keeps no copy
    // of the body, so that the item can grow without being copied and memory stays one copy.
    using BodySource = std::function<QString()>;

    // What lies under a point of the bubble.
    struct Hit
    {
        enum class Kind { none, link, code, wholeText };
        Kind kind = Kind::none;
        // The link's address or the code block's text.
        QString text;
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

    // Lays nothing of the body out yet (layOutMore() does); without a source the bubble keeps the body.
    TranscriptBubble(const Content &content, const QFont &baseFont, int width, bool renderMarkdown = true,
                     BodySource source = {});
    TranscriptBubble(TranscriptBubble &&) noexcept;
    TranscriptBubble &operator=(TranscriptBubble &&) noexcept;
    ~TranscriptBubble();

    int width() const { return m_width; }
    int height() const;
    DesktopTranscriptRole role() const { return m_role; }
    bool isStreaming() const { return m_isStreaming; }
    qsizetype bodyLength() const { return m_bodyLength; }
    // Takes a content whose body extends this one's (a streamed delta, same revision); the
    // new text is laid out by layOutMore(). Returns false, changing nothing, for any other change.
    bool extend(const Content &content);
    // Returns whether the whole body shown is laid out; until then height() includes an estimate.
    bool layOutMore(qint64 budgetNs = layoutBudgetNs);
    bool isLaidOut() const;
    // Where the body text sits, relative to the bubble's top-left corner.
    QRect bodyRect() const;
    // Rectangles, relative to the bubble's top-left, over body characters [start, start+length)
    // of the item's text; a Markdown block answers with its whole rectangle.
    QList<QRectF> textRangeRects(qsizetype start, qsizetype length) const;
    Hit hitAt(QPoint point) const;
    // The body's blocks as rendered, for checking what is shown.
    QStringList renderedBlocks() const;
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
    QString body() const;
    int textWidth() const;
    void updateNotice();
    QRect noticeRect() const;
    static void paintIndicator(QPainter *painter, const QRect &bubble, const QPalette &palette, qreal turn);

    DesktopTranscriptRole m_role;
    QString m_title;
    bool m_isStreaming;
    quint64 m_bodyRevision;
    qsizetype m_bodyLength;
    bool m_renderMarkdown;
    BodySource m_source;
    // The body, only for a bubble without a source.
    QString m_ownBody;
    int m_width;
    QFont m_baseFont;
    std::unique_ptr<QTextLayout> m_titleLayout;
    int m_titleHeight = 0;
    std::unique_ptr<TranscriptBodyLayout> m_body;
    // Says how much of a long body is shown; null while all of it is.
    std::unique_ptr<QTextLayout> m_notice;
};

} // namespace tessel
