#pragma once

#include <QIcon>
#include <QStringList>

#include <optional>

namespace tessel {

// The symbols the window shows, by their names in the window's design.
enum class SfSymbol { plus, minus, rectangleStack, arrowUpBackward, arrowClockwise, folder, folderFill, docText };

// Symbols as icons: the desktop's freedesktop theme icon when the theme has one, else the
// application's own monochrome drawing of it (an SVG resource), in one colour.
class Icons
{
public:
    // `colour` tints the bundled drawing; the palette's button text colour when not given.
    static QIcon symbol(SfSymbol symbol, const QColor &colour = {});
    // The bundled drawing alone, whatever the theme has.
    static QIcon bundled(SfSymbol symbol, const QColor &colour = {});
    // "plus", "arrow.up.backward", ...; nothing for a name the window does not use.
    static std::optional<SfSymbol> fromName(QStringView name);
    static QString name(SfSymbol symbol);
    // The theme icon names tried, in order.
    static QStringList themeNames(SfSymbol symbol);
    // The icon's pixmap recoloured to one colour, as symbols take their tint.
    static QPixmap tinted(const QIcon &icon, QSize size, const QColor &colour, qreal devicePixelRatio = 1);
};

} // namespace tessel
