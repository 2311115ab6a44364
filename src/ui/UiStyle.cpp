#include "ui/UiStyle.h"

#include <QFontDatabase>

namespace tessel {

namespace {

QFont scaled(const QFont &base, double factor)
{
    QFont font = base;
    if (base.pointSizeF() > 0)
        font.setPointSizeF(std::max(7.0, base.pointSizeF() * factor));
    else
        font.setPixelSize(std::max(9, int(base.pixelSize() * factor)));
    return font;
}

} // namespace

QFont UiStyle::bodyFont(const QFont &base)
{
    return base;
}

QFont UiStyle::captionFont(const QFont &base)
{
    return scaled(base, 0.85);
}

QFont UiStyle::semiboldCaptionFont(const QFont &base)
{
    QFont font = captionFont(base);
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont UiStyle::headlineFont(const QFont &base)
{
    QFont font = base;
    font.setWeight(QFont::DemiBold);
    return font;
}

QFont UiStyle::subheadlineFont(const QFont &base)
{
    return scaled(base, 0.92);
}

QFont UiStyle::monospacedFont(const QFont &base)
{
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (base.pointSizeF() > 0)
        font.setPointSizeF(base.pointSizeF());
    else
        font.setPixelSize(base.pixelSize());
    return font;
}

bool UiStyle::isDark(const QPalette &palette)
{
    return palette.color(QPalette::Window).lightness() < 128;
}

QColor UiStyle::primary(const QPalette &palette)
{
    return palette.color(QPalette::Text);
}

QColor UiStyle::secondary(const QPalette &palette)
{
    return isDark(palette) ? QColor(152, 152, 157) : QColor(108, 108, 112);
}

QColor UiStyle::accent(const QPalette &palette)
{
    return palette.color(QPalette::Highlight);
}

QColor UiStyle::green()
{
    return QColor(40, 167, 69);
}

QColor UiStyle::orange()
{
    return QColor(240, 130, 0);
}

QColor UiStyle::red()
{
    return QColor(225, 50, 40);
}

QColor UiStyle::blue()
{
    return QColor(0, 122, 255);
}

QColor UiStyle::surface(const QPalette &palette)
{
    return isDark(palette) ? palette.color(QPalette::Base) : QColor(Qt::white);
}

QColor UiStyle::withOpacity(QColor colour, double opacity)
{
    colour.setAlphaF(float(opacity));
    return colour;
}

} // namespace tessel
