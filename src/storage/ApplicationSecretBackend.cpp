#include "storage/ApplicationSecretBackend.h"

#include "storage/SecretServiceBackend.h"

namespace tessel {

GatewaySecretStoreBackend applicationSecretBackend(SecretServiceAvailability availability,
                                                   const QString &fallbackFilePath)
{
    if (availability == SecretServiceAvailability::available)
        return SecretServiceBackend::make();
    return OwnerOnlyFileSecretBackend(fallbackFilePath).backend();
}

} // namespace tessel
