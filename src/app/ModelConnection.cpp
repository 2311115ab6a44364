#include "app/TesselDesktopPOCModel.h"

#include "connection/GatewayURL.h"
#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

void TesselDesktopPOCModel::connect()
{
    QList<StoredMachineProfile> stored;
    for (const MachineProfile &machine : std::as_const(m_machines))
        stored.append(StoredMachineProfile::from(machine));
    synchronizeLocalGatewayTokens(stored);
    refreshMachineTokensFromSecrets();

    const auto machine = selectedMachine();
    const auto project = selectedProject();
    if (!machine || !project) {
        setConnectionState(ConnectionState::failed(u"Add at least one machine and project first."_s));
        return;
    }
    const auto url = parseGatewayURL(machine->gatewayURL);
    if (!url) {
        setConnectionState(ConnectionState::failed(u"Enter a valid websocket URL."_s));
        return;
    }
    if (project->directory.trimmed().isEmpty()) {
        setConnectionState(ConnectionState::failed(u"Enter a project path to scope the session."_s));
        return;
    }
    const QString token = machine->gatewayToken.trimmed();

    replaceClient(nullptr);
    setConnectionState(ConnectionState::connecting());
    setConnectionSummary(u"Opening websocket to "_s + url->toString());
    assign(m_serverVersion, {}, &TesselDesktopPOCModel::serverVersionChanged);
    assign(m_features, {}, &TesselDesktopPOCModel::featuresChanged);
    clearSessionFields();
    assign(m_selectedSessionID, {}, &TesselDesktopPOCModel::selectedSessionIDChanged);
    assign(m_availableBackends, {}, &TesselDesktopPOCModel::availableBackendsChanged);
    assign(m_sessions, {}, &TesselDesktopPOCModel::sessionsChanged);
    assign(m_currentSessionState, SessionLifecycleState::starting, &TesselDesktopPOCModel::currentSessionStateChanged);
    m_transcript->replaceAll({DesktopTranscriptItem::system(u"Connecting to "_s + url->toString())});

    auto *client = new GatewayWebSocketClient(this);
    const QUrl connectionURL = *url;
    // Messages of a client that has since been replaced are dropped.
    QObject::connect(client, &GatewayWebSocketClient::messageReceived, this,
                     [this, client, connectionURL](const GatewayServerEnvelope &envelope) {
                         if (client == m_client)
                             handleServerEnvelope(envelope, connectionURL);
                     });
    QObject::connect(client, &GatewayWebSocketClient::receiveFailed, this,
                     [this, client, connectionURL](const GatewayClientError &error) {
                         if (client == m_client)
                             handleClientError(error, connectionURL);
                     });
    replaceClient(client);
    client->connectTo(connectionURL);
    runLater([this, client, token, connectionURL] {
        if (client != m_client)
            return;
        if (const auto error = client->send(GatewayClientEnvelope::hello(token)))
            handleTransportFailure(error->message(), connectionURL);
    });
}

void TesselDesktopPOCModel::replaceClient(GatewayWebSocketClient *client)
{
    GatewayWebSocketClient *previous = m_client;
    m_client = client;
    if (previous) {
        previous->disconnect();
        // Possibly inside one of its own signals: let it finish before it goes.
        previous->deleteLater();
    }
}

void TesselDesktopPOCModel::startPostHelloSequence(const QUrl &url)
{
    runLater([this] { refreshSessions(); });
    runLater([this, client = m_client.data(), url] {
        if (!client || client != m_client)
            return;
        if (const auto error = client->send(GatewayClientEnvelope::listBackends())) {
            handleTransportFailure(error->message(), url);
            return;
        }
        const auto request = GatewayClientEnvelope::createSession(m_backend, trimmedCwd(m_projectDirectory), false);
        if (const auto error = client->send(request))
            handleTransportFailure(error->message(), url);
    });
}

void TesselDesktopPOCModel::sendRequest(const GatewayClientEnvelope &request, const std::optional<QUrl> &url)
{
    // Bound to the client of now: a request must not reach a connection opened later.
    runLater([this, client = m_client.data(), request, url] {
        if (!client || client != m_client)
            return;
        if (const auto error = client->send(request))
            handleTransportFailure(error->message(), url ? url : parseGatewayURL(m_gatewayURL));
    });
}

void TesselDesktopPOCModel::refreshSessions()
{
    if (!m_client)
        return;
    sendRequest(GatewayClientEnvelope::listSessions(m_backend, trimmedCwd(m_projectDirectory)));
}

void TesselDesktopPOCModel::createNewSession()
{
    if (!m_client)
        return;
    const QString directory = trimmedCwd(m_projectDirectory);
    if (directory.isEmpty())
        return;
    clearSessionFields();
    assign(m_currentSessionState, SessionLifecycleState::starting, &TesselDesktopPOCModel::currentSessionStateChanged);
    m_transcript->replaceAll({DesktopTranscriptItem::system(u"Requesting a new "_s + displayName(m_backend) +
                                                            u" session for "_s + directory)});
    sendRequest(GatewayClientEnvelope::createSession(m_backend, directory, true));
}

void TesselDesktopPOCModel::openSelectedSession()
{
    if (!m_client || !m_selectedSessionID)
        return;
    const auto summary =
        std::find_if(m_sessions.cbegin(), m_sessions.cend(),
                     [this](const GatewaySessionSummary &item) { return item.id == *m_selectedSessionID; });
    if (summary == m_sessions.cend())
        return;
    const GatewaySessionSummary session = *summary;
    setBackend(session.backend);
    assign(m_currentSessionState, SessionLifecycleState::starting, &TesselDesktopPOCModel::currentSessionStateChanged);
    assign(m_contextUsage, {}, &TesselDesktopPOCModel::contextUsageChanged);
    m_transcript->replaceAll({DesktopTranscriptItem::system(u"Reattaching to session "_s + session.title)});
    sendRequest(GatewayClientEnvelope::openSession(session));
}

void TesselDesktopPOCModel::abortCurrentTurn()
{
    if (!m_client || !m_currentSessionID)
        return;
    sendRequest(GatewayClientEnvelope::abortSession(*m_currentSessionID));
}

void TesselDesktopPOCModel::resetLiveSessionState(bool disconnectTransport, const QString &summary,
                                                  bool appendSystemMessage, const std::optional<QString> &systemMessage)
{
    if (disconnectTransport) {
        replaceClient(nullptr);
        setConnectionState(ConnectionState::disconnected());
        assign(m_serverVersion, {}, &TesselDesktopPOCModel::serverVersionChanged);
        assign(m_features, {}, &TesselDesktopPOCModel::featuresChanged);
        assign(m_availableBackends, {}, &TesselDesktopPOCModel::availableBackendsChanged);
    }
    setConnectionSummary(summary);
    clearSessionFields();
    assign(m_selectedSessionID, {}, &TesselDesktopPOCModel::selectedSessionIDChanged);
    assign(m_currentSessionState, SessionLifecycleState::closed, &TesselDesktopPOCModel::currentSessionStateChanged);
    assign(m_sessions, {}, &TesselDesktopPOCModel::sessionsChanged);
    m_transcript->replaceAll({});
    if (appendSystemMessage && systemMessage)
        appendSystemItem(*systemMessage);
}

void TesselDesktopPOCModel::clearSessionFields()
{
    assign(m_currentSessionID, {}, &TesselDesktopPOCModel::currentSessionIDChanged);
    assign(m_currentBackendSessionID, {}, &TesselDesktopPOCModel::currentBackendSessionIDChanged);
    assign(m_currentSessionName, {}, &TesselDesktopPOCModel::currentSessionNameChanged);
    assign(m_contextUsage, {}, &TesselDesktopPOCModel::contextUsageChanged);
    assign(m_currentWorkflowState, SessionWorkflowState::active, &TesselDesktopPOCModel::currentWorkflowStateChanged);
}

void TesselDesktopPOCModel::handleClientError(const GatewayClientError &error, const QUrl &url)
{
    if (error.errorCase() == GatewayClientError::Case::decodingFailed) {
        m_transcript->append(DesktopTranscriptItem::error(u"Decode Error"_s, error.message()));
        return;
    }
    handleTransportFailure(error.message(), url);
}

void TesselDesktopPOCModel::handleTransportFailure(const QString &description, const std::optional<QUrl> &url)
{
    const QString message = u"Could not connect to "_s + (url ? url->toString() : m_gatewayURL) + u": "_s + description;
    setConnectionState(ConnectionState::failed(message));
    setConnectionSummary(message);
    // Whatever was still streaming will never be finished by this connection.
    m_transcript->endStreaming();
    m_transcript->append(DesktopTranscriptItem::error(u"Transport Error"_s, message));
}

void TesselDesktopPOCModel::handleMachineSelectionChange(const std::optional<QUuid> &previous)
{
    if (!m_hasFinishedInitialization)
        return;
    applySelection();
    if (m_selectedMachineID != previous)
        resetLiveSessionState(m_client != nullptr, u"Selected machine changed. Reconnect to open its chat."_s, false,
                              std::nullopt);
}

void TesselDesktopPOCModel::handleProjectSelectionChange(const std::optional<QUuid> &previous)
{
    if (!m_hasFinishedInitialization)
        return;
    applySelection();
    if (m_selectedProjectID != previous)
        resetLiveSessionState(m_client != nullptr, u"Selected project changed. Reconnect to open its chat."_s, false,
                              std::nullopt);
}

void TesselDesktopPOCModel::applySelection()
{
    normalizeSelection();
    syncConnectionFieldsFromSelection();
    resetFilesState();
    persistSelection();
}

void TesselDesktopPOCModel::setConnectionState(const ConnectionState &state)
{
    assign(m_connectionState, state, &TesselDesktopPOCModel::connectionStateChanged);
}

void TesselDesktopPOCModel::setConnectionSummary(const QString &summary)
{
    assign(m_connectionSummary, summary, &TesselDesktopPOCModel::connectionSummaryChanged);
}

} // namespace tessel
