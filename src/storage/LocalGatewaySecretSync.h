#pragma once

#include "storage/GatewaySecretStore.h"
#include "storage/LocalGatewayEnvironmentConfiguration.h"
#include "storage/MachineProfile.h"

#include <QDir>
#include <QSet>
#include <QStringList>

// Picks up the token of a gateway running on this computer from its environment file and
// stores it for every registered machine whose URL points at this computer.
namespace tessel::LocalGatewaySecretSync {

// .config/tessel-gateway/gateway.env under the given home folder, the user's by default.
QString defaultConfigurationPath(const QString &homeDirectory = QDir::homePath());

// Nothing when the file is missing, unreadable, not UTF-8, or holds no usable token.
std::optional<LocalGatewayEnvironmentConfiguration> loadConfiguration(const QString &path = defaultConfigurationPath());
std::optional<LocalGatewayEnvironmentConfiguration> parseConfiguration(const QString &text);

// Names of this computer: loopback names, the addresses of its active interfaces and its
// host names (each also in its ".local" form where that applies).
QSet<QString> localEndpointIdentifiers();
QSet<QString> localEndpointIdentifiers(const QStringList &hostNames, const QStringList &interfaceAddresses);
QStringList currentInterfaceAddresses();

// Lower-cased, without brackets or an IPv6 zone, plus the name with or without ".local".
QSet<QString> normalizedHostIdentifiers(const QString &value);

// The URL names a host in `identifiers` and the port in effect (4821 when it names none).
bool matchesLocalGateway(const QString &gatewayURL, int port, const QSet<QString> &identifiers);

template<GatewayMachineDescriptor Machine>
QSet<QUuid> matchingMachineIDs(const QList<Machine> &machines,
                               const LocalGatewayEnvironmentConfiguration &configuration,
                               const QSet<QString> &identifiers)
{
    QSet<QUuid> matching;
    for (const Machine &machine : machines) {
        if (matchesLocalGateway(machine.gatewayURL, configuration.port, identifiers))
            matching.insert(machine.id);
    }
    return matching;
}

// Stores the file's token for every matching machine whose stored token differs; returns
// the ids whose token was written. Machines are visited in list order.
template<GatewayMachineDescriptor Machine>
QSet<QUuid> synchronizeLocalGatewayToken(const LocalGatewayEnvironmentConfiguration &configuration,
                                         const GatewaySecretStore &store, const QList<Machine> &machines,
                                         const QSet<QString> &identifiers)
{
    QSet<QUuid> changed;
    QSet<QUuid> visited;
    for (const Machine &machine : machines) {
        if (visited.contains(machine.id) || !matchesLocalGateway(machine.gatewayURL, configuration.port, identifiers))
            continue;
        visited.insert(machine.id);
        if (store.token(machine.id) != configuration.authToken) {
            store.setToken(configuration.authToken, machine.id);
            changed.insert(machine.id);
        }
    }
    return changed;
}

} // namespace tessel::LocalGatewaySecretSync
