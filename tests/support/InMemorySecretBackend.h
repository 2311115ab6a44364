#pragma once

#include "storage/GatewaySecretStoreBackend.h"

#include <QHash>
#include <QSet>

namespace tessel::test {

// A credential store in memory, for the secret store's rules: items addressed exactly by
// (account, location), locations that refuse writes, and a count of writes.
class InMemorySecretBackend
{
public:
    // Functions that act on this object; it must outlive every store using them.
    GatewaySecretStoreBackend backend();

    void put(const QString &account, const GatewaySecretStoreConfiguration &location, const QByteArray &bytes)
    {
        m_items.insert({account, location}, bytes);
    }
    std::optional<QByteArray> item(const QString &account, const GatewaySecretStoreConfiguration &location) const;
    // Locations that hold an item for the account, in no particular order.
    QList<GatewaySecretStoreConfiguration> locations(const QString &account) const;

    QSet<GatewaySecretStoreConfiguration> refusingWrites;
    int writeCount = 0;

private:
    QHash<std::pair<QString, GatewaySecretStoreConfiguration>, QByteArray> m_items;
};

} // namespace tessel::test
