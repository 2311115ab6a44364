#pragma once

#include <QToolBar>

class QToolButton;

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
    QToolButton *addButton(const QString &label, const QString &identifier, const std::function<void()> &action,
                           QAction **placement = nullptr);

    TesselDesktopPOCModel *m_model;
};

} // namespace tessel
