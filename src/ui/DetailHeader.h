#pragma once

#include "storage/MachineProfile.h"

#include <QWidget>

#include <optional>

namespace tessel {

class TesselDesktopPOCModel;

// The top of the detail column: the title over the project label, the connection and
// backend badges, and the "Workspace" picker that switches between chat and files.
class DetailHeader : public QWidget
{
    Q_OBJECT

public:
    static constexpr int pickerMaximumWidth = 280;

    explicit DetailHeader(TesselDesktopPOCModel *model, QWidget *parent = nullptr);

    // "machine • project", then " • directory" when a project with a directory is selected;
    // a missing machine or project reads "No Machine" or "No Project".
    static QString projectLabel(const std::optional<MachineProfile> &machine,
                                const std::optional<ProjectProfile> &project);
};

} // namespace tessel
