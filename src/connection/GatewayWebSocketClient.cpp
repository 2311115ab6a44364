#include "connection/GatewayWebSocketClient.h"

#include "protocol/GatewayClientEnvelope.h"
#include "protocol/JsonReader.h"

#include <QTimer>
#include <QWebSocket>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

static_assert(GatewayWebSocketClient::defaultIncomingLimitBytes == qint64(json::maxDocumentBytes),
              "the socket should refuse exactly what the decoder would refuse");

constexpr qsizetype diagnosticBytes = 320;
// How long a closed socket may wait for the gateway's close reply before it is dropped.
constexpr int closeGraceMs = 5000;

} // namespace

GatewayWebSocketClient::GatewayWebSocketClient(QObject *parent, qint64 incomingLimitBytes)
    : QObject(parent)
    , m_incomingLimitBytes(incomingLimitBytes)
{ }

GatewayWebSocketClient::~GatewayWebSocketClient()
{
    disconnect();
}

void GatewayWebSocketClient::connectTo(const QUrl &url)
{
    disconnect();
    m_socket = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
    m_socket->setMaxAllowedIncomingFrameSize(quint64(m_incomingLimitBytes));
    m_socket->setMaxAllowedIncomingMessageSize(quint64(m_incomingLimitBytes));
    m_reading = true;
    m_failure.clear();
    QObject::connect(m_socket, &QWebSocket::connected, this, &GatewayWebSocketClient::handleConnected);
    QObject::connect(m_socket, &QWebSocket::textMessageReceived, this,
                     [this](const QString &text) { handleFrame(text.toUtf8()); });
    QObject::connect(m_socket, &QWebSocket::binaryMessageReceived, this,
                     [this](const QByteArray &bytes) { handleFrame(bytes); });
    // Qt 6.4 names the signal error(); errorOccurred() arrived in 6.5.
    QObject::connect(m_socket, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
                     [this] { endReading(m_socket->errorString()); });
    QObject::connect(m_socket, &QWebSocket::disconnected, this, &GatewayWebSocketClient::handleDisconnected);
    m_socket->open(url);
}

std::optional<GatewayClientError> GatewayWebSocketClient::send(const GatewayClientEnvelope &envelope)
{
    if (!m_socket)
        return GatewayClientError::notConnected();
    const QByteArray json = envelope.toJson();
    if (json.size() > sendLimitBytes)
        return GatewayClientError::messageTooLarge(json.size(), sendLimitBytes);
    if (!QByteArrayView(json).isValidUtf8())
        return GatewayClientError::encodingFailed();
    if (!m_failure.isEmpty())
        return GatewayClientError::transport(m_failure);
    const QString text = QString::fromUtf8(json);
    // QWebSocket drops frames written before its handshake completes, so hold them.
    if (m_socket->state() == QAbstractSocket::ConnectedState && m_heldFrames.isEmpty())
        m_socket->sendTextMessage(text);
    else
        m_heldFrames.append(text);
    return std::nullopt;
}

void GatewayWebSocketClient::disconnect()
{
    if (m_socket)
        retireSocket();
}

bool GatewayWebSocketClient::isConnected() const
{
    return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
}

QString GatewayWebSocketClient::decodeFailureDiagnostic(QByteArrayView frame)
{
    QString shown = QString::fromUtf8(frame.first(qMin(frame.size(), diagnosticBytes)));
    // Diagnostics are single lines.
    shown.replace(u'\n', u' ').replace(u'\r', u' ');
    return u"Failed to decode gateway payload: "_s + shown;
}

void GatewayWebSocketClient::handleConnected()
{
    const QStringList held = std::exchange(m_heldFrames, {});
    for (const QString &text : held)
        m_socket->sendTextMessage(text);
}

void GatewayWebSocketClient::handleFrame(QByteArrayView frame)
{
    if (!m_reading)
        return;
    if (auto envelope = decodeServerEnvelope(frame)) {
        Q_EMIT messageReceived(*envelope);
        return;
    }
    std::fprintf(stdout, "%s\n", decodeFailureDiagnostic(frame).toUtf8().constData());
    std::fflush(stdout);
    Q_EMIT receiveFailed(GatewayClientError::decodingFailed());
}

void GatewayWebSocketClient::handleDisconnected()
{
    const QString reason = m_socket->closeReason();
    const QString description = u"The websocket closed with code "_s + QString::number(int(m_socket->closeCode()));
    endReading(reason.isEmpty() ? QString(description + u'.') : QString(description + u": "_s + reason));
}

void GatewayWebSocketClient::endReading(const QString &description)
{
    if (!m_reading)
        return;
    m_reading = false;
    m_failure = description.isEmpty() ? u"The websocket failed."_s : description;
    m_heldFrames.clear();
    Q_EMIT receiveFailed(GatewayClientError::transport(m_failure));
}

// Detaches the socket from this client so that nothing it reports later reaches the owner,
// and lets it finish its closing handshake on its own; it deletes itself when closed.
void GatewayWebSocketClient::retireSocket()
{
    QWebSocket *socket = std::exchange(m_socket, nullptr);
    m_reading = false;
    m_heldFrames.clear();
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->setParent(nullptr);
    if (socket->state() == QAbstractSocket::UnconnectedState) {
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(closeGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->close(QWebSocketProtocol::CloseCodeNormal);
}

} // namespace tessel
