#include "protocol/GatewayServerEnvelope.h"

#include "protocol/JsonCodec.h"
#include "protocol/JsonReader.h"

#include <algorithm>
#include <array>
#include <utility>

namespace tessel {

using namespace json;

namespace {

using Envelope = GatewayServerEnvelope;

template<typename T>
void readValue(Element value, std::optional<T> &field);

template<>
void readValue(Element value, std::optional<QString> &field)
{
    field = asString(value);
}
template<>
void readValue(Element value, std::optional<bool> &field)
{
    field = asBool(value);
}
template<>
void readValue(Element value, std::optional<qint64> &field)
{
    field = asInt64(value);
}
template<>
void readValue(Element value, std::optional<BackendKind> &field)
{
    field = asEnum<BackendKind>(value);
}
template<>
void readValue(Element value, std::optional<SessionWorkflowState> &field)
{
    field = asEnum<SessionWorkflowState>(value);
}
template<>
void readValue(Element value, std::optional<SessionLifecycleState> &field)
{
    field = asEnum<SessionLifecycleState>(value);
}
template<>
void readValue(Element value, std::optional<ToolEventPhase> &field)
{
    field = asEnum<ToolEventPhase>(value);
}
template<>
void readValue(Element value, std::optional<GatewayFeatures> &field)
{
    field = GatewayFeatures::decode(value);
}
template<>
void readValue(Element value, std::optional<GatewaySessionContextUsage> &field)
{
    field = GatewaySessionContextUsage::decode(value);
}
template<typename T>
void readList(Element value, std::optional<QList<T>> &field)
{
    field = asList<T>(value, [](Element item) { return T::decode(item); });
}
template<>
void readValue(Element value, std::optional<QList<BackendDescriptor>> &field)
{
    readList(value, field);
}
template<>
void readValue(Element value, std::optional<QList<GatewayTranscriptItemEnvelope>> &field)
{
    readList(value, field);
}
template<>
void readValue(Element value, std::optional<QList<GatewaySessionSummary>> &field)
{
    readList(value, field);
}
template<>
void readValue(Element value, std::optional<QList<ProjectFileEntry>> &field)
{
    readList(value, field);
}

using FieldReader = void (*)(Element, Envelope &);

template<auto Member>
constexpr FieldReader reader()
{
    return [](Element value, Envelope &envelope) { readValue(value, envelope.*Member); };
}

// Keys ordered by length, then text: the binary search for an incoming key compares
// lengths first and text only among keys of its own length. A streamed delta carries a
// handful of keys and this runs for every one of them.
constexpr bool keyBefore(std::string_view a, std::string_view b)
{
    return a.size() != b.size() ? a.size() < b.size() : a < b;
}

constexpr auto fieldReaders = [] {
    std::array<std::pair<std::string_view, FieldReader>, 33> table{{
        {"authRequired", reader<&Envelope::authRequired>()},
        {"backend", reader<&Envelope::backend>()},
        {"backendSessionId", reader<&Envelope::backendSessionId>()},
        {"backends", reader<&Envelope::backends>()},
        {"code", reader<&Envelope::code>()},
        {"content", reader<&Envelope::content>()},
        {"contextUsage", reader<&Envelope::contextUsage>()},
        {"cwd", reader<&Envelope::cwd>()},
        {"delta", reader<&Envelope::delta>()},
        {"entries", reader<&Envelope::entries>()},
        {"features", reader<&Envelope::features>()},
        {"includeHidden", reader<&Envelope::includeHidden>()},
        {"isMarkdown", reader<&Envelope::isMarkdown>()},
        {"itemId", reader<&Envelope::itemId>()},
        {"languageHint", reader<&Envelope::languageHint>()},
        {"message", reader<&Envelope::message>()},
        {"modifiedAt", reader<&Envelope::modifiedAt>()},
        {"path", reader<&Envelope::path>()},
        {"phase", reader<&Envelope::phase>()},
        {"requestId", reader<&Envelope::requestId>()},
        {"resumed", reader<&Envelope::resumed>()},
        {"revision", reader<&Envelope::revision>()},
        {"serverVersion", reader<&Envelope::serverVersion>()},
        {"sessionId", reader<&Envelope::sessionId>()},
        {"sessionName", reader<&Envelope::sessionName>()},
        {"sessions", reader<&Envelope::sessions>()},
        {"size", reader<&Envelope::size>()},
        {"state", reader<&Envelope::state>()},
        {"summary", reader<&Envelope::summary>()},
        {"text", reader<&Envelope::text>()},
        {"toolName", reader<&Envelope::toolName>()},
        {"transcript", reader<&Envelope::transcript>()},
        {"workflowState", reader<&Envelope::workflowState>()},
    }};
    std::sort(table.begin(), table.end(), [](const auto &a, const auto &b) { return keyBefore(a.first, b.first); });
    return table;
}();

} // namespace

GatewayServerEnvelope GatewayServerEnvelope::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    GatewayServerEnvelope envelope;
    bool hasType = false;
    for (const auto field : object) {
        if (field.value.is_null())
            continue;
        if (field.key == "type") {
            envelope.type = asString(field.value);
            hasType = true;
            continue;
        }
        const auto found =
            std::lower_bound(fieldReaders.begin(), fieldReaders.end(), field.key,
                             [](const auto &entry, std::string_view key) { return keyBefore(entry.first, key); });
        if (found != fieldReaders.end() && found->first == field.key)
            found->second(field.value, envelope);
    }
    if (!hasType)
        throw JsonDecodeError("missing required key \"type\"");
    return envelope;
}

std::optional<GatewayServerEnvelope> decodeServerEnvelope(QByteArrayView frame, QString *error)
{
    return decodeJson<GatewayServerEnvelope>(frame, error);
}

std::optional<GatewayServerEnvelope> decodePaddedServerEnvelope(QByteArrayView frame)
{
    return decodeJson<GatewayServerEnvelope>(frame, nullptr, json::Input::padded);
}

} // namespace tessel
