#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>

namespace tessel {

// The window's named fonts and colours, derived from the application font and palette so
// that a user's theme and font size carry through. Sizes are relative to the body font.
class UiStyle
{
public:
    static QFont bodyFont(const QFont &base);
    static QFont captionFont(const QFont &base);
    static QFont semiboldCaptionFont(const QFont &base);
    static QFont headlineFont(const QFont &base);
    static QFont subheadlineFont(const QFont &base);
    static QFont monospacedFont(const QFont &base);

    static bool isDark(const QPalette &palette);
    static QColor primary(const QPalette &palette);
    // Grey text for captions and secondary details; readable on light and dark palettes.
    static QColor secondary(const QPalette &palette);
    // Qt 6.4 has no accent role; the selection highlight is the theme's accent.
    static QColor accent(const QPalette &palette);
    static QColor green();
    static QColor orange();
    static QColor red();
    static QColor blue();
    // The light surface of cards and editors: white, but the palette's base colour on dark
    // palettes, where white under white text would be unreadable.
    static QColor surface(const QPalette &palette);

    static QColor withOpacity(QColor colour, double opacity);
};

} // namespace tessel
