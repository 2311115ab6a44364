#include "ui/Icons.h"

#include <QGuiApplication>
#include <QIconEngine>
#include <QPainter>
#include <QPalette>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <array>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

struct SymbolInfo
{
    SfSymbol symbol;
    QStringView name;
    std::array<QStringView, 2> themeNames;
};

constexpr std::array<SymbolInfo, 8> symbols{{
    {SfSymbol::plus, u"plus", {u"list-add", u"list-add-symbolic"}},
    {SfSymbol::minus, u"minus", {u"list-remove", u"list-remove-symbolic"}},
    {SfSymbol::rectangleStack, u"rectangle.stack", {u"view-list", u"view-list-symbolic"}},
    {SfSymbol::arrowUpBackward, u"arrow.up.backward", {u"go-up", u"go-up-symbolic"}},
    {SfSymbol::arrowClockwise, u"arrow.clockwise", {u"view-refresh", u"view-refresh-symbolic"}},
    {SfSymbol::folder, u"folder", {u"folder", u"folder-symbolic"}},
    {SfSymbol::folderFill, u"folder.fill", {u"folder", u"folder-symbolic"}},
    {SfSymbol::docText, u"doc.text", {u"text-x-generic", u"text-x-generic-symbolic"}},
}};

constexpr bool inEnumOrder()
{
    for (size_t i = 0; i < symbols.size(); ++i) {
        if (size_t(symbols[i].symbol) != i)
            return false;
    }
    return true;
}
static_assert(inEnumOrder());

const SymbolInfo &info(SfSymbol symbol)
{
    return symbols.at(size_t(symbol));
}

// Draws a bundled SVG at exactly the size asked for, in one colour (faded when disabled),
// and keeps each rendering in the pixmap cache.
class SymbolIconEngine : public QIconEngine
{
public:
    SymbolIconEngine(QString resource, QColor colour)
        : m_resource(std::move(resource))
        , m_colour(colour)
    { }

    QIconEngine *clone() const override { return new SymbolIconEngine(m_resource, m_colour); }

    void paint(QPainter *painter, const QRect &rect, QIcon::Mode mode, QIcon::State state) override
    {
        painter->drawPixmap(rect, scaledPixmap(rect.size(), mode, state, painter->device()->devicePixelRatioF()));
    }

    QPixmap pixmap(const QSize &size, QIcon::Mode mode, QIcon::State state) override
    {
        return scaledPixmap(size, mode, state, 1);
    }

    QPixmap scaledPixmap(const QSize &size, QIcon::Mode mode, QIcon::State, qreal scale) override
    {
        QColor colour = m_colour;
        if (mode == QIcon::Disabled)
            colour.setAlphaF(colour.alphaF() * 0.4f);
        const QSize pixels = size * scale;
        const QString key = u"tessel-symbol:%1:%2x%3:%4"_s.arg(m_resource)
                                .arg(pixels.width())
                                .arg(pixels.height())
                                .arg(colour.name(QColor::HexArgb));
        QPixmap pixmap;
        if (QPixmapCache::find(key, &pixmap))
            return pixmap;
        pixmap = QPixmap(pixels);
        pixmap.fill(Qt::transparent);
        {
            QPainter painter(&pixmap);
            painter.setRenderHint(QPainter::Antialiasing);
            QSvgRenderer(m_resource).render(&painter, QRectF(QPointF(0, 0), QSizeF(pixels)));
            painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
            painter.fillRect(pixmap.rect(), colour);
        }
        pixmap.setDevicePixelRatio(scale);
        QPixmapCache::insert(key, pixmap);
        return pixmap;
    }

private:
    QString m_resource;
    QColor m_colour;
};

} // namespace

QIcon Icons::symbol(SfSymbol symbol, const QColor &colour)
{
    for (const QStringView name : info(symbol).themeNames) {
        if (QIcon::hasThemeIcon(name.toString()))
            return QIcon::fromTheme(name.toString());
    }
    return bundled(symbol, colour);
}

QIcon Icons::bundled(SfSymbol symbol, const QColor &colour)
{
    return QIcon(
        new SymbolIconEngine(u":/symbols/"_s + name(symbol) + u".svg"_s,
                             colour.isValid() ? colour : QGuiApplication::palette().color(QPalette::ButtonText)));
}

std::optional<SfSymbol> Icons::fromName(QStringView name)
{
    for (const SymbolInfo &entry : symbols) {
        if (entry.name == name)
            return entry.symbol;
    }
    return std::nullopt;
}

QString Icons::name(SfSymbol symbol)
{
    return info(symbol).name.toString();
}

QStringList Icons::themeNames(SfSymbol symbol)
{
    QStringList names;
    for (const QStringView name : info(symbol).themeNames)
        names << name.toString();
    return names;
}

QPixmap Icons::tinted(const QIcon &icon, QSize size, const QColor &colour, qreal devicePixelRatio)
{
    QPixmap pixmap = icon.pixmap(size, devicePixelRatio);
    QPainter painter(&pixmap);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(pixmap.rect(), colour);
    return pixmap;
}

} // namespace tessel
