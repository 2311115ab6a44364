#pragma once

#include <QString>

namespace tessel {

// The settings keys the local store reads and writes.
struct TesselSettingsLocalStoreConfiguration
{
    // Keys of older layouts: read once for migration, removed by every save.
    struct LegacyKeys
    {
        QString machines;
        QString gatewayURL;
        QString gatewayToken;
        QString cwd;
    };

    QString machineRegistry;
    QString projectWorkspaceTabs;
    QString projectLastOpenedFiles;
    LegacyKeys legacy;

    // The keys the application uses; stored settings of earlier versions rely on them.
    static TesselSettingsLocalStoreConfiguration application();
};

} // namespace tessel
