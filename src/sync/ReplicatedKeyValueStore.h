#pragma once

#include <QByteArray>
#include <QObject>
#include <QStringList>

#include <optional>

namespace tessel {

// A small per-user key-value store that some mechanism replicates between the user's
// computers. Used from the main thread.
class ReplicatedKeyValueStore : public QObject
{
    Q_OBJECT

public:
    // Reason numbers carried by `changedExternally`.
    enum ChangeReason : int { serverChange = 0, initialSync = 1, quotaViolation = 2, accountChange = 3 };

    using QObject::QObject;

    virtual std::optional<QByteArray> data(const QString &key) const = 0;
    // Failures are not reported here; `synchronize` tells whether the store is usable.
    virtual void setData(const QString &key, const QByteArray &value) = 0;
    // Asks the store to bring itself up to date; true when it could.
    virtual bool synchronize() = 0;
    // Whether the user has a usable replicated store at all.
    virtual bool hasIdentity() const = 0;

Q_SIGNALS:
    // Values changed by someone else (another computer or process); never for this
    // object's own writes.
    void changedExternally(int reason, const QStringList &changedKeys);
};

} // namespace tessel
