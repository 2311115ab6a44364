#pragma once

#include <QString>

#include <optional>

namespace tessel {

// What a gateway running on this computer left in its environment file.
struct LocalGatewayEnvironmentConfiguration
{
    static constexpr int defaultPort = 4821;

    QString authToken; // trimmed, never empty
    int port = defaultPort; // 1...65535

    // Nothing for a token that trims to empty or a port outside 1...65535.
    static std::optional<LocalGatewayEnvironmentConfiguration> make(const QString &authToken, int port);

    friend bool operator==(const LocalGatewayEnvironmentConfiguration &,
                           const LocalGatewayEnvironmentConfiguration &) = default;
};

} // namespace tessel
