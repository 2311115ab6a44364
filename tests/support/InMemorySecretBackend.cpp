#include "support/InMemorySecretBackend.h"

namespace tessel::test {

GatewaySecretStoreBackend InMemorySecretBackend::backend()
{
    return {[this](const QString &account, const GatewaySecretStoreConfiguration &location) -> std::optional<QString> {
                if (const auto bytes = item(account, location))
                    return tokenFromStoredBytes(*bytes);
                return std::nullopt;
            },
            [this](const QString &token, const QString &account, const GatewaySecretStoreConfiguration &location) {
                if (refusingWrites.contains(location))
                    return false;
                ++writeCount;
                put(account, location, token.toUtf8());
                return true;
            },
            [this](const QString &account, const GatewaySecretStoreConfiguration &location) {
                ++removeCount;
                if (const qsizetype index = indexOf(account, location); index >= 0)
                    m_items.removeAt(index);
            }};
}

void InMemorySecretBackend::put(const QString &account, const GatewaySecretStoreConfiguration &location,
                                const QByteArray &bytes)
{
    if (const qsizetype index = indexOf(account, location); index >= 0)
        m_items[index].bytes = bytes;
    else
        m_items.append({account, location, bytes});
}

std::optional<QByteArray> InMemorySecretBackend::item(const QString &account,
                                                      const GatewaySecretStoreConfiguration &location) const
{
    if (const qsizetype index = indexOf(account, location); index >= 0)
        return m_items[index].bytes;
    return std::nullopt;
}

QList<GatewaySecretStoreConfiguration> InMemorySecretBackend::locations(const QString &account) const
{
    QList<GatewaySecretStoreConfiguration> result;
    for (const Item &stored : m_items) {
        if (stored.account == account)
            result.append(stored.location);
    }
    return result;
}

qsizetype InMemorySecretBackend::indexOf(const QString &account, const GatewaySecretStoreConfiguration &location) const
{
    for (qsizetype index = 0; index < m_items.size(); ++index) {
        if (m_items[index].account == account && m_items[index].location == location)
            return index;
    }
    return -1;
}

} // namespace tessel::test
