#pragma once

#include "storage/GatewaySecretStoreBackend.h"

#include <QList>
#include <QUuid>

namespace tessel {

// One gateway token per machine, kept in a credential store under the machine's UUID text.
// Tokens are looked for in an ordered list of locations (first hit wins) and written to the
// best location that accepts them; a token found in a lesser location moves up on read and
// copies elsewhere are deleted. No cache: every call goes to the backend. Backend failures
// are absorbed: a failed write tries the next location, a failed delete is ignored.
class GatewaySecretStore
{
public:
    // Both access groups are normalised (trimmed; blank means none). The legacy group, when
    // given, is only read from (and tidied up), never written.
    GatewaySecretStore(const QString &service, const std::optional<QString> &accessGroup, bool isSynchronizable,
                       const std::optional<QString> &legacyMigrationAccessGroup, GatewaySecretStoreBackend backend);

    // The store the application uses: its service name and build-time access group.
    static GatewaySecretStore forApplication(GatewaySecretStoreBackend backend);

    // The token, or an empty string when no location holds one. May promote (write and delete).
    QString token(const QUuid &machineID) const;
    // Stores the trimmed token; a blank token deletes the machine's item everywhere.
    void setToken(const QString &token, const QUuid &machineID) const;

    bool isUsingSharedAccessGroup() const;
    const QList<GatewaySecretStoreConfiguration> &preferredWriteConfigurations() const { return m_writeConfigurations; }
    const QList<GatewaySecretStoreConfiguration> &readConfigurations() const { return m_readConfigurations; }

private:
    void promoteTokenIfNeeded(const QString &token, const QString &account,
                              const GatewaySecretStoreConfiguration &source) const;
    void removeDuplicates(const QString &account, const GatewaySecretStoreConfiguration &kept) const;

    QList<GatewaySecretStoreConfiguration> m_writeConfigurations;
    QList<GatewaySecretStoreConfiguration> m_readConfigurations;
    GatewaySecretStoreBackend m_backend;
};

} // namespace tessel
