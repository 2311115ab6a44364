#include "ui/DetailColumn.h"

#include "app/TesselDesktopPOCModel.h"
#include "ui/ChatPane.h"
#include "ui/DetailHeader.h"
#include "ui/FilesPane.h"
#include "ui/ModelBinding.h"
#include "ui/PaneParts.h"
#include "ui/UiStyle.h"

#include <QLinearGradient>
#include <QPainter>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace tessel {

DetailColumn::DetailColumn(TesselDesktopPOCModel *model, QWidget *parent)
    : QWidget(parent)
{
    auto *header = new DetailHeader(model, this);
    auto *chat = new ChatPane(model, this);
    auto *files = new FilesPane(model, this);
    auto *panes = new QStackedWidget(this);
    panes->addWidget(chat);
    panes->addWidget(files);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 16, 0, 0);
    layout->setSpacing(12);
    auto *headerBox = new QVBoxLayout;
    headerBox->setContentsMargins(20, 0, 20, 0);
    headerBox->addWidget(header);
    layout->addLayout(headerBox);
    layout->addWidget(PaneParts::divider(this));
    layout->addWidget(panes, 1);

    ModelBinding::observe(model, panes, {&TesselDesktopPOCModel::workspaceTabChanged}, [model, panes, chat, files] {
        panes->setCurrentWidget(model->workspaceTab() == ProjectWorkspaceTab::files ? static_cast<QWidget *>(files)
                                                                                    : chat);
    });
}

void DetailColumn::paintEvent(QPaintEvent *)
{
    // Two tints of the window colour, from the top-leading to the bottom-trailing corner.
    const QColor base = palette().color(QPalette::Window);
    const bool dark = UiStyle::isDark(palette());
    QLinearGradient gradient(rect().topLeft(), rect().bottomRight());
    gradient.setColorAt(0, dark ? base.lighter(115) : QColor(0xf5, 0xf7, 0xfb));
    gradient.setColorAt(1, dark ? base.darker(115) : QColor(0xe9, 0xef, 0xf7));
    QPainter painter(this);
    painter.fillRect(rect(), gradient);
}

} // namespace tessel
