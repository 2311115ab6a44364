#include "ui/PaneParts.h"

#include "ui/UiStyle.h"

#include <QFrame>
#include <QLabel>

namespace tessel {

QFrame *PaneParts::divider(QWidget *parent)
{
    auto *line = new QFrame(parent);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel *PaneParts::secondaryLabel(const QFont &font, QWidget *parent, const QString &text)
{
    auto *label = new QLabel(text, parent);
    label->setFont(font);
    label->setWordWrap(true);
    label->setTextFormat(Qt::PlainText);
    QPalette colours = label->palette();
    colours.setColor(QPalette::WindowText, UiStyle::secondary(colours));
    label->setPalette(colours);
    return label;
}

QLabel *PaneParts::headline(const QString &text, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setFont(UiStyle::headlineFont(parent->font()));
    return label;
}

} // namespace tessel
