#pragma once

#include "sync/ReferenceDate.h"
#include "sync/SyncedSettingsState.h"

#include <optional>

namespace tessel {

// What the sidebar shows about settings sync.
struct DesktopSyncDiagnostics
{
    bool syncEnabled = false;
    // The replicated store is usable at all (the sync folder exists or can be made).
    bool hasICloudAccount = false;
    bool canSynchronizeStore = false;
    bool isUsingSharedKeychain = false;
    std::optional<qint64> cloudMachineCount;
    std::optional<qint64> cloudProjectCount;
    std::optional<ReferenceDate> cloudStateUpdatedAt;
    std::optional<SyncedWriterInfo> cloudWriter;
    std::optional<ReferenceDate> lastRemoteApplyAt;
    std::optional<ReferenceDate> lastLocalPublishAt;

    friend bool operator==(const DesktopSyncDiagnostics &, const DesktopSyncDiagnostics &) = default;
};

} // namespace tessel
