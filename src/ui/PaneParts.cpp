#include "ui/PaneParts.h"

#include "ui/Icons.h"
#include "ui/UiStyle.h"

#include <QFrame>
#include <QLabel>
#include <QListView>
#include <QTabBar>
#include <QToolButton>

namespace tessel {

QFrame *PaneParts::divider(QWidget *parent)
{
    // A hairline in the secondary colour: a sunken frame takes the style's light and dark
    // shades, which stand out as a white line on dark palettes.
    auto *line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setAutoFillBackground(true);
    QPalette colours = line->palette();
    colours.setColor(QPalette::Window, UiStyle::withOpacity(UiStyle::secondary(colours), 0.35));
    line->setPalette(colours);
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

QListView *PaneParts::rowList(const QString &identifier, const QString &role, QAbstractItemModel *model,
                              QAbstractItemDelegate *delegate, QWidget *parent)
{
    auto *list = new QListView(parent);
    list->setObjectName(identifier);
    list->setAccessibleName(role);
    list->setModel(model);
    delegate->setParent(list);
    list->setItemDelegate(delegate);
    list->setFrameShape(QFrame::NoFrame);
    list->setVerticalScrollMode(QAbstractItemView::ScrollPerPixel);
    list->setEditTriggers(QAbstractItemView::NoEditTriggers);
    return list;
}

QTabBar *PaneParts::segmentedPicker(const QString &identifier, const QString &title, const QStringList &segments,
                                    QWidget *parent)
{
    auto *picker = new QTabBar(parent);
    picker->setObjectName(identifier);
    picker->setAccessibleName(title);
    for (const QString &segment : segments)
        picker->addTab(segment);
    picker->setDrawBase(false);
    return picker;
}

QToolButton *PaneParts::symbolButton(SfSymbol symbol, const QString &identifier, const QString &name, QWidget *parent)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(identifier);
    button->setIcon(Icons::symbol(symbol, parent->style()));
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setAutoRaise(true);
    return button;
}

} // namespace tessel
