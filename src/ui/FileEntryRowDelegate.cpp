#include "ui/FileEntryRowDelegate.h"

#include "app/ValueListModel.h"
#include "ui/Icons.h"
#include "ui/UiStyle.h"

#include <QPainter>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

FileEntryRowDelegate::Texts FileEntryRowDelegate::texts(const ProjectFileEntry &entry)
{
    const bool isDirectory = entry.kind == ProjectFileKind::directory;
    return Texts{entry.name, isDirectory ? u"Directory"_s : entry.path, isDirectory};
}

QSize FileEntryRowDelegate::sizeHint(const QStyleOptionViewItem &option, const QModelIndex &) const
{
    const int text =
        lineHeight(UiStyle::bodyFont(option.font)) + lineSpacing + lineHeight(UiStyle::captionFont(option.font));
    return QSize(rowWidth(option), 2 * verticalPadding + std::max(iconSize, text));
}

void FileEntryRowDelegate::paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const
{
    const Texts texts =
        FileEntryRowDelegate::texts(index.data(FileEntryListModel::ValueRole).value<ProjectFileEntry>());
    painter->save();
    paintBackground(painter, option);
    const QRect inner = option.rect.adjusted(horizontalPadding, verticalPadding, -horizontalPadding, -verticalPadding);

    const QIcon icon = Icons::symbol(texts.isDirectory ? SfSymbol::folderFill : SfSymbol::docText);
    const QColor tint = option.state & QStyle::State_Selected ? primaryText(option)
        : texts.isDirectory                                   ? UiStyle::accent(option.palette)
                                                              : UiStyle::secondary(option.palette);
    const QRect iconRect(inner.left(), inner.center().y() - iconSize / 2, iconSize, iconSize);
    painter->drawPixmap(iconRect, Icons::tinted(icon, iconRect.size(), tint, painter->device()->devicePixelRatioF()));

    const QFont body = UiStyle::bodyFont(option.font);
    const QFont caption = UiStyle::captionFont(option.font);
    const int textHeight = lineHeight(body) + lineSpacing + lineHeight(caption);
    const int left = iconRect.right() + 1 + spacing;
    QRect line(left, inner.center().y() - textHeight / 2, inner.right() + 1 - left, lineHeight(body));
    drawLine(painter, line, texts.name, body, primaryText(option));
    line = QRect(left, line.bottom() + 1 + lineSpacing, line.width(), lineHeight(caption));
    drawLine(painter, line, texts.detail, caption, secondaryText(option));
    painter->restore();
}

} // namespace tessel
