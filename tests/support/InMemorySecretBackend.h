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
    GatewaySecretStoreBackend backend()
    {
        return {[this](const QString &account, const GatewaySecretStoreConfiguration &location) {
                    const auto bytes = item(account, location);
                    return bytes ? tokenFromStoredBytes(*bytes) : std::nullopt;
                },
                [this](const QString &token, const QString &account, const GatewaySecretStoreConfiguration &location) {
                    if (refusingWrites.contains(location))
                        return false;
                    ++writeCount;
                    put(account, location, token.toUtf8());
                    return true;
                },
                [this](const QString &account, const GatewaySecretStoreConfiguration &location) {
                    m_items.remove({account, location});
                }};
    }

    void put(const QString &account, const GatewaySecretStoreConfiguration &location, const QByteArray &bytes)
    {
        m_items.insert({account, location}, bytes);
    }
    std::optional<QByteArray> item(const QString &account, const GatewaySecretStoreConfiguration &location) const
    {
        const auto found = m_items.constFind({account, location});
        return found == m_items.cend() ? std::nullopt : std::optional(*found);
    }
    // Locations that hold an item for the account, in no particular order.
    QList<GatewaySecretStoreConfiguration> locations(const QString &account) const
    {
        QList<GatewaySecretStoreConfiguration> result;
        for (auto stored = m_items.cbegin(); stored != m_items.cend(); ++stored) {
            if (stored.key().first == account)
                result.append(stored.key().second);
        }
        return result;
    }

    QSet<GatewaySecretStoreConfiguration> refusingWrites;
    int writeCount = 0;

private:
    QHash<std::pair<QString, GatewaySecretStoreConfiguration>, QByteArray> m_items;
};

} // namespace tessel::test
