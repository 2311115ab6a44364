#pragma once

#include "protocol/ProjectFileTypes.h"
#include "ui/RowDelegate.h"

namespace tessel {

// A row of the files list, over a FileEntryListModel: a folder icon in the accent colour or
// a document icon in grey, then the name over "Directory" or the file's path.
class FileEntryRowDelegate : public RowDelegate
{
    Q_OBJECT

public:
    struct Texts
    {
        QString name;
        QString detail;
        bool isDirectory = false;
    };

    static constexpr int iconSize = 20;
    static constexpr int spacing = 10;
    static constexpr int verticalPadding = 2;
    static constexpr int lineSpacing = 4;

    using RowDelegate::RowDelegate;

    void paint(QPainter *painter, const QStyleOptionViewItem &option, const QModelIndex &index) const override;
    QSize sizeHint(const QStyleOptionViewItem &option, const QModelIndex &index) const override;

    static Texts texts(const ProjectFileEntry &entry);
};

} // namespace tessel
