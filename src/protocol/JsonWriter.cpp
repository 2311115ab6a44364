#include "protocol/JsonWriter.h"

#include "protocol/UuidText.h"

#include <charconv>
#include <cmath>

namespace tessel {

void JsonWriter::separate()
{
    if (m_afterKey) {
        m_afterKey = false;
        return;
    }
    if (!m_needsComma.empty()) {
        if (m_needsComma.back())
            m_bytes.append(',');
        m_needsComma.back() = true;
    }
}

void JsonWriter::beginObject()
{
    separate();
    m_bytes.append('{');
    m_needsComma.push_back(false);
}

void JsonWriter::endObject()
{
    m_needsComma.pop_back();
    m_bytes.append('}');
}

void JsonWriter::beginArray()
{
    separate();
    m_bytes.append('[');
    m_needsComma.push_back(false);
}

void JsonWriter::endArray()
{
    m_needsComma.pop_back();
    m_bytes.append(']');
}

void JsonWriter::key(std::string_view name)
{
    separate();
    writeEscaped(name);
    m_bytes.append(':');
    m_afterKey = true;
}

void JsonWriter::value(const QString &text)
{
    separate();
    const QByteArray utf8 = text.toUtf8();
    writeEscaped(std::string_view(utf8.constData(), std::size_t(utf8.size())));
}

void JsonWriter::value(std::string_view asciiText)
{
    separate();
    writeEscaped(asciiText);
}

void JsonWriter::value(bool flag)
{
    separate();
    m_bytes.append(flag ? "true" : "false");
}

void JsonWriter::value(qint64 number)
{
    separate();
    m_bytes.append(QByteArray::number(number));
}

void JsonWriter::value(double number)
{
    separate();
    // JSON has no text for these; they never come from the documents this writer serves.
    if (!std::isfinite(number)) {
        m_bytes.append("null");
        return;
    }
    char buffer[32];
    const auto result = std::to_chars(buffer, buffer + sizeof buffer, number);
    m_bytes.append(buffer, result.ptr - buffer);
}

void JsonWriter::value(const QUuid &uuid)
{
    value(uuidText(uuid));
}

void JsonWriter::writeEscaped(std::string_view utf8)
{
    static constexpr char hex[] = "0123456789abcdef";
    m_bytes.reserve(m_bytes.size() + qsizetype(utf8.size()) + 2);
    m_bytes.append('"');
    for (const char c : utf8) {
        const auto byte = static_cast<unsigned char>(c);
        switch (c) {
        case '"': m_bytes.append("\\\""); break;
        case '\\': m_bytes.append("\\\\"); break;
        case '\n': m_bytes.append("\\n"); break;
        case '\r': m_bytes.append("\\r"); break;
        case '\t': m_bytes.append("\\t"); break;
        case '\b': m_bytes.append("\\b"); break;
        case '\f': m_bytes.append("\\f"); break;
        default:
            if (byte < 0x20) {
                const char escape[] = {'\\', 'u', '0', '0', hex[byte >> 4], hex[byte & 0xF]};
                m_bytes.append(escape, sizeof escape);
            } else {
                m_bytes.append(c);
            }
        }
    }
    m_bytes.append('"');
}

} // namespace tessel
