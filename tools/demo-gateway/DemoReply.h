#pragma once

#include "protocol/JsonWriter.h"

#include <QByteArray>
#include <QString>

#include <optional>
#include <string_view>

namespace tessel::demo {

// One gateway message as JSON: `type`, the request id it answers (if any), then fields in
// the order they are added. Absent optionals are left out, as gateways do.
class DemoReply
{
public:
    explicit DemoReply(std::string_view type, const std::optional<QString> &requestId = std::nullopt);

    template<typename T>
    DemoReply &field(std::string_view key, const T &value)
    {
        m_writer.field(key, value);
        return *this;
    }

    QByteArray bytes();

    static QByteArray error(const std::optional<QString> &requestId, const QString &code, const QString &message);

private:
    JsonWriter m_writer;
};

} // namespace tessel::demo
