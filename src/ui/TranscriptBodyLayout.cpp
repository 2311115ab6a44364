#include "ui/TranscriptBodyLayout.h"

#include "ui/UiStyle.h"

#include <QAbstractTextDocumentLayout>
#include <QElapsedTimer>
#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tessel {

namespace {

// Laid-out segments kept for painting, per body: enough for a screenful of short segments
// (a streamed reply is laid out a line at a time), bounded in text for long ones.
constexpr size_t renderedCacheSize = 96;
constexpr qsizetype renderedCacheLength = 24'576;

// QTextLayout breaks lines only at line separators.
QString layoutText(QStringView text)
{
    QString copy = text.toString();
    copy.replace(u'\n', QChar::LineSeparator);
    return copy;
}

struct Fence
{
    QChar mark;
    qsizetype length = 0;
};

// Up to three spaces, then three or more backticks or tildes.
Fence fenceOf(QStringView line)
{
    qsizetype i = 0;
    while (i < 3 && i < line.size() && line[i] == u' ')
        ++i;
    if (i >= line.size() || (line[i] != u'`' && line[i] != u'~'))
        return {};
    const QChar mark = line[i];
    qsizetype length = 0;
    while (i + length < line.size() && line[i + length] == mark)
        ++length;
    return length >= 3 ? Fence{mark, length} : Fence{};
}

bool closesFence(QStringView line, QChar mark, qsizetype length)
{
    const Fence fence = fenceOf(line);
    if (fence.mark != mark || fence.length < length)
        return false;
    const qsizetype rest = line.indexOf(mark) + fence.length;
    return line.mid(rest).trimmed().isEmpty();
}

bool isFencedCode(const QTextBlock &block)
{
    return block.blockFormat().hasProperty(QTextFormat::BlockCodeFence);
}

} // namespace

TranscriptBodyLayout::TranscriptBodyLayout(const QFont &font, int width, Qt::Alignment alignment, bool markdown)
    : m_font(font)
    , m_width(std::max(1, width))
    , m_alignment(alignment)
    , m_markdown(markdown)
{
    const QFontMetricsF metrics(font);
    m_lineHeight = metrics.height();
    m_charWidth = std::max<qreal>(1, metrics.averageCharWidth());
}

TranscriptBodyLayout::~TranscriptBodyLayout() = default;

void TranscriptBodyLayout::extendTo(QStringView body)
{
    m_bodyLength = body.size();
    qsizetype limit = std::min(body.size(), shownLimit);
    if (limit < body.size() && limit > 0 && body[limit - 1].isHighSurrogate())
        --limit;
    if (limit == m_limit)
        return;
    m_limit = limit;
    dropOpenSegment();
}

bool TranscriptBodyLayout::layOutMore(QStringView body, qint64 budgetNs)
{
    QElapsedTimer timer;
    timer.start();
    while (!isComplete()) {
        if (!m_inBlock && !startBlock(body))
            break;
        scanBlock(body);
        if (m_block.markdown)
            layOutMarkdownBlock(body);
        else
            layOutWindow(body);
        if (timer.nsecsElapsed() >= budgetNs)
            break;
    }
    return isComplete();
}

// Skips the blank lines between Markdown blocks; false when nothing but blank text is left.
bool TranscriptBodyLayout::startBlock(QStringView body)
{
    qsizetype start = m_laidOut;
    if (m_markdown) {
        while (start < m_limit) {
            qsizetype i = start;
            while (i < m_limit && body[i] != u'\n' && body[i].isSpace())
                ++i;
            if (i < m_limit && body[i] == u'\n')
                start = i + 1;
            else
                break;
        }
        m_laidOut = start;
        const qsizetype firstText = [&] {
            qsizetype i = start;
            while (i < m_limit && body[i].isSpace())
                ++i;
            return i;
        }();
        if (firstText >= m_limit) {
            // Only blank text so far: it may still start a block, or stay blank.
            m_openEnd = m_limit;
            return false;
        }
    }
    m_block = Block{start, start, false, m_markdown, {}, 0};
    m_lineStart = start;
    m_lineBlank = true;
    m_inBlock = true;
    return true;
}

// Reads on from where the block was last read: a blank line outside fenced code ends it.
void TranscriptBodyLayout::scanBlock(QStringView body)
{
    Block &block = m_block;
    if (!m_markdown) {
        block.scanned = m_limit;
        block.ended = m_limit < m_bodyLength;
        return;
    }
    for (; !block.ended && block.scanned < m_limit; ++block.scanned) {
        const QChar c = body[block.scanned];
        if (c != u'\n') {
            m_lineBlank = m_lineBlank && c.isSpace();
            continue;
        }
        const QStringView line = body.mid(m_lineStart, block.scanned - m_lineStart);
        if (!block.fence.isNull()) {
            if (closesFence(line, block.fence, block.fenceLength))
                block.fence = QChar();
        } else if (m_lineBlank) {
            // The block ends before the newline that ends its last line.
            block.ended = true;
            block.scanned = std::max(block.start, m_lineStart - 1);
            break;
        } else if (const Fence fence = fenceOf(line); fence.length > 0) {
            block.fence = fence.mark;
            block.fenceLength = fence.length;
        }
        m_lineStart = block.scanned + 1;
        m_lineBlank = true;
    }
    if (!block.ended && block.scanned >= m_limit && m_limit < m_bodyLength)
        block.ended = true;
    block.markdown = block.markdown && block.scanned - block.start <= markdownBlockLimit;
}

void TranscriptBodyLayout::layOutMarkdownBlock(QStringView body)
{
    Segment segment;
    segment.start = m_block.start;
    segment.length = m_block.scanned - m_block.start;
    segment.top = nextTop(true);
    segment.markdown = true;
    segment.startsBlock = true;
    Rendered rendered;
    rendered.document = layOutMarkdown(body.mid(segment.start, segment.length));
    segment.height = rendered.document->size().height();
    addSegment(segment, std::move(rendered));
    if (m_block.ended) {
        m_laidOut = m_block.scanned;
        m_inBlock = false;
    } else {
        m_hasOpenSegment = true;
        m_openEnd = m_block.scanned;
    }
}

// Lays out one window of plain text. Its last line may change with the text after it: it is
// left for the next window, or, at the end of the text so far, kept as an open segment.
void TranscriptBodyLayout::layOutWindow(QStringView body)
{
    const qsizetype start = m_laidOut;
    const qsizetype end = m_block.scanned;
    qsizetype windowEnd = std::min(start + windowLength, end);
    if (windowEnd < end && body[windowEnd - 1].isHighSurrogate())
        --windowEnd;
    const bool cut = windowEnd < end;
    const bool open = !cut && !m_block.ended;
    std::unique_ptr<QTextLayout> layout = layOutLines(body.mid(start, windowEnd - start));
    const int lines = layout->lineCount();
    const int kept = (cut || open) && lines > 1 ? lines - 1 : lines;
    const bool startsBlock = start == m_block.start;
    Segment settled;
    settled.start = start;
    settled.length = kept < lines ? layout->lineAt(kept).textStart() : windowEnd - start;
    settled.top = nextTop(startsBlock);
    settled.startsBlock = startsBlock;
    settled.lineCount = kept;
    const QTextLine last = layout->lineAt(kept - 1);
    settled.height = last.y() + last.height();
    const qreal openLineHeight = kept < lines ? layout->lineAt(kept).height() : 0;
    addSegment(settled, Rendered{0, std::move(layout), nullptr, 0});
    if (open && kept == lines) {
        // Its only line is still open.
        m_hasOpenSegment = true;
        m_openEnd = windowEnd;
        return;
    }
    m_laidOut = start + settled.length;
    if (open) {
        Segment tail;
        tail.start = m_laidOut;
        tail.length = windowEnd - m_laidOut;
        tail.top = nextTop(false);
        tail.height = openLineHeight;
        tail.lineCount = 1;
        addSegment(tail, Rendered{});
        m_hasOpenSegment = true;
        m_openEnd = windowEnd;
    } else if (!cut) {
        m_inBlock = false;
    }
}

// An open segment is laid out again once more text has come.
void TranscriptBodyLayout::dropOpenSegment()
{
    m_openEnd = -1;
    if (!std::exchange(m_hasOpenSegment, false))
        return;
    const size_t index = m_segments.size() - 1;
    std::erase_if(m_rendered, [&](const Rendered &entry) { return entry.segment == index; });
    m_segments.pop_back();
}

void TranscriptBodyLayout::addSegment(Segment segment, Rendered rendered)
{
    m_segments.push_back(segment);
    if (!rendered.lines && !rendered.document)
        return;
    rendered.segment = m_segments.size() - 1;
    keep(std::move(rendered));
}

// Adds `entry`, dropping the least recently used ones beyond the cache's bounds.
const TranscriptBodyLayout::Rendered &TranscriptBodyLayout::keep(Rendered entry) const
{
    entry.lastUse = ++m_uses;
    const auto length = [&](const Rendered &r) { return m_segments[r.segment].length; };
    qsizetype cached = length(entry);
    for (const Rendered &r : m_rendered)
        cached += length(r);
    while (!m_rendered.empty() && (m_rendered.size() >= renderedCacheSize || cached > renderedCacheLength)) {
        const auto oldest = std::min_element(m_rendered.begin(), m_rendered.end(),
                                             [](const auto &a, const auto &b) { return a.lastUse < b.lastUse; });
        cached -= length(*oldest);
        m_rendered.erase(oldest);
    }
    m_rendered.push_back(std::move(entry));
    return m_rendered.back();
}

qreal TranscriptBodyLayout::nextTop(bool startsBlock) const
{
    if (m_segments.empty())
        return 0;
    const Segment &last = m_segments.back();
    return last.top + last.height + (startsBlock && m_markdown ? std::round(m_lineHeight / 2) : 0);
}

qreal TranscriptBodyLayout::height() const
{
    const qreal bottom = m_segments.empty() ? 0 : m_segments.back().top + m_segments.back().height;
    const qsizetype rest = std::max<qsizetype>(0, m_limit - coveredTo());
    if (rest == 0)
        return bottom;
    const qreal lines = std::ceil(qreal(rest) * m_charWidth / m_width);
    return bottom + lines * m_lineHeight;
}

const TranscriptBodyLayout::Rendered &TranscriptBodyLayout::rendered(QStringView body, size_t segment) const
{
    const auto found = std::find_if(m_rendered.begin(), m_rendered.end(),
                                    [&](const Rendered &entry) { return entry.segment == segment; });
    if (found != m_rendered.end()) {
        found->lastUse = ++m_uses;
        return *found;
    }
    const Segment &s = m_segments[segment];
    Rendered entry{segment, nullptr, nullptr, 0};
    const QStringView text = body.mid(s.start, s.length);
    if (s.markdown)
        entry.document = layOutMarkdown(text);
    else
        entry.lines = layOutLines(text);
    return keep(std::move(entry));
}

std::unique_ptr<QTextLayout> TranscriptBodyLayout::layOutLines(QStringView text) const
{
    auto layout = std::make_unique<QTextLayout>(layoutText(text), m_font);
    QTextOption option(m_alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->setTextOption(option);
    layout->setCacheEnabled(true);
    qreal y = 0;
    layout->beginLayout();
    for (QTextLine line = layout->createLine(); line.isValid(); line = layout->createLine()) {
        line.setLineWidth(m_width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout->endLayout();
    return layout;
}

std::unique_ptr<QTextDocument> TranscriptBodyLayout::layOutMarkdown(QStringView text) const
{
    auto document = std::make_unique<QTextDocument>();
    // A reply is another program's output: it never loads an image or any other resource.
    document->setResourceProvider([](const QUrl &) { return QVariant(QByteArray()); });
    document->setDefaultFont(m_font);
    document->setDocumentMargin(0);
    document->setMarkdown(text.toString(), QTextDocument::MarkdownDialectGitHub);
    QTextCursor cursor(document.get());
    QList<std::pair<int, int>> links;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        for (auto fragment = block.begin(); !fragment.atEnd(); ++fragment) {
            if (fragment.fragment().charFormat().isAnchor())
                links.append({fragment.fragment().position(), fragment.fragment().length()});
        }
        if (!isFencedCode(block))
            continue;
        // Code wraps rather than running out of the bubble, on a faint band.
        QTextBlockFormat format = block.blockFormat();
        format.setNonBreakableLines(false);
        format.setBackground(QColor(127, 127, 127, 36));
        cursor.setPosition(block.position());
        cursor.setBlockFormat(format);
    }
    // Links in the accent colour, which reads on light and dark palettes alike.
    QTextCharFormat link;
    link.setForeground(UiStyle::accent(QGuiApplication::palette()));
    for (const auto &[position, length] : links) {
        cursor.setPosition(position);
        cursor.setPosition(position + length, QTextCursor::KeepAnchor);
        cursor.mergeCharFormat(link);
    }
    document->setTextWidth(m_width);
    return document;
}

size_t TranscriptBodyLayout::segmentAt(qreal y) const
{
    const auto after = std::upper_bound(m_segments.begin(), m_segments.end(), y,
                                        [](qreal value, const Segment &s) { return value < s.top; });
    return after == m_segments.begin() ? 0 : size_t(after - m_segments.begin() - 1);
}

void TranscriptBodyLayout::paint(QPainter *painter, QPointF origin, const QPalette &palette, QStringView body,
                                 const QRectF &clip) const
{
    const qreal top = clip.isNull() ? 0 : clip.top() - origin.y();
    const qreal bottom = clip.isNull() ? height() : clip.bottom() - origin.y();
    for (size_t i = segmentAt(top); i < m_segments.size() && m_segments[i].top <= bottom; ++i) {
        const Segment &segment = m_segments[i];
        if (segment.top + segment.height < top)
            continue;
        const Rendered &entry = rendered(body, i);
        const QPointF at = origin + QPointF(0, segment.top);
        if (entry.document) {
            painter->save();
            painter->translate(at);
            QAbstractTextDocumentLayout::PaintContext context;
            context.palette = palette;
            context.palette.setColor(QPalette::Text, painter->pen().color());
            if (!clip.isNull())
                context.clip = clip.translated(-at);
            entry.document->documentLayout()->draw(painter, context);
            painter->restore();
            continue;
        }
        for (int line = 0; line < std::min(segment.lineCount, entry.lines->lineCount()); ++line) {
            const QTextLine textLine = entry.lines->lineAt(line);
            const qreal y = segment.top + textLine.y();
            if (y <= bottom && y + textLine.height() >= top)
                textLine.draw(painter, at);
        }
    }
}

QList<QRectF> TranscriptBodyLayout::rangeRects(QStringView body, qsizetype start, qsizetype length) const
{
    QList<QRectF> rects;
    const qsizetype end = start + length;
    auto first = std::upper_bound(m_segments.begin(), m_segments.end(), start,
                                  [](qsizetype value, const Segment &s) { return value < s.start; });
    for (size_t i = first == m_segments.begin() ? 0 : size_t(first - m_segments.begin() - 1);
         i < m_segments.size() && m_segments[i].start < end; ++i) {
        const Segment &segment = m_segments[i];
        if (segment.start + segment.length <= start)
            continue;
        if (segment.markdown) {
            rects.append(QRectF(0, segment.top, m_width, segment.height));
            continue;
        }
        const Rendered &entry = rendered(body, i);
        for (int line = 0; line < std::min(segment.lineCount, entry.lines->lineCount()); ++line) {
            const QTextLine textLine = entry.lines->lineAt(line);
            const qsizetype lineStart = segment.start + textLine.textStart();
            const qsizetype from = std::max(start, lineStart);
            const qsizetype to = std::min(end, lineStart + textLine.textLength());
            if (from >= to)
                continue;
            const qreal x1 = textLine.cursorToX(int(from - segment.start));
            const qreal x2 = textLine.cursorToX(int(to - segment.start));
            rects.append(QRectF(std::min(x1, x2), segment.top + textLine.y(), std::abs(x2 - x1), textLine.height()));
        }
    }
    return rects;
}

QString TranscriptBodyLayout::linkAt(QStringView body, QPointF point) const
{
    if (m_segments.empty())
        return {};
    const size_t i = segmentAt(point.y());
    if (!m_segments[i].markdown)
        return {};
    return rendered(body, i).document->documentLayout()->anchorAt(point - QPointF(0, m_segments[i].top));
}

std::optional<QString> TranscriptBodyLayout::codeAt(QStringView body, QPointF point) const
{
    if (m_segments.empty())
        return std::nullopt;
    const size_t i = segmentAt(point.y());
    if (!m_segments[i].markdown)
        return std::nullopt;
    QTextDocument &document = *rendered(body, i).document;
    const QPointF at = point - QPointF(0, m_segments[i].top);
    const int position = document.documentLayout()->hitTest(at, Qt::FuzzyHit);
    QTextBlock block = document.findBlock(position);
    if (!isFencedCode(block) || !document.documentLayout()->blockBoundingRect(block).contains(at))
        return std::nullopt;
    while (isFencedCode(block.previous()))
        block = block.previous();
    QStringList lines;
    for (; isFencedCode(block); block = block.next())
        lines.append(block.text());
    return lines.join(u'\n');
}

QStringList TranscriptBodyLayout::renderedBlocks(QStringView body) const
{
    QStringList blocks;
    for (size_t i = 0; i < m_segments.size(); ++i) {
        const Segment &segment = m_segments[i];
        const QString text =
            segment.markdown ? rendered(body, i).document->toPlainText() : body.mid(segment.start, segment.length).toString();
        if (segment.startsBlock || blocks.isEmpty())
            blocks.append(text);
        else
            blocks.last() += text;
    }
    return blocks;
}

} // namespace tessel
