#include "DemoReply.h"

namespace tessel::demo {

DemoReply::DemoReply(std::string_view type, const std::optional<QString> &requestId)
{
    m_writer.beginObject();
    m_writer.field("type", type);
    m_writer.field("requestId", requestId);
}

QByteArray DemoReply::bytes()
{
    m_writer.endObject();
    return m_writer.bytes();
}

QByteArray DemoReply::error(const std::optional<QString> &requestId, const QString &code, const QString &message)
{
    return DemoReply("error", requestId).field("code", code).field("message", message).bytes();
}

} // namespace tessel::demo
