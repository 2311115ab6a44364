#pragma once

#include <QFont>
#include <QList>
#include <QRectF>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QPalette;
class QTextDocument;
class QTextLayout;

namespace tessel {

// A transcript item's body laid out at a width, built to stay quick whatever the text.
//
// The body is laid out from the top in segments, a little per call (layOutMore() stops
// after its time budget), and only its first `shownLimit` characters ever are. A segment
// keeps where its text lies and how tall it is, not the laid-out glyphs: those are kept
// for a few recently painted segments and laid out again when a segment comes back into
// sight. Plain text is laid out in windows of at most `windowLength` characters: the last
// line of a window may still change with the text after it, so it is laid out again as
// the start of the next window, which keeps every line as a whole-text layout would break
// it and cuts runs without a break opportunity into lines of their own.
//
// With Markdown on, the text is split into blocks at blank lines outside fenced code; each
// finished block is rendered once (QTextDocument, GitHub dialect), only the open last one
// again as text arrives, and a block longer than `markdownBlockLimit` is shown plain.
class TranscriptBodyLayout
{
public:
    static constexpr qsizetype shownLimit = 262'144;
    static constexpr qsizetype markdownBlockLimit = 8'192;
    static constexpr qsizetype windowLength = 2'048;

    TranscriptBodyLayout(const QFont &font, int width, Qt::Alignment alignment, bool markdown);
    ~TranscriptBodyLayout();

    // `body` extends the text laid out so far; it is laid out by the next layOutMore().
    void extendTo(QStringView body);
    // Lays out more of `body` (the text last given to extendTo()) for about `budgetNs`
    // nanoseconds at most; returns whether everything shown is laid out.
    bool layOutMore(QStringView body, qint64 budgetNs);
    bool isComplete() const { return coveredTo() >= m_limit; }
    bool isTruncated() const { return m_limit < m_bodyLength; }
    qsizetype shownLength() const { return m_limit; }
    // Laid out so far, plus an estimate of the rest.
    qreal height() const;

    void paint(QPainter *painter, QPointF origin, const QPalette &palette, QStringView body,
               const QRectF &clip) const;
    // Rectangles, relative to the body's top-left, over body characters [start, start+length);
    // a Markdown block answers with its whole rectangle.
    QList<QRectF> rangeRects(QStringView body, qsizetype start, qsizetype length) const;
    // The link, or the text of the fenced code block, at `point` (relative to the body).
    QString linkAt(QStringView body, QPointF point) const;
    std::optional<QString> codeAt(QStringView body, QPointF point) const;
    // The blocks the text was split into, as rendered text, for checking rendering.
    QStringList renderedBlocks(QStringView body) const;

private:
    struct Segment
    {
        qsizetype start = 0;
        qsizetype length = 0;
        qreal top = 0;
        qreal height = 0;
        int lineCount = 0;
        bool markdown = false;
        // The first segment of a block; Markdown blocks stand apart.
        bool startsBlock = false;
    };
    // The block of text being laid out: where it starts, how far it has been read and
    // whether it ended; with Markdown off the whole shown text is one block.
    struct Block
    {
        qsizetype start = 0;
        qsizetype scanned = 0;
        bool ended = false;
        bool markdown = false;
        QChar fence;
        qsizetype fenceLength = 0;
    };
    struct Rendered
    {
        size_t segment = 0;
        std::unique_ptr<QTextLayout> lines;
        std::unique_ptr<QTextDocument> document;
        quint64 lastUse = 0;
    };

    qsizetype coveredTo() const { return m_openEnd >= 0 ? m_openEnd : m_laidOut; }
    bool startBlock(QStringView body);
    void scanBlock(QStringView body);
    void layOutWindow(QStringView body);
    void layOutMarkdownBlock(QStringView body);
    void dropOpenSegment();
    void addSegment(Segment segment, Rendered rendered);
    qreal nextTop(bool startsBlock) const;
    const Rendered &rendered(QStringView body, size_t segment) const;
    const Rendered &keep(Rendered entry) const;
    std::unique_ptr<QTextLayout> layOutLines(QStringView text) const;
    std::unique_ptr<QTextDocument> layOutMarkdown(QStringView text) const;
    size_t segmentAt(qreal y) const;

    QFont m_font;
    int m_width;
    Qt::Alignment m_alignment;
    bool m_markdown;
    qreal m_lineHeight;
    qreal m_charWidth;
    qsizetype m_bodyLength = 0;
    qsizetype m_limit = 0;
    std::vector<Segment> m_segments;
    // The end of the segments that no more text can change.
    qsizetype m_laidOut = 0;
    // Laid out up to here for now, past m_laidOut when the text's end may still change what
    // was laid out last (an open last segment, or blank text that may start a block); -1 if not.
    qsizetype m_openEnd = -1;
    bool m_hasOpenSegment = false;
    bool m_inBlock = false;
    Block m_block;
    // The line being read in the current block, and whether it is blank so far.
    qsizetype m_lineStart = 0;
    bool m_lineBlank = true;
    mutable std::vector<Rendered> m_rendered;
    mutable quint64 m_uses = 0;
};

} // namespace tessel
