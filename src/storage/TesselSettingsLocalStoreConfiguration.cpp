#include "storage/TesselSettingsLocalStoreConfiguration.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

TesselSettingsLocalStoreConfiguration TesselSettingsLocalStoreConfiguration::application()
{
    return {u"TesselDesktopPOC.machineRegistry"_s,
            u"TesselDesktopPOC.projectWorkspaceTabs"_s,
            u"TesselDesktopPOC.projectLastOpenedFiles"_s,
            {u"TesselDesktopPOC.machines"_s, u"TesselDesktopPOC.gatewayURL"_s, u"TesselDesktopPOC.gatewayToken"_s,
             u"TesselDesktopPOC.projectDirectory"_s}};
}

} // namespace tessel
