#include "storage/GatewaySecretStore.h"

#include "protocol/UuidText.h"
#include "storage/TesselSharedSettingsIdentifiers.h"

namespace tessel {

namespace {

std::optional<QString> normalized(const std::optional<QString> &value)
{
    if (!value)
        return std::nullopt;
    const QString trimmed = value->trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

QList<GatewaySecretStoreConfiguration> deduplicated(const QList<GatewaySecretStoreConfiguration> &configurations)
{
    QList<GatewaySecretStoreConfiguration> kept;
    for (const GatewaySecretStoreConfiguration &configuration : configurations) {
        if (!kept.contains(configuration))
            kept.append(configuration);
    }
    return kept;
}

} // namespace

GatewaySecretStore::GatewaySecretStore(const QString &service, const std::optional<QString> &accessGroup,
                                       bool isSynchronizable, const std::optional<QString> &legacyMigrationAccessGroup,
                                       GatewaySecretStoreBackend backend)
    : m_backend(std::move(backend))
{
    const std::optional<QString> group = normalized(accessGroup);
    // Best first: the shared group (synchronizable when asked), then the same group local
    // only, then the application's own group, which is always writable.
    m_writeConfigurations =
        deduplicated({{service, group, isSynchronizable}, {service, group, false}, {service, std::nullopt, false}});
    // Everywhere this or an earlier build may have written.
    QList<GatewaySecretStoreConfiguration> read{{service, group, isSynchronizable},
                                                {service, group, false},
                                                {service, std::nullopt, true},
                                                {service, std::nullopt, false}};
    if (const std::optional<QString> legacyGroup = normalized(legacyMigrationAccessGroup))
        read.append({{service, legacyGroup, true}, {service, legacyGroup, false}});
    m_readConfigurations = deduplicated(read);
}

GatewaySecretStore GatewaySecretStore::forApplication(GatewaySecretStoreBackend backend)
{
    return {TesselSharedSettingsIdentifiers::gatewayTokenService(),
            TesselSharedSettingsIdentifiers::currentKeychainAccessGroup(), true, std::nullopt, std::move(backend)};
}

QString GatewaySecretStore::token(const QUuid &machineID) const
{
    const QString account = uuidText(machineID);
    for (const GatewaySecretStoreConfiguration &configuration : m_readConfigurations) {
        if (const std::optional<QString> token = m_backend.readToken(account, configuration)) {
            promoteTokenIfNeeded(*token, account, configuration);
            return *token;
        }
    }
    return {};
}

void GatewaySecretStore::setToken(const QString &token, const QUuid &machineID) const
{
    const QString account = uuidText(machineID);
    const QString trimmed = token.trimmed();
    if (trimmed.isEmpty()) {
        for (const GatewaySecretStoreConfiguration &configuration : m_readConfigurations)
            m_backend.removeToken(account, configuration);
        return;
    }
    for (const GatewaySecretStoreConfiguration &configuration : m_writeConfigurations) {
        if (m_backend.upsertToken(trimmed, account, configuration)) {
            removeDuplicates(account, configuration);
            return;
        }
    }
}

bool GatewaySecretStore::isUsingSharedAccessGroup() const
{
    return std::any_of(
        m_writeConfigurations.cbegin(), m_writeConfigurations.cend(),
        [](const GatewaySecretStoreConfiguration &configuration) { return configuration.accessGroup.has_value(); });
}

void GatewaySecretStore::promoteTokenIfNeeded(const QString &token, const QString &account,
                                              const GatewaySecretStoreConfiguration &source) const
{
    for (const GatewaySecretStoreConfiguration &configuration : m_writeConfigurations) {
        if (configuration == source || m_backend.upsertToken(token, account, configuration)) {
            removeDuplicates(account, configuration);
            return;
        }
    }
}

void GatewaySecretStore::removeDuplicates(const QString &account, const GatewaySecretStoreConfiguration &kept) const
{
    for (const GatewaySecretStoreConfiguration &configuration : m_readConfigurations) {
        if (configuration != kept)
            m_backend.removeToken(account, configuration);
    }
}

} // namespace tessel
