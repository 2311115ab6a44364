#include "ui/StatusRow.h"

#include "ui/UiStyle.h"

#include <QLabel>
#include <QVBoxLayout>

namespace tessel {

StatusRow::StatusRow(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_value(new QLabel(this))
{
    m_title->setFont(UiStyle::semiboldCaptionFont(font()));
    QPalette titleColours = m_title->palette();
    titleColours.setColor(QPalette::WindowText, UiStyle::secondary(titleColours));
    m_title->setPalette(titleColours);

    m_value->setFont(UiStyle::bodyFont(font()));
    m_value->setWordWrap(true);
    m_value->setTextFormat(Qt::PlainText);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Screen readers announce the value under its title.
    m_value->setAccessibleName(title);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(m_title);
    layout->addWidget(m_value);
}

QString StatusRow::title() const
{
    return m_title->text();
}

QString StatusRow::value() const
{
    return m_value->text();
}

void StatusRow::setValue(const QString &value)
{
    m_value->setText(value);
}

} // namespace tessel
