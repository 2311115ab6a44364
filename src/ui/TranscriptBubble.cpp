#include "ui/TranscriptBubble.h"

#include "ui/TranscriptBodyLayout.h"
#include "ui/UiStyle.h"

#include <QFontMetricsF>
#include <QLocale>
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

const auto wholeTextLink = u"Open Whole Text"_s;

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
    const auto shown = std::min(bodyLength, TranscriptBodyLayout::shownLimit);
    const auto lines = std::max<qsizetype>(1, (shown + charsPerLine - 1) / charsPerLine);
    return m_fixedHeight + int(lines) * m_lineHeight;
}

TranscriptBubble::TranscriptBubble(const Content &content, const QFont &baseFont, int width, bool renderMarkdown,
                                   BodySource source)
    : m_role(content.role)
    , m_title(content.title)
    , m_isStreaming(content.isStreaming)
    , m_bodyRevision(content.bodyRevision)
    , m_bodyLength(content.body.size())
    , m_renderMarkdown(renderMarkdown)
    , m_source(std::move(source))
    , m_ownBody(m_source ? QString() : content.body)
    , m_width(width)
    , m_baseFont(baseFont)
    , m_titleLayout(std::make_unique<QTextLayout>(shownTitle(content.role, content.title),
                                                  UiStyle::semiboldCaptionFont(baseFont)))
    , m_body(std::make_unique<TranscriptBodyLayout>(bodyFont(content.role, baseFont), textWidth(),
                                                    alignment(content.role),
                                                    renderMarkdown && content.role == DesktopTranscriptRole::assistant))
{
    m_titleHeight = layOut(*m_titleLayout, textWidth(), alignment(m_role));
    m_body->extendTo(content.body);
    updateNotice();
}

TranscriptBubble::TranscriptBubble(TranscriptBubble &&) noexcept = default;
TranscriptBubble &TranscriptBubble::operator=(TranscriptBubble &&) noexcept = default;
TranscriptBubble::~TranscriptBubble() = default;

bool TranscriptBubble::extend(const Content &content)
{
    if (content.role != m_role || content.title != m_title || content.bodyRevision != m_bodyRevision ||
        content.body.size() < m_bodyLength)
        return false;
    m_isStreaming = content.isStreaming;
    if (content.body.size() == m_bodyLength)
        return true;
    m_bodyLength = content.body.size();
    if (!m_source)
        m_ownBody = content.body;
    m_body->extendTo(content.body);
    updateNotice();
    return true;
}

bool TranscriptBubble::layOutMore(qint64 budgetNs)
{
    return m_body->isComplete() || m_body->layOutMore(body(), budgetNs);
}

bool TranscriptBubble::isLaidOut() const
{
    return m_body->isComplete();
}

QString TranscriptBubble::body() const
{
    return m_source ? m_source() : m_ownBody;
}

void TranscriptBubble::updateNotice()
{
    if (!m_body->isTruncated()) {
        m_notice.reset();
        return;
    }
    const QLocale locale;
    const QString text = u"Showing the first %1 of %2 characters. "_s.arg(locale.toString(m_body->shownLength()),
                                                                             locale.toString(m_bodyLength)) +
                         wholeTextLink;
    if (m_notice && m_notice->text() == text)
        return;
    m_notice = std::make_unique<QTextLayout>(text, UiStyle::captionFont(m_baseFont));
    layOut(*m_notice, textWidth(), alignment(m_role));
}

int TranscriptBubble::textWidth() const
{
    return std::max(1, m_width - 2 * padding);
}

int TranscriptBubble::height() const
{
    const QRect notice = noticeRect();
    return (notice.isNull() ? bodyRect().bottom() + 1 : notice.bottom() + 1) + padding;
}

QRect TranscriptBubble::bodyRect() const
{
    return QRect(padding, padding + m_titleHeight + spacing, textWidth(), int(std::ceil(m_body->height())));
}

QRect TranscriptBubble::noticeRect() const
{
    if (!m_notice)
        return {};
    const int top = bodyRect().bottom() + 1 + spacing;
    return QRect(padding, top, textWidth(), int(std::ceil(m_notice->boundingRect().height())));
}

QList<QRectF> TranscriptBubble::textRangeRects(qsizetype start, qsizetype length) const
{
    QList<QRectF> rects = m_body->rangeRects(body(), start, length);
    for (QRectF &rect : rects)
        rect.translate(bodyRect().topLeft());
    return rects;
}

TranscriptBubble::Hit TranscriptBubble::hitAt(QPoint point) const
{
    if (noticeRect().contains(point))
        return Hit{Hit::Kind::wholeText, {}};
    if (!bodyRect().contains(point))
        return {};
    const QString text = body();
    const QPointF inBody = point - bodyRect().topLeft();
    if (const QString link = m_body->linkAt(text, inBody); !link.isEmpty())
        return Hit{Hit::Kind::link, link};
    if (const auto code = m_body->codeAt(text, inBody))
        return Hit{Hit::Kind::code, *code};
    return {};
}

QStringList TranscriptBubble::renderedBlocks() const
{
    return m_body->renderedBlocks(body());
}

void TranscriptBubble::paint(QPainter *painter, QPoint topLeft, const QPalette &palette, qreal indicatorTurn) const
{
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing);
    painter->setPen(Qt::NoPen);
    painter->setBrush(background(m_role, palette));
    painter->drawRoundedRect(QRect(topLeft, QSize(m_width, height())), cornerRadius, cornerRadius);

    painter->setPen(titleColour(m_role, palette));
    m_titleLayout->draw(painter, topLeft + QPoint(padding, padding));
    painter->setPen(UiStyle::primary(palette));
    // Bodies draw only what lies inside the clip: a long reply may be far taller than the viewport.
    const QRectF clip = painter->hasClipping() ? painter->clipBoundingRect() : QRectF();
    m_body->paint(painter, topLeft + bodyRect().topLeft(), palette, body(), clip);
    if (m_notice) {
        QTextLayout::FormatRange link;
        link.start = int(m_notice->text().size() - wholeTextLink.size());
        link.length = int(wholeTextLink.size());
        link.format.setForeground(UiStyle::accent(palette));
        link.format.setFontUnderline(true);
        painter->setPen(UiStyle::secondary(palette));
        m_notice->draw(painter, topLeft + noticeRect().topLeft(), {link});
    }
    if (m_isStreaming)
        paintIndicator(painter, QRect(topLeft, QSize(m_width, height())), palette, indicatorTurn);
    painter->restore();
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
