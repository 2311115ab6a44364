#pragma once

#include "protocol/WireEnum.h"

#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QUuid>

#include <optional>
#include <stdexcept>
#include <string_view>

#include <simdjson.h>

// Strict readers over simdjson's DOM. Included only by the .cpp files that decode, so the
// large simdjson header stays out of the rest of the build.
//
// Every reader throws JsonDecodeError on a wrong JSON type, a missing or null required key,
// an unknown enumeration string or an integer that is not an integral signed 64-bit value;
// the entry points (decodeServerEnvelope and friends) catch it and fail the whole document.
namespace tessel::json {

class JsonDecodeError : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

using Element = simdjson::dom::element;
using Object = simdjson::dom::object;

// Largest document any decoder accepts; larger input fails before any allocation for it.
inline constexpr std::size_t maxDocumentBytes = 64 * 1024 * 1024;

Object asObject(Element value);
QString asString(Element value);
std::string_view asStringView(Element value);
bool asBool(Element value);
qint64 asInt64(Element value);
double asDouble(Element value);
QUuid asUuid(Element value);

template<typename E>
E asEnum(Element value)
{
    if (const auto parsed = enumFromWire<E>(asStringView(value)))
        return *parsed;
    throw JsonDecodeError("unknown enumeration value");
}

template<typename T, typename Decode>
QList<T> asList(Element value, Decode decodeElement)
{
    simdjson::dom::array array;
    if (value.get_array().get(array) != simdjson::SUCCESS)
        throw JsonDecodeError("expected an array");
    // No reserve() from the array's size: a hostile frame can claim millions of elements of
    // the wrong kind, and the first of them fails the decode anyway. Growth follows what
    // actually decoded.
    QList<T> result;
    for (Element item : array)
        result.append(decodeElement(item));
    return result;
}

// Present and non-null, or nothing.
std::optional<Element> optionalField(Object object, std::string_view key);
Element requiredField(Object object, std::string_view key);

inline QString requiredString(Object object, std::string_view key)
{
    return asString(requiredField(object, key));
}
inline bool requiredBool(Object object, std::string_view key)
{
    return asBool(requiredField(object, key));
}
inline qint64 requiredInt64(Object object, std::string_view key)
{
    return asInt64(requiredField(object, key));
}
inline double requiredDouble(Object object, std::string_view key)
{
    return asDouble(requiredField(object, key));
}
inline QUuid requiredUuid(Object object, std::string_view key)
{
    return asUuid(requiredField(object, key));
}
template<typename E>
E requiredEnum(Object object, std::string_view key)
{
    return asEnum<E>(requiredField(object, key));
}

std::optional<QString> optionalString(Object object, std::string_view key);
std::optional<bool> optionalBool(Object object, std::string_view key);

template<typename E>
std::optional<E> optionalEnum(Object object, std::string_view key)
{
    if (const auto value = optionalField(object, key))
        return asEnum<E>(*value);
    return std::nullopt;
}

} // namespace tessel::json
