#include "sync/SyncBootstrapRules.h"

namespace tessel {

bool shouldBootstrapLocalSettingsIntoSync(const std::optional<SyncedSettingsState> &currentState,
                                          bool hasMeaningfulLocalState)
{
    return hasMeaningfulLocalState && (!currentState || !currentState->hasMeaningfulContent());
}

bool shouldProtectMeaningfulLocalSettingsFromInitialEmptyRemoteState(
    const SyncedSettingsState &incomingState, bool hasMeaningfulLocalState,
    const std::optional<ReferenceDate> &lastLocalPublishAt)
{
    return !lastLocalPublishAt && shouldBootstrapLocalSettingsIntoSync(incomingState, hasMeaningfulLocalState);
}

} // namespace tessel
