#include "ui/TesselDesktopPOCContentView.h"

#include "ui/ContentToolbar.h"
#include "ui/DetailColumn.h"
#include "ui/SidebarPane.h"

#include <QSplitter>
#include <QVBoxLayout>

namespace tessel {

TesselDesktopPOCContentView::TesselDesktopPOCContentView(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
    , m_model(model)
{
    // Made first, so that Tab reaches the toolbar, then the sidebar, then the detail column,
    // as they read from the top left.
    auto *toolbar = new ContentToolbar(model, this);
    auto *split = new QSplitter(Qt::Horizontal, this);
    split->addWidget(new SidebarPane(model, split));
    split->addWidget(new DetailColumn(model, split));
    split->setChildrenCollapsible(false);
    split->setStretchFactor(0, 0);
    split->setStretchFactor(1, 1);
    split->setSizes({SidebarPane::idealWidth, 10000});

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(toolbar);
    layout->addWidget(split, 1);
}

} // namespace tessel
