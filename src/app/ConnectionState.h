#pragma once

#include <QMetaType>
#include <QString>

namespace tessel {

// The chat connection's state. A failure carries the text the window shows for it; two
// failures are equal when their texts are.
class ConnectionState
{
public:
    enum class Kind { disconnected, connecting, connected, failed };

    ConnectionState() = default;
    static ConnectionState disconnected() { return ConnectionState(Kind::disconnected); }
    static ConnectionState connecting() { return ConnectionState(Kind::connecting); }
    static ConnectionState connected() { return ConnectionState(Kind::connected); }
    static ConnectionState failed(const QString &message) { return ConnectionState(Kind::failed, message); }

    Kind kind() const { return m_kind; }
    bool is(Kind kind) const { return m_kind == kind; }
    // Empty unless failed.
    const QString &failureMessage() const { return m_message; }

    friend bool operator==(const ConnectionState &, const ConnectionState &) = default;

private:
    explicit ConnectionState(Kind kind, const QString &message = {})
        : m_kind(kind)
        , m_message(message)
    { }

    Kind m_kind = Kind::disconnected;
    QString m_message;
};

} // namespace tessel

Q_DECLARE_METATYPE(tessel::ConnectionState)
