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
    : m_role(content.role)
    , m_isStreaming(content.isStreaming)
    , m_width(width)
    , m_title(std::make_unique<QTextLayout>(shownTitle(content.role, content.title),
                                            UiStyle::semiboldCaptionFont(baseFont)))
    , m_body(std::make_unique<QTextLayout>(content.body, bodyFont(content.role, baseFont)))
{
    const int textWidth = std::max(1, width - 2 * padding);
    m_titleHeight = layOut(*m_title, textWidth, alignment(m_role));
    m_bodyHeight = layOut(*m_body, textWidth, alignment(m_role));
}

int TranscriptBubble::height() const
{
    return padding + m_titleHeight + spacing + m_bodyHeight + padding;
}

QRect TranscriptBubble::bodyRect() const
{
    return QRect(padding, padding + m_titleHeight + spacing, std::max(1, m_width - 2 * padding), m_bodyHeight);
}

void TranscriptBubble::paint(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal indicatorTurn) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(background(m_role, palette));
    painter->drawRoundedRect(QRect(topLeft, QSize(m_width, height())), cornerRadius, cornerRadius);

    painter->setPen(titleColour(m_role, palette));
    m_title->draw(painter, topLeft + QPoint(padding, padding));
    painter->setPen(UiStyle::primary(palette));
    m_body->draw(painter, topLeft + bodyRect().topLeft());
    if (m_isStreaming)
        paintIndicator(painter, topLeft, palette, indicatorTurn);
    painter->restore();
}

// A small spinner in the bottom-trailing corner, inside the padding so it never covers text;
// `turn` (0..1) rotates it.
void TranscriptBubble::paintIndicator(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal turn) const
{
    const int inset = (padding - indicatorSize) / 2 + 2;
    const QRect box(topLeft.x() + m_width - inset - indicatorSize, topLeft.y() + height() - inset - indicatorSize,
                    indicatorSize, indicatorSize);
    QPen pen(UiStyle::secondary(palette), 2, Qt::SolidLine, Qt::RoundCap);
    painter->setBrush(Qt::NoBrush);
    painter->setPen(pen);
    const int start = int(-turn * 360 * 16);
    painter->drawArc(box, start, 270 * 16);
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
