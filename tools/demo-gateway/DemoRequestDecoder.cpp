#include "DemoRequestDecoder.h"

#include "protocol/JsonCodec.h"
#include "protocol/JsonReader.h"

namespace tessel::demo {

using namespace json;

namespace {

// The request shape the codec decodes; the envelope itself is encode-only in the client.
struct DecodedRequest
{
    GatewayClientEnvelope envelope;

    static DecodedRequest decode(const simdjson::dom::element &value)
    {
        const Object object = asObject(value);
        GatewayClientEnvelope request;
        request.type = requiredString(object, "type");
        request.requestId = optionalString(object, "requestId");
        request.token = optionalString(object, "token");
        request.backend = optionalEnum<BackendKind>(object, "backend");
        request.cwd = optionalString(object, "cwd");
        request.backendSessionId = optionalString(object, "backendSessionId");
        request.sessionId = optionalString(object, "sessionId");
        request.text = optionalString(object, "text");
        request.delivery = optionalString(object, "delivery");
        request.forceNew = optionalBool(object, "forceNew");
        request.path = optionalString(object, "path");
        request.includeHidden = optionalBool(object, "includeHidden");
        request.content = optionalString(object, "content");
        request.expectedRevision = optionalString(object, "expectedRevision");
        return {request};
    }
};

} // namespace

std::optional<GatewayClientEnvelope> decodeClientEnvelope(QByteArrayView frame, QString *error)
{
    if (auto decoded = decodeJson<DecodedRequest>(frame, error))
        return decoded->envelope;
    return std::nullopt;
}

} // namespace tessel::demo
