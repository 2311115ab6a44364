#pragma once

#include "sync/SyncedSettingsState.h"

#include <optional>

namespace tessel {

// Local settings worth keeping are published instead of being replaced when the stored
// document is missing or empty (no machines, no handoff).
bool shouldBootstrapLocalSettingsIntoSync(const std::optional<SyncedSettingsState> &currentState,
                                          bool hasMeaningfulLocalState);

// Before this run's first publish, an empty incoming document must not wipe local settings
// worth keeping; the caller publishes them instead.
bool shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(
    const SyncedSettingsState &incomingState, bool hasMeaningfulLocalState,
    const std::optional<ReferenceDate> &lastLocalPublishAt);

} // namespace tessel
