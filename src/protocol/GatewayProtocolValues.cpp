#include "protocol/GatewayProtocolValues.h"

#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

namespace tessel {

using namespace json;

BackendDescriptor BackendDescriptor::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredEnum<BackendKind>(object, "kind"), requiredString(object, "label"),
            requiredBool(object, "available"), optionalString(object, "unavailableReason")};
}

void BackendDescriptor::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("kind", kind);
    writer.field("label", label);
    writer.field("available", available);
    writer.field("unavailableReason", unavailableReason);
    writer.endObject();
}

GatewaySessionContextUsage GatewaySessionContextUsage::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredInt64(object, "usedTokens"), requiredInt64(object, "totalTokens")};
}

void GatewaySessionContextUsage::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("usedTokens", usedTokens);
    writer.field("totalTokens", totalTokens);
    writer.endObject();
}

GatewayFeatures::TextToSpeech GatewayFeatures::TextToSpeech::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredString(object, "provider"), requiredBool(object, "available"), optionalString(object, "voiceId")};
}

void GatewayFeatures::TextToSpeech::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("provider", provider);
    writer.field("available", available);
    writer.field("voiceId", voiceId);
    writer.endObject();
}

GatewayFeatures GatewayFeatures::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredBool(object, "voiceInput"), optionalBool(object, "sessionDoneWorkflow").value_or(false),
            TextToSpeech::decode(requiredField(object, "tts"))};
}

void GatewayFeatures::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("voiceInput", voiceInput);
    writer.field("sessionDoneWorkflow", sessionDoneWorkflow);
    writer.field("tts", tts);
    writer.endObject();
}

GatewaySessionSummary GatewaySessionSummary::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    GatewaySessionSummary summary;
    summary.id = requiredString(object, "id");
    summary.source = requiredEnum<SessionSummarySource>(object, "source");
    summary.backend = requiredEnum<BackendKind>(object, "backend");
    summary.cwd = requiredString(object, "cwd");
    summary.sessionKey = requiredString(object, "sessionKey");
    summary.backendSessionId = optionalString(object, "backendSessionId");
    summary.sessionName = optionalString(object, "sessionName");
    summary.state = requiredEnum<SessionLifecycleState>(object, "state");
    summary.workflowState =
        optionalEnum<SessionWorkflowState>(object, "workflowState").value_or(SessionWorkflowState::active);
    summary.title = requiredString(object, "title");
    summary.subtitle = optionalString(object, "subtitle");
    summary.detail = optionalString(object, "detail");
    summary.lastUpdatedAt = requiredString(object, "lastUpdatedAt");
    return summary;
}

void GatewaySessionSummary::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("id", id);
    writer.field("source", source);
    writer.field("backend", backend);
    writer.field("cwd", cwd);
    writer.field("sessionKey", sessionKey);
    writer.field("backendSessionId", backendSessionId);
    writer.field("sessionName", sessionName);
    writer.field("state", state);
    writer.field("workflowState", workflowState);
    writer.field("title", title);
    writer.field("subtitle", subtitle);
    writer.field("detail", detail);
    writer.field("lastUpdatedAt", lastUpdatedAt);
    writer.endObject();
}

GatewayTranscriptItemEnvelope GatewayTranscriptItemEnvelope::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredEnum<GatewayTranscriptRole>(object, "role"), requiredString(object, "title"),
            requiredString(object, "body"), optionalString(object, "itemId"), optionalBool(object, "isStreaming")};
}

void GatewayTranscriptItemEnvelope::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("role", role);
    writer.field("title", title);
    writer.field("body", body);
    writer.field("itemId", itemId);
    writer.field("isStreaming", isStreaming);
    writer.endObject();
}

} // namespace tessel
