#pragma once

#include "protocol/WireEnum.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <string_view>
#include <vector>

namespace tessel {

// Compact JSON text in the order fields are written (declaration order of the records).
// Absent optionals are skipped by the optional overloads, so no null is ever written.
class JsonWriter
{
public:
    void beginObject();
    void endObject();
    void beginArray();
    void endArray();
    void key(std::string_view name);

    void value(const QString &text);
    void value(std::string_view asciiText);
    // Without it a string literal would pick the bool overload.
    void value(const char *asciiText) { value(std::string_view(asciiText)); }
    void value(bool flag);
    void value(qint64 number);
    void value(int number) { value(qint64(number)); }
    // Shortest text that reads back as the same double.
    void value(double number);
    void value(const QUuid &uuid);

    template<typename E>
    requires std::is_enum_v<E>
    void value(E wireEnum) { value(enumWireName(wireEnum)); }

    // Records encode themselves through a member `void encode(JsonWriter &) const`.
    template<typename T>
    requires requires(const T &record, JsonWriter &writer) { record.encode(writer); }
    void value(const T &record) { record.encode(*this); }

    template<typename T>
    void value(const QList<T> &items)
    {
        beginArray();
        for (const T &item : items)
            value(item);
        endArray();
    }

    template<typename T>
    void field(std::string_view name, const T &fieldValue)
    {
        key(name);
        value(fieldValue);
    }

    template<typename T>
    void field(std::string_view name, const std::optional<T> &fieldValue)
    {
        if (fieldValue) {
            key(name);
            value(*fieldValue);
        }
    }

    const QByteArray &bytes() const { return m_bytes; }

private:
    void separate();
    void writeEscaped(std::string_view utf8);

    QByteArray m_bytes;
    // One entry per open container: whether the next element needs a comma first.
    std::vector<bool> m_needsComma;
    bool m_afterKey = false;
};

} // namespace tessel
