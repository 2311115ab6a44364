#pragma once

#include <QIcon>
#include <QStringList>

#include <optional>

class QStyle;

namespace tessel {

// The symbols the window shows, by their names in the window's design.
enum class SfSymbol { plus, minus, rectangleStack, arrowUpBackward, arrowClockwise, folder, folderFill, docText };

// Symbols as icons: the desktop's freedesktop theme icon when it has one, else a QStyle
// standard icon (or, for plus and minus, which no standard icon shows, a drawn sign).
class Icons
{
public:
    static QIcon symbol(SfSymbol symbol, const QStyle *style = nullptr);
    // "plus", "arrow.up.backward", ...; nothing for a name the window does not use.
    static std::optional<SfSymbol> fromName(QStringView name);
    static QString name(SfSymbol symbol);
    // The theme icon names tried, in order.
    static QStringList themeNames(SfSymbol symbol);
    // The icon's pixmap recoloured to one colour, as symbols take their tint.
    static QPixmap tinted(const QIcon &icon, QSize size, const QColor &colour, qreal devicePixelRatio = 1);

private:
    static QIcon fallback(SfSymbol symbol, const QStyle *style);
    static QIcon drawnSign(bool plus);
};

} // namespace tessel
