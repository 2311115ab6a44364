#include "ui/Icons.h"

#include "ui/UiStyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>

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

} // namespace

QIcon Icons::symbol(SfSymbol symbol, const QStyle *style)
{
    for (const QStringView name : info(symbol).themeNames) {
        if (QIcon::hasThemeIcon(name.toString()))
            return QIcon::fromTheme(name.toString());
    }
    return fallback(symbol, style ? style : QApplication::style());
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

QIcon Icons::fallback(SfSymbol symbol, const QStyle *style)
{
    switch (symbol) {
    case SfSymbol::plus: return drawnSign(true);
    case SfSymbol::minus: return drawnSign(false);
    case SfSymbol::rectangleStack: return style->standardIcon(QStyle::SP_FileDialogListView);
    case SfSymbol::arrowUpBackward: return style->standardIcon(QStyle::SP_FileDialogToParent);
    case SfSymbol::arrowClockwise: return style->standardIcon(QStyle::SP_BrowserReload);
    case SfSymbol::folder:
    case SfSymbol::folderFill: return style->standardIcon(QStyle::SP_DirIcon);
    case SfSymbol::docText: return style->standardIcon(QStyle::SP_FileIcon);
    }
    Q_UNREACHABLE();
    return {};
}

QIcon Icons::drawnSign(bool plus)
{
    QIcon icon;
    for (const int size : {16, 24, 32, 48}) {
        QPixmap pixmap(size, size);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(UiStyle::primary(QGuiApplication::palette()), size / 8.0, Qt::SolidLine, Qt::RoundCap));
        const qreal inset = size / 4.0;
        const qreal middle = size / 2.0;
        painter.drawLine(QPointF(inset, middle), QPointF(size - inset, middle));
        if (plus)
            painter.drawLine(QPointF(middle, inset), QPointF(middle, size - inset));
        icon.addPixmap(pixmap);
    }
    return icon;
}

} // namespace tessel
