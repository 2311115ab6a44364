#pragma once

#include <QString>

namespace tessel {

class TesselDesktopPOCModel;

// Why a command of the window cannot run now, in words for a disabled button's tooltip and
// accessible description; an empty string when it can. Each agrees with the model's own
// rule for the command, so a button is enabled exactly when its action would do something.
class CommandAvailability
{
public:
    static QString connect(const TesselDesktopPOCModel &model);
    static QString disconnect(const TesselDesktopPOCModel &model);
    static QString newSession(const TesselDesktopPOCModel &model);
    static QString refreshSessions(const TesselDesktopPOCModel &model);
    static QString abortTurn(const TesselDesktopPOCModel &model);
    static QString openSelectedSession(const TesselDesktopPOCModel &model);
    static QString send(const TesselDesktopPOCModel &model);
    static QString reloadFiles(const TesselDesktopPOCModel &model);
    static QString saveDocument(const TesselDesktopPOCModel &model);
    static QString openParentDirectory(const TesselDesktopPOCModel &model);
    static QString deleteMachine(const TesselDesktopPOCModel &model);
    static QString deleteProject(const TesselDesktopPOCModel &model);
};

} // namespace tessel
