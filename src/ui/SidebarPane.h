#pragma once

#include "app/ValueListModel.h"
#include "ui/SessionFilterModel.h"

#include <QWidget>

class QComboBox;
class QListView;
class QStackedWidget;
class QToolButton;
class QVBoxLayout;

namespace tessel {

enum class SfSymbol;
class StatusRow;
class TesselDesktopPOCModel;

// The window's left column: the machine, project and status sections, then the gateway's
// sessions (or their empty state). Every control reads the model and calls its operations.
class SidebarPane : public QWidget
{
    Q_OBJECT

public:
    static constexpr int minimumWidth = 340;
    static constexpr int idealWidth = 380;
    // The least height the session list keeps when the form above needs the rest.
    static constexpr int sessionsMinimumHeight = 100;

    explicit SidebarPane(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

private:
    QWidget *buildMachineSection();
    QWidget *buildProjectSection();
    QWidget *buildStatusSection();
    QWidget *buildSessionSection();
    QToolButton *symbolButton(SfSymbol symbol, const QString &identifier, const QString &accessibleName,
                              void (TesselDesktopPOCModel::*action)());
    StatusRow *addStatusRow(QVBoxLayout *layout, const QString &title);
    void showSelectedSession();

    TesselDesktopPOCModel *m_model;
    SessionListModel m_sessions;
    SessionFilterModel m_filter;
    QListView *m_sessionList = nullptr;
};

} // namespace tessel
