#include "app/TesselDesktopPOCModel.h"

#include "connection/GatewayURL.h"
#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"
#include "protocol/GatewayServerEnvelope.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

QString toolPhaseWord(const std::optional<ToolEventPhase> &phase)
{
    if (!phase)
        return u"Tool"_s;
    switch (*phase) {
    case ToolEventPhase::started: return u"Started"_s;
    case ToolEventPhase::updated: return u"Running"_s;
    case ToolEventPhase::completed: return u"Finished"_s;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace

void TesselDesktopPOCModel::handleServerEnvelope(const GatewayServerEnvelope &envelope, const QUrl &url)
{
    const QString &type = envelope.type;
    if (type == "hello_ok"_L1) {
        setConnectionState(ConnectionState::connected());
        assign(m_serverVersion, envelope.serverVersion, &TesselDesktopPOCModel::serverVersionChanged);
        assign(m_features, envelope.features, &TesselDesktopPOCModel::featuresChanged);
        setConnectionSummary(u"Connected to "_s + (url.host().isEmpty() ? url.toString() : url.host()));
        appendSystemItem(u"Authenticated with gateway "_s + envelope.serverVersion.value_or(u"unknown"_s));
        startPostHelloSequence(url);
    } else if (type == "backend_catalog"_L1) {
        assign(m_availableBackends, envelope.backends.value_or(QList<BackendDescriptor>()),
               &TesselDesktopPOCModel::availableBackendsChanged);
    } else if (type == "session_created"_L1) {
        handleSessionCreated(envelope);
    } else if (type == "session_list"_L1) {
        handleSessionList(envelope);
    } else if (type == "session_status"_L1) {
        if (envelope.state)
            assign(m_currentSessionState, *envelope.state, &TesselDesktopPOCModel::currentSessionStateChanged);
    } else if (type == "session_metadata"_L1) {
        if (envelope.backendSessionId)
            assign(m_currentBackendSessionID, envelope.backendSessionId,
                   &TesselDesktopPOCModel::currentBackendSessionIDChanged);
        if (envelope.sessionName)
            assign(m_currentSessionName, envelope.sessionName, &TesselDesktopPOCModel::currentSessionNameChanged);
        if (envelope.workflowState)
            assign(m_currentWorkflowState, *envelope.workflowState,
                   &TesselDesktopPOCModel::currentWorkflowStateChanged);
        if (envelope.contextUsage)
            assign(m_contextUsage, envelope.contextUsage, &TesselDesktopPOCModel::contextUsageChanged);
    } else if (type == "assistant_delta"_L1) {
        m_transcript->appendAssistantDelta(envelope.delta.value_or(QString()), envelope.itemId, assistantTitle());
    } else if (type == "assistant_complete"_L1) {
        m_transcript->finalizeAssistantMessage(envelope.text.value_or(QString()), envelope.itemId, assistantTitle());
    } else if (type == "tool_event"_L1) {
        const QString label = envelope.summary.value_or(envelope.toolName.value_or(u"Tool event"_s));
        const bool running = envelope.phase != ToolEventPhase::completed;
        m_transcript->upsertToolEvent(toolPhaseWord(envelope.phase) + u": "_s + label, running, envelope.itemId);
    } else if (type == "error"_L1) {
        handleGatewayError(envelope);
    }
}

void TesselDesktopPOCModel::handleSessionCreated(const GatewayServerEnvelope &envelope)
{
    assign(m_currentSessionID, envelope.sessionId, &TesselDesktopPOCModel::currentSessionIDChanged);
    assign(m_currentBackendSessionID, envelope.backendSessionId,
           &TesselDesktopPOCModel::currentBackendSessionIDChanged);
    assign(m_currentSessionName, envelope.sessionName, &TesselDesktopPOCModel::currentSessionNameChanged);
    assign(m_currentSessionState, envelope.state.value_or(SessionLifecycleState::ready),
           &TesselDesktopPOCModel::currentSessionStateChanged);
    assign(m_currentWorkflowState, envelope.workflowState.value_or(SessionWorkflowState::active),
           &TesselDesktopPOCModel::currentWorkflowStateChanged);
    assign(m_contextUsage, envelope.contextUsage, &TesselDesktopPOCModel::contextUsageChanged);
    if (envelope.sessionId)
        setSelectedSessionID(envelope.sessionId);

    QList<DesktopTranscriptItem> items;
    const auto gatewayItems = envelope.transcript.value_or(QList<GatewayTranscriptItemEnvelope>());
    items.reserve(gatewayItems.size() + 1);
    for (const GatewayTranscriptItemEnvelope &item : gatewayItems)
        items.append(DesktopTranscriptItem::fromGateway(item));
    items.append(DesktopTranscriptItem::system(envelope.resumed.value_or(false) ? u"Reattached to existing session."_s
                                                                                : u"Session ready."_s));
    m_transcript->replaceAll(items);
    runLater([this] { refreshSessions(); });
}

void TesselDesktopPOCModel::handleSessionList(const GatewayServerEnvelope &envelope)
{
    assign(m_sessions, envelope.sessions.value_or(QList<GatewaySessionSummary>()),
           &TesselDesktopPOCModel::sessionsChanged);
    if (m_selectedSessionID)
        return;
    if (m_currentSessionID)
        setSelectedSessionID(m_currentSessionID);
    else if (!m_sessions.isEmpty())
        setSelectedSessionID(m_sessions.first().id);
}

void TesselDesktopPOCModel::handleGatewayError(const GatewayServerEnvelope &envelope)
{
    const QString message = envelope.message.value_or(u"Unknown gateway error."_s);
    m_transcript->append(DesktopTranscriptItem::error(envelope.code.value_or(u"Gateway Error"_s), message));
    setConnectionSummary(message);
    // Only an error during the handshake ends the attempt.
    if (m_connectionState.is(ConnectionState::Kind::connecting))
        setConnectionState(ConnectionState::failed(message));
}

void TesselDesktopPOCModel::appendSystemItem(const QString &body)
{
    m_transcript->append(DesktopTranscriptItem::system(body));
}

QString TesselDesktopPOCModel::assistantTitle() const
{
    return displayName(m_backend);
}

void TesselDesktopPOCModel::sendComposerMessage()
{
    if (!m_client || !m_currentSessionID)
        return;
    const QString text = composerText().trimmed();
    if (text.isEmpty())
        return;
    const GatewayClientEnvelope request = GatewayClientEnvelope::sendMessage(*m_currentSessionID, text);
    // A message that can never be sent changes nothing: the composer keeps the text for the
    // user to shorten, and the connection, which is fine, stays as it is.
    if (const auto refused = GatewayWebSocketClient::refusal(request.toJson())) {
        m_transcript->append(DesktopTranscriptItem::error(u"Message Not Sent"_s, refused->message()));
        return;
    }
    setComposerText(QString());
    DesktopTranscriptItem item;
    item.role = DesktopTranscriptRole::user;
    item.title = u"You"_s;
    item.body = text;
    m_transcript->append(item);
    sendRequest(request);
}

} // namespace tessel
