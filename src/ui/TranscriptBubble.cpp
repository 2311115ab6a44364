#include "ui/TranscriptBubble.h"

#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPainterPath>
#include <QTextLine>

#include <cmath>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

// Lays `layout` out in lines of `width` and returns the height of the text.
int layOut(QTextLayout &layout, int width, Qt::Alignment alignment)
{
    QTextOption option(alignment);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.setCacheEnabled(true);
    qreal y = 0;
    layout.beginLayout();
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, y));
        y += line.height();
    }
    layout.endLayout();
    return int(std::ceil(y));
}

// A bubble kept for a streaming row must not share the model's string, or every delta
// appended to that string would copy the whole reply.
QString unshared(const QString &text)
{
    return QString(text.constData(), text.size());
}

// QTextLayout breaks lines only at line separators.
QString layoutText(QStringView text)
{
    QString copy = text.toString();
    copy.replace(u'\n', QChar::LineSeparator);
    return copy;
}

// A streaming body re-lays out its last chunk on every delta; past this many lines the
// chunk's settled lines are frozen and a new chunk starts at its last line.
constexpr int linesPerChunk = 8;

} // namespace

TranscriptBubble::Content TranscriptBubble::Content::of(const DesktopTranscriptItem &item)
{
    return Content{item.role, item.title, item.body, item.isStreaming};
}

TranscriptBubble::HeightEstimate::HeightEstimate(const QFont &baseFont, int width)
    : m_textWidth(std::max(1, width - 2 * padding))
{
    const QFontMetricsF body(UiStyle::bodyFont(baseFont));
    const QFontMetricsF title(UiStyle::semiboldCaptionFont(baseFont));
    m_fixedHeight = 2 * padding + int(std::ceil(title.height())) + spacing;
    m_lineHeight = int(std::ceil(body.height()));
    m_charWidth = std::max<qreal>(1, body.averageCharWidth());
    m_monospacedCharWidth = std::max<qreal>(1, QFontMetricsF(UiStyle::monospacedFont(baseFont)).averageCharWidth());
}

int TranscriptBubble::HeightEstimate::height(DesktopTranscriptRole role, qsizetype bodyLength) const
{
    const qreal charWidth = role == DesktopTranscriptRole::tool ? m_monospacedCharWidth : m_charWidth;
    const auto charsPerLine = std::max<qsizetype>(1, qsizetype(m_textWidth / charWidth));
    const auto lines = std::max<qsizetype>(1, (bodyLength + charsPerLine - 1) / charsPerLine);
    return m_fixedHeight + int(std::min<qsizetype>(lines, 100'000)) * m_lineHeight;
}

TranscriptBubble::TranscriptBubble(const Content &content, const QFont &baseFont, int width)
    : m_content{content.role, content.title, unshared(content.body), content.isStreaming}
    , m_bodyFont(bodyFont(content.role, baseFont))
    , m_width(width)
    , m_title(std::make_unique<QTextLayout>(layoutText(shownTitle(content.role, content.title)),
                                            UiStyle::semiboldCaptionFont(baseFont)))
{
    m_titleHeight = layOut(*m_title, textWidth(), alignment(m_content.role));
    layOutBodyFrom(0, 0);
}

bool TranscriptBubble::extend(const Content &content)
{
    if (content.role != m_content.role || content.title != m_content.title || !content.body.startsWith(m_content.body))
        return false;
    const qsizetype oldLength = m_content.body.size();
    m_content.isStreaming = content.isStreaming;
    if (content.body.size() == oldLength)
        return true;
    m_content.body = unshared(content.body);
    BodyChunk &last = m_body.back();
    if (last.lineCount < linesPerChunk) {
        const BodyChunk rebuilt{nullptr, 0, last.top, last.start};
        m_body.pop_back();
        layOutBodyFrom(rebuilt.start, rebuilt.top);
        return true;
    }
    // Lines above the last one keep their breaks whatever follows; only the last one and
    // the new text are laid out again.
    const QTextLine lastLine = last.layout->lineAt(last.lineCount - 1);
    --last.lineCount;
    layOutBodyFrom(last.start + lastLine.textStart(), last.top + lastLine.y());
    return true;
}

void TranscriptBubble::layOutBodyFrom(qsizetype start, qreal top)
{
    BodyChunk chunk;
    chunk.layout = std::make_unique<QTextLayout>(layoutText(QStringView(m_content.body).mid(start)), m_bodyFont);
    layOut(*chunk.layout, textWidth(), alignment(m_content.role));
    chunk.lineCount = chunk.layout->lineCount();
    chunk.top = top;
    chunk.start = start;
    m_body.push_back(std::move(chunk));
}

int TranscriptBubble::textWidth() const
{
    return std::max(1, m_width - 2 * padding);
}

int TranscriptBubble::height() const
{
    return padding + m_titleHeight + spacing + bodyRect().height() + padding;
}

QRect TranscriptBubble::bodyRect() const
{
    const BodyChunk &last = m_body.back();
    qreal bottom = last.top;
    if (last.lineCount > 0) {
        const QTextLine line = last.layout->lineAt(last.lineCount - 1);
        bottom += line.y() + line.height();
    }
    return QRect(padding, padding + m_titleHeight + spacing, textWidth(), int(std::ceil(bottom)));
}

QList<QRectF> TranscriptBubble::textRangeRects(qsizetype start, qsizetype length) const
{
    QList<QRectF> rects;
    const qsizetype end = start + length;
    const QPointF origin = bodyRect().topLeft();
    for (const BodyChunk &chunk : m_body) {
        const auto lineEnd = [&chunk](int i) {
            const QTextLine line = chunk.layout->lineAt(i);
            return chunk.start + line.textStart() + line.textLength();
        };
        // Lines are in text order: skip those that end before the range.
        int low = 0;
        for (int high = chunk.lineCount; low < high;) {
            const int middle = (low + high) / 2;
            if (lineEnd(middle) <= start)
                low = middle + 1;
            else
                high = middle;
        }
        for (int i = low; i < chunk.lineCount; ++i) {
            const QTextLine line = chunk.layout->lineAt(i);
            const qsizetype lineStart = chunk.start + line.textStart();
            if (lineStart >= end)
                return rects;
            const qreal from = line.cursorToX(int(std::max(start, lineStart) - chunk.start));
            const qreal to = line.cursorToX(int(std::min(end, lineEnd(i)) - chunk.start));
            rects.append(QRectF(std::min(from, to), chunk.top + line.y(), std::abs(to - from), line.height())
                             .translated(origin));
        }
    }
    return rects;
}

void TranscriptBubble::paint(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal indicatorTurn) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(background(m_content.role, palette));
    painter->drawRoundedRect(QRect(topLeft, QSize(m_width, height())), cornerRadius, cornerRadius);

    painter->setPen(titleColour(m_content.role, palette));
    m_title->draw(painter, topLeft + QPoint(padding, padding));
    painter->setPen(UiStyle::primary(palette));
    paintBody(painter, topLeft + bodyRect().topLeft());
    if (m_content.isStreaming)
        paintIndicator(painter, QRect(topLeft, QSize(m_width, height())), palette, indicatorTurn);
    painter->restore();
}

// Draws only the lines inside the clip: a long reply may be far taller than the viewport.
void TranscriptBubble::paintBody(QPainter *painter, QPointF origin) const
{
    const QRectF clip = painter->hasClipping() ? painter->clipBoundingRect() : QRectF();
    for (const BodyChunk &chunk : m_body) {
        const QPointF chunkOrigin = origin + QPointF(0, chunk.top);
        for (int i = 0; i < chunk.lineCount; ++i) {
            const QTextLine line = chunk.layout->lineAt(i);
            const qreal y = chunkOrigin.y() + line.y();
            if (!clip.isNull() && y > clip.bottom())
                return;
            if (clip.isNull() || y + line.height() >= clip.top())
                line.draw(painter, chunkOrigin);
        }
    }
}

QRect TranscriptBubble::indicatorRect(const QRect &bubble)
{
    // Inside the padding, so it never covers text.
    const int inset = (padding - indicatorSize) / 2 + 2;
    const QRect ring(bubble.right() + 1 - inset - indicatorSize, bubble.bottom() + 1 - inset - indicatorSize,
                     indicatorSize, indicatorSize);
    return ring.adjusted(-indicatorPen, -indicatorPen, indicatorPen, indicatorPen);
}

// An open ring in the bottom-trailing corner; `turn` (0..1) rotates it.
void TranscriptBubble::paintIndicator(QPainter *painter, const QRect &bubble, const QPalette &palette, qreal turn)
{
    painter->setBrush(Qt::NoBrush);
    painter->setPen(QPen(UiStyle::secondary(palette), indicatorPen, Qt::SolidLine, Qt::RoundCap));
    const QRect ring = indicatorRect(bubble).adjusted(indicatorPen, indicatorPen, -indicatorPen, -indicatorPen);
    painter->drawArc(ring, int((0.25 - turn) * 360 * 16), 270 * 16);
}

QString TranscriptBubble::defaultTitle(DesktopTranscriptRole role)
{
    switch (role) {
    case DesktopTranscriptRole::system: return u"System"_s;
    case DesktopTranscriptRole::user: return u"You"_s;
    case DesktopTranscriptRole::assistant: return u"Assistant"_s;
    case DesktopTranscriptRole::thinking: return u"Thinking"_s;
    case DesktopTranscriptRole::tool: return u"Tool"_s;
    case DesktopTranscriptRole::error: return u"Error"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QString TranscriptBubble::shownTitle(DesktopTranscriptRole role, const QString &title)
{
    return title.isEmpty() ? defaultTitle(role) : title;
}

QColor TranscriptBubble::background(DesktopTranscriptRole role, const QPalette &palette)
{
    switch (role) {
    case DesktopTranscriptRole::system: return UiStyle::withOpacity(UiStyle::primary(palette), 0.04);
    case DesktopTranscriptRole::user: return UiStyle::withOpacity(UiStyle::accent(palette), 0.12);
    case DesktopTranscriptRole::assistant: return UiStyle::withOpacity(UiStyle::surface(palette), 0.9);
    case DesktopTranscriptRole::thinking: return UiStyle::withOpacity(UiStyle::blue(), 0.08);
    case DesktopTranscriptRole::tool: return UiStyle::withOpacity(UiStyle::orange(), 0.08);
    case DesktopTranscriptRole::error: return UiStyle::withOpacity(UiStyle::red(), 0.08);
    }
    Q_UNREACHABLE();
    return {};
}

QColor TranscriptBubble::titleColour(DesktopTranscriptRole role, const QPalette &palette)
{
    switch (role) {
    case DesktopTranscriptRole::system: return UiStyle::secondary(palette);
    case DesktopTranscriptRole::user: return UiStyle::accent(palette);
    case DesktopTranscriptRole::assistant: return UiStyle::primary(palette);
    case DesktopTranscriptRole::thinking: return QColor::fromRgbF(0.18f, 0.39f, 0.78f);
    case DesktopTranscriptRole::tool: return UiStyle::orange();
    case DesktopTranscriptRole::error: return UiStyle::red();
    }
    Q_UNREACHABLE();
    return {};
}

QFont TranscriptBubble::bodyFont(DesktopTranscriptRole role, const QFont &baseFont)
{
    return role == DesktopTranscriptRole::tool ? UiStyle::monospacedFont(baseFont) : UiStyle::bodyFont(baseFont);
}

Qt::Alignment TranscriptBubble::alignment(DesktopTranscriptRole role)
{
    return role == DesktopTranscriptRole::user ? Qt::AlignTrailing : Qt::AlignLeading;
}

} // namespace tessel
