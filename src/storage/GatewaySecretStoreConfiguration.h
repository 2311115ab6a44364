#pragma once

#include <QHashFunctions>
#include <QString>

#include <optional>

namespace tessel {

// One place a token item may sit: service, optional access group, synchronizable flag.
struct GatewaySecretStoreConfiguration
{
    QString service;
    // Absent: the application's own default group.
    std::optional<QString> accessGroup;
    bool isSynchronizable = false;

    friend bool operator==(const GatewaySecretStoreConfiguration &, const GatewaySecretStoreConfiguration &) = default;
};

inline size_t qHash(const GatewaySecretStoreConfiguration &configuration, size_t seed = 0)
{
    return qHashMulti(seed, configuration.service, configuration.accessGroup.value_or(QString()),
                      configuration.accessGroup.has_value(), configuration.isSynchronizable);
}

} // namespace tessel
