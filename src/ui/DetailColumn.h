#pragma once

#include <QWidget>

namespace tessel {

class TesselDesktopPOCModel;

// The right side of the window: the header over the chat pane or the files pane, on a soft
// diagonal gradient.
class DetailColumn : public QWidget
{
    Q_OBJECT

public:
    explicit DetailColumn(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};

} // namespace tessel
