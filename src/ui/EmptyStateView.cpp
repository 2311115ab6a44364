#include "ui/EmptyStateView.h"

#include "ui/UiStyle.h"

#include <QLabel>
#include <QResizeEvent>
#include <QVBoxLayout>

namespace tessel {

namespace {

constexpr int symbolSize = 40;

} // namespace

EmptyStateView::EmptyStateView(SfSymbol symbol, const QString &title, const QString &description, QWidget *parent)
    : QWidget(parent)
    , m_icon(new QLabel(this))
    , m_title(new QLabel(title, this))
{
    const QColor grey = UiStyle::secondary(palette());
    m_icon->setPixmap(Icons::tinted(Icons::symbol(symbol), QSize(symbolSize, symbolSize), grey, devicePixelRatioF()));
    m_icon->setAlignment(Qt::AlignCenter);

    QFont titleFont = UiStyle::headlineFont(font());
    titleFont.setPointSizeF(titleFont.pointSizeF() > 0 ? titleFont.pointSizeF() * 1.3 : titleFont.pointSizeF());
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addStretch(1);
    layout->addWidget(m_icon);
    layout->addWidget(m_title);
    if (!description.isEmpty()) {
        m_description = new QLabel(description, this);
        m_description->setTextFormat(Qt::PlainText);
        m_description->setWordWrap(true);
        m_description->setAlignment(Qt::AlignCenter);
        QPalette colours = m_description->palette();
        colours.setColor(QPalette::WindowText, grey);
        m_description->setPalette(colours);
        layout->addWidget(m_description);
        setToolTip(description);
    }
    layout->addStretch(1);
    setAccessibleName(title);
    setAccessibleDescription(description);
}

QSize EmptyStateView::minimumSizeHint() const
{
    // Only the title must show; the symbol and the description give way in a short space.
    const QMargins margins = layout()->contentsMargins();
    return {margins.left() + margins.right() + m_title->minimumSizeHint().width(),
            margins.top() + margins.bottom() +
                m_title->heightForWidth(std::max(1, width() - margins.left() - margins.right()))};
}

void EmptyStateView::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    const QMargins margins = layout()->contentsMargins();
    const int width = std::max(1, event->size().width() - margins.left() - margins.right());
    const int spacing = layout()->spacing();
    int room = event->size().height() - margins.top() - margins.bottom() - m_title->heightForWidth(width);
    const auto fits = [&room, spacing](int height) {
        if (height + spacing > room)
            return false;
        room -= height + spacing;
        return true;
    };
    // The description says more than the symbol, so it keeps its place longer.
    if (m_description)
        m_description->setVisible(fits(m_description->heightForWidth(width)));
    m_icon->setVisible(fits(symbolSize));
}

QString EmptyStateView::title() const
{
    return m_title->text();
}

void EmptyStateView::setTitle(const QString &title)
{
    m_title->setText(title);
    setAccessibleName(title);
}

} // namespace tessel
