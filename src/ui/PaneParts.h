#pragma once

#include <QString>

class QFont;
class QFrame;
class QLabel;
class QWidget;

namespace tessel {

// Small pieces the panes share.
class PaneParts
{
public:
    static QFrame *divider(QWidget *parent);
    // Plain text in the secondary colour and the given font, word-wrapped.
    static QLabel *secondaryLabel(const QFont &font, QWidget *parent, const QString &text = {});
    static QLabel *headline(const QString &text, QWidget *parent);
};

} // namespace tessel
