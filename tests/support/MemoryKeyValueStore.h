#pragma once

#include "sync/ReplicatedKeyValueStore.h"

#include <QMap>

namespace tessel::test {

// A replicated store in memory that counts writes and synchronise requests; tests post
// external changes with `changedExternally` themselves, after `putExternally`.
class MemoryKeyValueStore : public ReplicatedKeyValueStore
{
    Q_OBJECT

public:
    using ReplicatedKeyValueStore::ReplicatedKeyValueStore;

    std::optional<QByteArray> data(const QString &key) const override
    {
        return m_values.contains(key) ? std::optional(m_values.value(key)) : std::nullopt;
    }
    void setData(const QString &key, const QByteArray &value) override
    {
        ++writeCount;
        putExternally(key, value);
    }
    bool synchronize() override
    {
        ++synchronizeCount;
        return true;
    }
    bool hasIdentity() const override { return true; }

    // A value written by another device: no write is counted.
    void putExternally(const QString &key, const QByteArray &value) { m_values.insert(key, value); }

    int writeCount = 0;
    int synchronizeCount = 0;

private:
    QMap<QString, QByteArray> m_values;
};

} // namespace tessel::test
