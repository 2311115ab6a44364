#pragma once

#include <QWidget>

namespace tessel {

class TesselDesktopPOCModel;

// The window's only content: the toolbar over a split of the sidebar and the detail column.
// Holds nothing but the model; every control reads the model's fields and calls its
// operations, and each carries its fixed "desktop-..." object name for automation.
class TesselDesktopPOCContentView : public QWidget
{
    Q_OBJECT

public:
    explicit TesselDesktopPOCContentView(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

    TesselDesktopPOCModel *model() const { return m_model; }

private:
    TesselDesktopPOCModel *m_model;
};

} // namespace tessel
