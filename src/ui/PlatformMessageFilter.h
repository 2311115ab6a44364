#pragma once

namespace tessel {

// Drops the one warning Qt's offscreen platform prints whenever a window has a minimum
// size ("does not support propagateSizeHints"): it is expected there and says nothing
// about the app. Every other message goes to the handler that was installed before.
void installPlatformMessageFilter();

} // namespace tessel
