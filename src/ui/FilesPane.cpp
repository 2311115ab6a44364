#include "ui/FilesPane.h"

#include "ui/DocumentColumn.h"
#include "ui/FilesBrowserColumn.h"

namespace tessel {

FilesPane::FilesPane(TesselDesktopPOCModel *model, QWidget *parent)
    : QSplitter(Qt::Horizontal, parent)
{
    addWidget(new FilesBrowserColumn(model, this));
    addWidget(new DocumentColumn(model, this));
    setChildrenCollapsible(false);
    setStretchFactor(0, 0);
    setStretchFactor(1, 1);
    setSizes({FilesBrowserColumn::idealWidth, 10000});
}

} // namespace tessel
