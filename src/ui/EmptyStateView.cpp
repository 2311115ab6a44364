#include "ui/EmptyStateView.h"

#include "ui/UiStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tessel {

namespace {

constexpr int symbolSize = 40;

} // namespace

EmptyStateView::EmptyStateView(SfSymbol symbol, const QString &title, const QString &description, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
{
    const QColor grey = UiStyle::secondary(palette());
    auto *icon = new QLabel(this);
    icon->setPixmap(
        Icons::tinted(Icons::symbol(symbol, style()), QSize(symbolSize, symbolSize), grey, devicePixelRatioF()));
    icon->setAlignment(Qt::AlignCenter);

    QFont titleFont = UiStyle::headlineFont(font());
    titleFont.setPointSizeF(titleFont.pointSizeF() > 0 ? titleFont.pointSizeF() * 1.3 : titleFont.pointSizeF());
    m_title->setFont(titleFont);
    m_title->setAlignment(Qt::AlignCenter);
    m_title->setWordWrap(true);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(24, 24, 24, 24);
    layout->setSpacing(8);
    layout->addStretch(1);
    layout->addWidget(icon);
    layout->addWidget(m_title);
    if (!description.isEmpty()) {
        auto *detail = new QLabel(description, this);
        detail->setTextFormat(Qt::PlainText);
        detail->setWordWrap(true);
        detail->setAlignment(Qt::AlignCenter);
        QPalette colours = detail->palette();
        colours.setColor(QPalette::WindowText, grey);
        detail->setPalette(colours);
        layout->addWidget(detail);
    }
    layout->addStretch(1);
    setAccessibleName(title);
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
