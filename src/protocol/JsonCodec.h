#pragma once

#include "protocol/JsonWriter.h"

#include <QByteArrayView>
#include <QString>

#include <functional>
#include <optional>

namespace simdjson::dom {
class element;
}

namespace tessel {

namespace json {
// Input whose last byte is followed by at least this many readable bytes (of any value) is
// parsed where it lies; other input is first copied into a padded buffer.
inline constexpr qsizetype inputPaddingBytes = 64;
enum class Input { unpadded, padded };
} // namespace json

namespace json::detail {
// Parses `bytes` and hands the root to `decode`; false (with a reason in `error`) when the
// bytes are not JSON or `decode` rejects them. Never throws.
bool decodeRoot(QByteArrayView bytes, const std::function<void(const simdjson::dom::element &)> &decode, QString *error,
                Input input = Input::unpadded);
} // namespace json::detail

// Strict decoding of a whole document into a record with `static T decode(const element &)`.
template<typename T>
std::optional<T> decodeJson(QByteArrayView bytes, QString *error = nullptr, json::Input input = json::Input::unpadded)
{
    std::optional<T> result;
    json::detail::decodeRoot(
        bytes, [&result](const simdjson::dom::element &root) { result = T::decode(root); }, error, input);
    return result;
}

template<typename T>
QByteArray encodeJson(const T &record)
{
    JsonWriter writer;
    writer.value(record);
    return writer.bytes();
}

} // namespace tessel
