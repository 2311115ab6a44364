#pragma once

#include "storage/GatewaySecretStoreBackend.h"
#include "storage/OwnerOnlyFileSecretBackend.h"
#include "storage/SecretServiceProbe.h"

namespace tessel {

// The Secret Service when the probe found one that answers, else the owner-only file.
GatewaySecretStoreBackend
applicationSecretBackend(SecretServiceAvailability availability,
                         const QString &fallbackFilePath = OwnerOnlyFileSecretBackend::defaultFilePath());

} // namespace tessel
