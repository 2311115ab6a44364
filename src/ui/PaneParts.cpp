#include "ui/PaneParts.h"

#include "ui/Icons.h"
#include "ui/UiStyle.h"

#include <QFrame>
#include <QKeyEvent>
#include <QLabel>
#include <QListView>
#include <QTabBar>
#include <QToolButton>

namespace tessel {

namespace {

class RowKeyActivation : public QObject
{
public:
    RowKeyActivation(QListView *list, std::function<void(const QModelIndex &)> activate)
        : QObject(list)
        , m_list(list)
        , m_activate(std::move(activate))
    { }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress)
            return QObject::eventFilter(watched, event);
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool activates = key->modifiers() == Qt::NoModifier || key->modifiers() == Qt::KeypadModifier;
        if (!activates || !(key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter || key->key() == Qt::Key_Space))
            return QObject::eventFilter(watched, event);
        if (m_list->currentIndex().isValid())
            m_activate(m_list->currentIndex());
        return true;
    }

private:
    QListView *m_list;
    std::function<void(const QModelIndex &)> m_activate;
};

} // namespace

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
    makeSecondary(label);
    return label;
}

void PaneParts::makeSecondary(QWidget *widget)
{
    QPalette colours = widget->palette();
    colours.setColor(QPalette::WindowText, UiStyle::secondary(colours));
    widget->setPalette(colours);
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
    // Rows take the list's width and cut their texts short with "…" instead of scrolling.
    list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    list->setResizeMode(QListView::Adjust);
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
    button->setIcon(Icons::symbol(symbol, parent->palette().color(QPalette::ButtonText)));
    button->setAccessibleName(name);
    button->setToolTip(name);
    button->setAutoRaise(true);
    return button;
}

void PaneParts::activateRowsWithKeys(QListView *list, const std::function<void(const QModelIndex &)> &activate)
{
    list->installEventFilter(new RowKeyActivation(list, activate));
}

void PaneParts::enableUnless(QWidget *control, const QString &reason, const QString &hint)
{
    control->setEnabled(reason.isEmpty());
    control->setToolTip(reason.isEmpty() ? hint : reason);
    control->setAccessibleDescription(reason);
}

} // namespace tessel
