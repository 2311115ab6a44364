#pragma once

#include "storage/GatewaySecretStoreBackend.h"

#include <QList>
#include <QSet>

namespace tessel::test {

// A credential store in memory, for the secret store's rules: items addressed exactly by
// (account, location), locations that refuse writes, and counters of writes and deletes.
class InMemorySecretBackend
{
public:
    // Functions that act on this object; it must outlive every store using them.
    GatewaySecretStoreBackend backend();

    void put(const QString &account, const GatewaySecretStoreConfiguration &location, const QByteArray &bytes);
    std::optional<QByteArray> item(const QString &account, const GatewaySecretStoreConfiguration &location) const;
    // Locations that hold an item for the account, in no particular order.
    QList<GatewaySecretStoreConfiguration> locations(const QString &account) const;

    QSet<GatewaySecretStoreConfiguration> refusingWrites;
    int writeCount = 0;
    int removeCount = 0;

private:
    struct Item
    {
        QString account;
        GatewaySecretStoreConfiguration location;
        QByteArray bytes;
    };
    qsizetype indexOf(const QString &account, const GatewaySecretStoreConfiguration &location) const;

    QList<Item> m_items;
};

} // namespace tessel::test
