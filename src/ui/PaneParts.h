#pragma once

#include <QString>
#include <QStringList>

#include <functional>

class QAbstractItemDelegate;
class QAbstractItemModel;
class QFont;
class QListView;
class QModelIndex;
class QTabBar;
class QFrame;
class QLabel;
class QToolButton;
class QWidget;

namespace tessel {

enum class SfSymbol;

// Small pieces the panes share.
class PaneParts
{
public:
    static QFrame *divider(QWidget *parent);
    // Plain text in the secondary colour and the given font, word-wrapped.
    static QLabel *secondaryLabel(const QFont &font, QWidget *parent, const QString &text = {});
    // Text in the secondary colour.
    static void makeSecondary(QWidget *widget);
    static QLabel *headline(const QString &text, QWidget *parent);
    // A frameless list of rows drawn by `delegate` (which it takes), named by its role.
    static QListView *rowList(const QString &identifier, const QString &role, QAbstractItemModel *model,
                              QAbstractItemDelegate *delegate, QWidget *parent);
    // A row of segments (a tab bar without its base line), named by its title.
    static QTabBar *segmentedPicker(const QString &identifier, const QString &title, const QStringList &segments,
                                    QWidget *parent);
    // An icon-only button, named for assistive tools and in its tooltip by what it does.
    static QToolButton *symbolButton(SfSymbol symbol, const QString &identifier, const QString &name, QWidget *parent);
    // Runs `activate` for the current row when Return, Enter or Space is pressed in `list`,
    // the keyboard's counterpart of a click.
    static void activateRowsWithKeys(QListView *list, const std::function<void(const QModelIndex &)> &activate);
    // Enables `control` when `reason` is empty; otherwise disables it and says why in its
    // tooltip and accessible description. `hint` is the tooltip while it is enabled.
    static void enableUnless(QWidget *control, const QString &reason, const QString &hint = {});
};

} // namespace tessel
