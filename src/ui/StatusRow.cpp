#include "ui/StatusRow.h"

#include "ui/PaneParts.h"
#include "ui/UiStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QResizeEvent>
#include <QTextLayout>

namespace tessel {

StatusRow::StatusRow(const QString &title, QWidget *parent)
    : QWidget(parent)
    , m_title(new QLabel(title, this))
    , m_value(new QLabel(this))
{
    m_title->setFont(UiStyle::semiboldCaptionFont(font()));
    PaneParts::makeSecondary(m_title);
    // The smaller title sits on the value's first line.
    m_title->setContentsMargins(
        0, (QFontMetrics(UiStyle::bodyFont(font())).ascent() - QFontMetrics(m_title->font()).ascent()), 0, 0);

    m_value->setFont(UiStyle::bodyFont(font()));
    m_value->setTextFormat(Qt::PlainText);
    m_value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // It shows the lines fitted to its width below, so it asks for no width of its own.
    m_value->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    // The value's label for assistive tools is the title ("labelled by"); the row is the
    // group of the two, named by the title.
    m_title->setBuddy(m_value);
    setAccessibleName(title);

    // Title and value side by side, one line for most values, so that the whole status
    // fits in the sidebar of a small window.
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    layout->addWidget(m_title, 0, Qt::AlignTop);
    layout->addWidget(m_value, 1);
}

QString StatusRow::title() const
{
    return m_title->text();
}

QString StatusRow::value() const
{
    return m_fullValue;
}

void StatusRow::setValue(const QString &value)
{
    m_fullValue = value;
    // Named by the whole value, which is what the screen shows unless it had to be cut.
    m_value->setAccessibleName(value);
    showValue();
}

void StatusRow::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    showValue();
}

void StatusRow::showValue()
{
    const int width = m_value->contentsRect().width();
    const FittedText fitted =
        width > 0 ? fitLines(m_fullValue, m_value->font(), width, maximumLines) : FittedText{m_fullValue, false};
    if (m_value->text() != fitted.text)
        m_value->setText(fitted.text);
    m_value->setToolTip(fitted.elided ? m_fullValue : QString());
}

StatusRow::FittedText StatusRow::fitLines(const QString &text, const QFont &font, int width, int lines)
{
    // Wrapped at spaces, or anywhere in a long word such as an id or a URL.
    const QString plain = text.simplified();
    QTextLayout layout(plain, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    QList<int> starts;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width);
        starts << line.textStart();
    }
    layout.endLayout();
    QStringList shown;
    for (int index = 0; index < std::min<qsizetype>(lines, starts.size()); ++index) {
        const int end = index + 1 < starts.size() ? starts[index + 1] : int(plain.size());
        shown << plain.mid(starts[index], end - starts[index]).trimmed();
    }
    const bool elided = starts.size() > lines;
    if (elided)
        shown.last() = QFontMetrics(font).elidedText(plain.mid(starts[lines - 1]), Qt::ElideRight, width);
    return {shown.join(u'\n'), elided};
}

int StatusRow::titleWidth() const
{
    return m_title->sizeHint().width();
}

void StatusRow::setTitleWidth(int width)
{
    m_title->setFixedWidth(width);
}

} // namespace tessel
