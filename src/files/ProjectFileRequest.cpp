#include "files/ProjectFileRequest.h"

#include "connection/GatewayURL.h"
#include "connection/GatewayWebSocketClient.h"
#include "storage/MachineProfile.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

ProjectFileRequest::ProjectFileRequest(GatewayClientEnvelope request, QStringList responseTypes, QObject *context,
                                       Callback callback)
    : m_request(std::move(request))
    , m_responseTypes(std::move(responseTypes))
    , m_context(context)
    , m_callback(std::move(callback))
{ }

void ProjectFileRequest::start(const MachineProfile &machine, const GatewayClientEnvelope &request,
                               const QStringList &responseTypes, std::chrono::milliseconds timeout, QObject *context,
                               Callback callback)
{
    auto *fileRequest = new ProjectFileRequest(request, responseTypes, context, std::move(callback));
    if (const auto url = parseGatewayURL(machine.gatewayURL))
        fileRequest->open(*url, machine.gatewayToken, timeout);
    else
        fileRequest->finish(ProjectFileServiceError::invalidGatewayURL(machine.gatewayURL.trimmed()));
}

void ProjectFileRequest::open(const QUrl &url, const QString &token, std::chrono::milliseconds timeout)
{
    m_timeout.setSingleShot(true);
    connect(&m_timeout, &QTimer::timeout, this, [this] { finish(ProjectFileServiceError::timeout()); });
    m_timeout.start(timeout);

    m_client = new GatewayWebSocketClient(this);
    connect(m_client, &GatewayWebSocketClient::messageReceived, this, &ProjectFileRequest::handleMessage);
    connect(m_client, &GatewayWebSocketClient::receiveFailed, this, &ProjectFileRequest::handleFailure);
    m_client->connectTo(url);
    sendOrFinish(GatewayClientEnvelope::hello(token));
}

void ProjectFileRequest::handleMessage(const GatewayServerEnvelope &envelope)
{
    // The socket closes a moment after the outcome is settled; a late "hello_ok" must not
    // send a request whose outcome the caller has already been given.
    if (m_finished)
        return;
    if (envelope.type == "hello_ok"_L1) {
        if (!std::exchange(m_requestSent, true))
            sendOrFinish(m_request);
        return;
    }
    if (envelope.type == "error"_L1) {
        finish(projectFileServiceError(envelope));
        return;
    }
    // Events of other sessions and unsolicited notices carry no id or another one.
    if (!envelope.requestId || envelope.requestId != m_request.requestId)
        return;
    if (m_responseTypes.contains(envelope.type))
        finish(envelope);
    else
        finish(ProjectFileServiceError::transport(u"Unexpected gateway response: "_s + envelope.type));
}

void ProjectFileRequest::handleFailure(const GatewayClientError &error)
{
    // The websocket layer's own text, undecodable frames included, reaches the user as is.
    finish(ProjectFileServiceError::transport(error.message()));
}

void ProjectFileRequest::sendOrFinish(const GatewayClientEnvelope &envelope)
{
    if (const auto error = m_client->send(envelope))
        handleFailure(*error);
}

// Settles the outcome now, so that anything arriving later is ignored, but closes the
// socket and calls back from the event loop: the caller is never re-entered.
void ProjectFileRequest::finish(const ProjectFileResult<GatewayServerEnvelope> &outcome)
{
    if (std::exchange(m_finished, true))
        return;
    m_timeout.stop();
    QTimer::singleShot(0, this, [this, outcome] {
        if (m_client)
            m_client->disconnect();
        if (m_context)
            m_callback(outcome);
        deleteLater();
    });
}

} // namespace tessel
