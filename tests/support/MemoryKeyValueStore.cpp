#include "support/MemoryKeyValueStore.h"

namespace tessel::test {

std::optional<QByteArray> MemoryKeyValueStore::data(const QString &key) const
{
    if (const auto value = m_values.constFind(key); value != m_values.cend())
        return *value;
    return std::nullopt;
}

void MemoryKeyValueStore::setData(const QString &key, const QByteArray &value)
{
    ++writeCount;
    m_values.insert(key, value);
}

bool MemoryKeyValueStore::synchronize()
{
    ++synchronizeCount;
    return synchronizeAnswer;
}

} // namespace tessel::test
