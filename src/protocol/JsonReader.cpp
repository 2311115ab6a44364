#include "protocol/JsonReader.h"

#include "protocol/JsonCodec.h"
#include "protocol/Utf8Text.h"
#include "protocol/UuidText.h"

#include <cmath>
#include <limits>
#include <memory>

namespace tessel::json {

static_assert(inputPaddingBytes == simdjson::SIMDJSON_PADDING);

namespace {

// Documents up to this size reuse one parser and its buffers; the hot path (streamed
// deltas of a hundred bytes or so) then allocates nothing per frame.
constexpr std::size_t reusableParserBytes = 1024 * 1024;

simdjson::dom::parser &reusableParser()
{
    thread_local simdjson::dom::parser parser(reusableParserBytes);
    return parser;
}

} // namespace

Object asObject(Element value)
{
    Object object;
    if (value.get_object().get(object) != simdjson::SUCCESS)
        throw JsonDecodeError("expected an object");
    return object;
}

std::string_view asStringView(Element value)
{
    std::string_view text;
    if (value.get_string().get(text) != simdjson::SUCCESS)
        throw JsonDecodeError("expected a string");
    return text;
}

QString asString(Element value)
{
    const std::string_view text = asStringView(value);
    return utf8Text(QByteArrayView(text.data(), qsizetype(text.size())));
}

bool asBool(Element value)
{
    bool flag = false;
    if (value.get_bool().get(flag) != simdjson::SUCCESS)
        throw JsonDecodeError("expected a boolean");
    return flag;
}

qint64 asInt64(Element value)
{
    switch (value.type()) {
    case simdjson::dom::element_type::INT64: return value.get_int64().value_unsafe();
    case simdjson::dom::element_type::DOUBLE: {
        // 12.0 or 1e3 are integral values written as numbers with a fraction or exponent.
        const double number = value.get_double().value_unsafe();
        constexpr double limit = 9223372036854775808.0; // 2^63
        if (std::isfinite(number) && std::trunc(number) == number && number >= -limit && number < limit)
            return static_cast<qint64>(number);
        throw JsonDecodeError("expected an integral number");
    }
    default:
        // UINT64 here means a value above the signed 64-bit range.
        throw JsonDecodeError("expected a signed 64-bit integer");
    }
}

double asDouble(Element value)
{
    double number = 0;
    if (value.get_double().get(number) != simdjson::SUCCESS)
        throw JsonDecodeError("expected a number");
    return number;
}

QUuid asUuid(Element value)
{
    if (const auto uuid = parseUuidText(asString(value)))
        return *uuid;
    throw JsonDecodeError("expected UUID text");
}

std::optional<Element> optionalField(Object object, std::string_view key)
{
    Element value;
    if (object.at_key(key).get(value) != simdjson::SUCCESS || value.is_null())
        return std::nullopt;
    return value;
}

Element requiredField(Object object, std::string_view key)
{
    if (const auto value = optionalField(object, key))
        return *value;
    throw JsonDecodeError("missing required key \"" + std::string(key) + '"');
}

std::optional<QString> optionalString(Object object, std::string_view key)
{
    if (const auto value = optionalField(object, key))
        return asString(*value);
    return std::nullopt;
}

std::optional<bool> optionalBool(Object object, std::string_view key)
{
    if (const auto value = optionalField(object, key))
        return asBool(*value);
    return std::nullopt;
}

} // namespace tessel::json

namespace tessel::json::detail {

bool decodeRoot(QByteArrayView bytes, const std::function<void(const simdjson::dom::element &)> &decode, QString *error,
                Input input)
{
    try {
        const auto size = std::size_t(bytes.size());
        if (size > maxDocumentBytes)
            throw JsonDecodeError("document too large");
        // An empty view may have no data pointer, which the parser's copy must not be given.
        if (size == 0)
            throw JsonDecodeError("empty document");
        // A large document gets a parser of its own that goes as soon as it is decoded: its
        // buffers are several times the document's size and must not outlive it.
        std::unique_ptr<simdjson::dom::parser> largeParser;
        simdjson::dom::parser *parser = &reusableParser();
        if (size > reusableParserBytes) {
            largeParser = std::make_unique<simdjson::dom::parser>(maxDocumentBytes);
            parser = largeParser.get();
        }
        Element root;
        if (parser->parse(bytes.data(), size, input == Input::unpadded).get(root) != simdjson::SUCCESS)
            throw JsonDecodeError("invalid JSON");
        decode(root);
        return true;
    } catch (const JsonDecodeError &failure) {
        if (error)
            *error = QString::fromUtf8(failure.what());
    } catch (const std::bad_alloc &) {
        if (error)
            *error = QStringLiteral("out of memory");
    }
    return false;
}

} // namespace tessel::json::detail
