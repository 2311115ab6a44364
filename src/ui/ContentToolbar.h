#pragma once

#include <QToolBar>

namespace tessel {

class TesselDesktopPOCModel;

// The window's commands: Connect/Reconnect and Disconnect, then Reload Files and Save on
// the files tab, or New Session, Refresh Sessions and Abort Turn on the chat tab.
class ContentToolbar : public QToolBar
{
    Q_OBJECT

public:
    explicit ContentToolbar(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

private:
    // The action that holds the button in the toolbar.
    QAction *addButton(const QString &label, const QString &identifier, const std::function<void()> &action);

    TesselDesktopPOCModel *m_model;
};

} // namespace tessel
