#pragma once

#include "protocol/ProtocolEnums.h"

#include <QString>

#include <optional>

namespace simdjson::dom {
class element;
}

namespace tessel {

class JsonWriter;

// Records carried inside gateway messages. Each decodes strictly from a JSON object (a
// missing or null required key, a wrong type or an unknown enumeration string throws
// json::JsonDecodeError) and encodes its fields in declaration order, leaving absent
// optionals out.

struct BackendDescriptor
{
    BackendKind kind = BackendKind::codex;
    QString label;
    bool available = false;
    std::optional<QString> unavailableReason;

    BackendKind id() const { return kind; }
    static BackendDescriptor decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const BackendDescriptor &, const BackendDescriptor &) = default;
};

struct GatewaySessionContextUsage
{
    qint64 usedTokens = 0;
    qint64 totalTokens = 0;

    static GatewaySessionContextUsage decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const GatewaySessionContextUsage &, const GatewaySessionContextUsage &) = default;
};

struct GatewayFeatures
{
    struct TextToSpeech
    {
        QString provider;
        bool available = false;
        std::optional<QString> voiceId;

        static TextToSpeech decode(const simdjson::dom::element &value);
        void encode(JsonWriter &writer) const;
        friend bool operator==(const TextToSpeech &, const TextToSpeech &) = default;
    };

    bool voiceInput = false;
    // Missing or null on the wire reads as false; always written.
    bool sessionDoneWorkflow = false;
    TextToSpeech tts;

    static GatewayFeatures decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const GatewayFeatures &, const GatewayFeatures &) = default;
};

struct GatewaySessionSummary
{
    QString id;
    SessionSummarySource source = SessionSummarySource::live;
    BackendKind backend = BackendKind::codex;
    QString cwd;
    QString sessionKey;
    std::optional<QString> backendSessionId;
    std::optional<QString> sessionName;
    SessionLifecycleState state = SessionLifecycleState::ready;
    // Missing or null on the wire reads as active; always written.
    SessionWorkflowState workflowState = SessionWorkflowState::active;
    QString title;
    std::optional<QString> subtitle;
    std::optional<QString> detail;
    // ISO 8601 text, shown as received and never parsed.
    QString lastUpdatedAt;

    static GatewaySessionSummary decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const GatewaySessionSummary &, const GatewaySessionSummary &) = default;
};

struct GatewayTranscriptItemEnvelope
{
    GatewayTranscriptRole role = GatewayTranscriptRole::system;
    QString title;
    QString body;
    std::optional<QString> itemId;
    std::optional<bool> isStreaming;

    static GatewayTranscriptItemEnvelope decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const GatewayTranscriptItemEnvelope &, const GatewayTranscriptItemEnvelope &) = default;
};

} // namespace tessel
