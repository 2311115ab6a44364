#pragma once

#include "storage/GatewaySecretStoreBackend.h"
#include "storage/OwnerOnlyFileSecretBackend.h"
#include "storage/SecretServiceProbe.h"

namespace tessel {

// The owner-only token files of this and of earlier versions.
struct FallbackTokenFiles
{
    QString current = OwnerOnlyFileSecretBackend::defaultFilePath();
    QString earlier = OwnerOnlyFileSecretBackend::earlierDefaultFilePath();
};

// The one token store of this run, chosen once at start. With a Secret Service that answers,
// every token left in the owner-only files (written by runs without one) moves into it and
// leaves the files; without one, the owner-only file is used, the earlier version's file moves
// into it, and one line on stderr says so. The keyring's own tokens are never touched by a run
// that falls back, so they are all there again in the next run that has it.
GatewaySecretStoreBackend applicationSecretBackend(SecretServiceAvailability availability,
                                                   const FallbackTokenFiles &files = {});

} // namespace tessel
