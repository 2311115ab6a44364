#pragma once

#include "storage/MachineProfile.h"

#include <QMap>
#include <QString>

namespace tessel {

// What the local store saves: the token-less registry and two opaque string maps.
struct LocalSettingsSnapshot
{
    QList<StoredMachineProfile> machines;
    QMap<QString, QString> projectWorkspaceTabs;
    QMap<QString, QString> projectLastOpenedFiles;

    friend bool operator==(const LocalSettingsSnapshot &, const LocalSettingsSnapshot &) = default;
};

// A load: the snapshot plus the tokens found in older layouts, which the caller moves into
// the secret store. Several entries for one machine id keep the last one read.
struct LocalSettingsLoadResult
{
    LocalSettingsSnapshot snapshot;
    QMap<QUuid, QString> migratedGatewayTokensByMachineID;
};

} // namespace tessel
