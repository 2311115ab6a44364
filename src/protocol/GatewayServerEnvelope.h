#pragma once

#include "protocol/GatewayProtocolValues.h"
#include "protocol/ProjectFileTypes.h"

#include <QByteArrayView>
#include <QList>
#include <QString>

#include <optional>

namespace tessel {

// Every message a gateway sends. Only `type` is required, and it is free text: a kind this
// client does not know still decodes and is left to the receiver. Every other key may be
// missing or null (absent); a present key must have the right type, and anything nested
// decodes strictly, so one bad element fails the whole message.
struct GatewayServerEnvelope
{
    QString type;
    std::optional<QString> requestId;
    std::optional<QString> sessionId;
    std::optional<BackendKind> backend;
    std::optional<QString> serverVersion;
    std::optional<bool> authRequired;
    std::optional<GatewayFeatures> features;
    std::optional<QList<BackendDescriptor>> backends;
    std::optional<QString> cwd;
    std::optional<bool> resumed;
    std::optional<QString> backendSessionId;
    std::optional<QString> sessionName;
    std::optional<GatewaySessionContextUsage> contextUsage;
    std::optional<SessionWorkflowState> workflowState;
    std::optional<QList<GatewayTranscriptItemEnvelope>> transcript;
    std::optional<SessionLifecycleState> state;
    std::optional<QList<GatewaySessionSummary>> sessions;
    std::optional<QString> path;
    std::optional<bool> includeHidden;
    std::optional<QList<ProjectFileEntry>> entries;
    std::optional<QString> content;
    std::optional<QString> revision;
    std::optional<qint64> size;
    // Kept as text, never parsed.
    std::optional<QString> modifiedAt;
    std::optional<QString> languageHint;
    std::optional<bool> isMarkdown;
    std::optional<QString> delta;
    std::optional<QString> text;
    std::optional<QString> itemId;
    std::optional<QString> toolName;
    std::optional<ToolEventPhase> phase;
    std::optional<QString> summary;
    std::optional<QString> code;
    std::optional<QString> message;

    static GatewayServerEnvelope decode(const simdjson::dom::element &value);
    friend bool operator==(const GatewayServerEnvelope &, const GatewayServerEnvelope &) = default;
};

// Decodes one frame. Never throws; malformed, truncated or hostile input gives nothing
// (with the reason in `error` when asked).
std::optional<GatewayServerEnvelope> decodeServerEnvelope(QByteArrayView frame, QString *error = nullptr);
// The same for a frame followed by at least json::inputPaddingBytes readable bytes (of any
// value), which is decoded where it lies instead of being copied first.
std::optional<GatewayServerEnvelope> decodePaddedServerEnvelope(QByteArrayView frame);

} // namespace tessel
