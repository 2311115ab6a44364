#include "storage/LocalGatewayEnvironmentConfiguration.h"

namespace tessel {

std::optional<LocalGatewayEnvironmentConfiguration> LocalGatewayEnvironmentConfiguration::make(const QString &authToken,
                                                                                               int port)
{
    const QString trimmed = authToken.trimmed();
    if (trimmed.isEmpty() || port < 1 || port > 65535)
        return std::nullopt;
    return LocalGatewayEnvironmentConfiguration{trimmed, port};
}

} // namespace tessel
