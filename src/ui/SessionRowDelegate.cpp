#include "ui/SessionRowDelegate.h"

#include "app/ValueListModel.h"
#include "ui/UiStyle.h"

#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

SessionRowDelegate::Texts textsAt(const QModelIndex &index)
{
    return SessionRowDelegate::texts(index.data(SessionListModel::ValueRole).value<GatewaySessionSummary>());
}

} // namespace

SessionRowDelegate::Texts SessionRowDelegate::texts(const GatewaySessionSummary &summary)
{
    Texts texts;
    texts.title = summary.title;
    texts.state = QString::fromLatin1(enumToWire(summary.state));
    if (summary.subtitle && !summary.subtitle->isEmpty())
        texts.subtitle = summary.subtitle;
    texts.backend = displayName(summary.backend);
    texts.workflow = workflowTitle(summary.workflowState);
    return texts;
}

QString SessionRowDelegate::workflowTitle(SessionWorkflowState state)
{
    return state == SessionWorkflowState::done ? u"Done"_s : u"Active"_s;
}

QSize SessionRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const QFont &base = option.font;
    int height = 2 * verticalPadding + lineHeight(UiStyle::headlineFont(base)) + spacing +
        lineHeight(UiStyle::captionFont(base));
    if (textsAt(index).subtitle)
        height += lineHeight(UiStyle::subheadlineFont(base)) + spacing;
    return QSize(rowWidth(option), height);
}

void SessionRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const Texts texts = textsAt(index);
    const QFont &base = option.font;
    painter->save();
    paintBackground(painter, option);
    const QRect inner = option.rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, 0);

    const QFont stateFont = UiStyle::semiboldCaptionFont(base);
    const int stateWidth = QFontMetrics(stateFont).horizontalAdvance(texts.state);
    QRect line(inner.topLeft(), QSize(inner.width(), lineHeight(UiStyle::headlineFont(base))));
    drawLine(painter, line.adjusted(0, 0, -(stateWidth + detailSpacing), 0), texts.title, UiStyle::headlineFont(base),
             primaryText(option));
    drawLine(painter, line, texts.state, stateFont, secondaryText(option), Qt::AlignTrailing);

    if (texts.subtitle) {
        line =
            QRect(line.left(), line.bottom() + 1 + spacing, line.width(), lineHeight(UiStyle::subheadlineFont(base)));
        drawLine(painter, line, *texts.subtitle, UiStyle::subheadlineFont(base), secondaryText(option));
    }

    const QFont caption = UiStyle::captionFont(base);
    line = QRect(line.left(), line.bottom() + 1 + spacing, line.width(), lineHeight(caption));
    const int backendWidth = QFontMetrics(caption).horizontalAdvance(texts.backend);
    drawLine(painter, line, texts.backend, caption, secondaryText(option));
    drawLine(painter, line.adjusted(backendWidth + detailSpacing, 0, 0, 0), texts.workflow, caption,
             secondaryText(option));
    painter->restore();
}

} // namespace tessel
