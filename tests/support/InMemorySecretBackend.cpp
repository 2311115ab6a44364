#include "support/InMemorySecretBackend.h"

namespace tessel::test {

GatewaySecretStoreBackend InMemorySecretBackend::backend()
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

std::optional<QByteArray> InMemorySecretBackend::item(const QString &account,
                                                      const GatewaySecretStoreConfiguration &location) const
{
    const auto found = m_items.constFind({account, location});
    return found == m_items.cend() ? std::nullopt : std::optional(*found);
}

QList<GatewaySecretStoreConfiguration> InMemorySecretBackend::locations(const QString &account) const
{
    QList<GatewaySecretStoreConfiguration> result;
    for (auto stored = m_items.cbegin(); stored != m_items.cend(); ++stored) {
        if (stored.key().first == account)
            result.append(stored.key().second);
    }
    return result;
}

} // namespace tessel::test
