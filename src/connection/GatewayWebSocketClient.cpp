#include "connection/GatewayWebSocketClient.h"

#include "connection/WebSocketConnection.h"
#include "protocol/GatewayClientEnvelope.h"
#include "protocol/JsonCodec.h"
#include "protocol/JsonReader.h"

#include <QTimer>

#include <cstdio>

#if defined(__GLIBC__)
#include <malloc.h>
#endif

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

static_assert(GatewayWebSocketClient::defaultIncomingLimitBytes == qint64(json::maxDocumentBytes),
              "the socket should refuse exactly what the decoder would refuse");

static_assert(WebSocketConnection::paddingBytes >= json::inputPaddingBytes,
              "messages are decoded in place, in the receive buffer");

constexpr qsizetype diagnosticBytes = 320;
constexpr quint16 normalClosure = 1000;
// How long a closed socket may wait for the gateway's close reply before it is dropped.
constexpr int closeGraceMs = 5000;
// Frames above this size hand their memory back to the system once they are handled.
constexpr qsizetype largeFrameBytes = 1024 * 1024;

// Hands the heap's free pages back to the system. glibc keeps freed blocks for reuse, and
// after the first large block it frees, its dynamic mmap threshold rises (up to 32 MiB), so
// even multi-megabyte buffers of one big frame (socket reads, decoded strings) come from the
// heap and stay resident for good. Run after a large frame only: it walks the free lists,
// which the stream of small frames must not pay for.
void releaseFreedMemory()
{
#if defined(__GLIBC__)
    malloc_trim(0);
#endif
}

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
    m_socket = new WebSocketConnection(m_incomingLimitBytes, this);
    m_reading = true;
    m_failure.clear();
    QObject::connect(m_socket, &WebSocketConnection::messageReceived, this, &GatewayWebSocketClient::handleFrame);
    QObject::connect(m_socket, &WebSocketConnection::closed, this, &GatewayWebSocketClient::endReading);
    m_socket->open(url);
}

std::optional<GatewayClientError> GatewayWebSocketClient::send(const GatewayClientEnvelope &envelope)
{
    if (!m_socket)
        return GatewayClientError::notConnected();
    const QByteArray json = envelope.toJson();
    if (auto refused = refusal(json))
        return refused;
    if (!m_failure.isEmpty())
        return GatewayClientError::transport(m_failure);
    // One frame per message, held until the upgrade completed.
    m_socket->sendText(json);
    return std::nullopt;
}

std::optional<GatewayClientError> GatewayWebSocketClient::refusal(QByteArrayView json)
{
    if (json.size() > sendLimitBytes)
        return GatewayClientError::messageTooLarge(json.size(), sendLimitBytes);
    if (!json.isValidUtf8())
        return GatewayClientError::encodingFailed();
    return std::nullopt;
}

void GatewayWebSocketClient::disconnect()
{
    if (m_socket)
        retireSocket();
}

bool GatewayWebSocketClient::isConnected() const
{
    return m_socket && m_socket->isOpen();
}

QString GatewayWebSocketClient::decodeFailureDiagnostic(QByteArrayView frame)
{
    QString shown = QString::fromUtf8(frame.first(qMin(frame.size(), diagnosticBytes)));
    // Diagnostics are single lines.
    shown.replace(u'\n', u' ').replace(u'\r', u' ');
    return u"Failed to decode gateway payload: "_s + shown;
}

void GatewayWebSocketClient::handleFrame(QByteArrayView frame)
{
    if (!m_reading)
        return;
    // Queued, so that it runs once the frame's own buffers are gone too.
    if (frame.size() > largeFrameBytes)
        QTimer::singleShot(0, this, releaseFreedMemory);
    if (auto envelope = decodePaddedServerEnvelope(frame)) {
        Q_EMIT messageReceived(*envelope);
        return;
    }
    // Written by length: a NUL in the frame must not end the line early.
    const QByteArray line = decodeFailureDiagnostic(frame).toUtf8() + '\n';
    std::fwrite(line.constData(), 1, std::size_t(line.size()), stdout);
    std::fflush(stdout);
    Q_EMIT receiveFailed(GatewayClientError::decodingFailed());
}

void GatewayWebSocketClient::endReading(const QString &description)
{
    if (!m_reading)
        return;
    m_reading = false;
    m_failure = description;
    Q_EMIT receiveFailed(GatewayClientError::transport(m_failure));
}

// Detaches the socket from this client so that nothing it reports later reaches the owner,
// and lets it finish its closing handshake on its own; it deletes itself when closed.
void GatewayWebSocketClient::retireSocket()
{
    WebSocketConnection *socket = std::exchange(m_socket, nullptr);
    m_reading = false;
    QObject::disconnect(socket, nullptr, this, nullptr);
    socket->setParent(nullptr);
    if (socket->isClosed()) {
        socket->deleteLater();
        return;
    }
    QObject::connect(socket, &WebSocketConnection::closed, socket, &QObject::deleteLater);
    QTimer::singleShot(closeGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    socket->close(normalClosure);
}

} // namespace tessel
