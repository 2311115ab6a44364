#pragma once

#include "connection/GatewayClientError.h"
#include "protocol/GatewayServerEnvelope.h"

#include <QObject>
#include <QUrl>

#include <optional>

namespace tessel {

struct GatewayClientEnvelope;
class WebSocketConnection;

// One websocket to one gateway, used on the GUI thread only. Sends client envelopes as
// text frames (at most 3,000,000 bytes of JSON each) and decodes every incoming text or
// binary frame into a server envelope. It knows nothing of sessions or message kinds.
//
// Receiving: every decoded frame is emitted as messageReceived(); an undecodable frame
// prints one diagnostic line, emits receiveFailed(decodingFailed) and reading goes on.
// Any other receive failure (refused, handshake failure, closed by the gateway, a frame
// over the incoming limit) is emitted once as receiveFailed() and ends reading; the socket
// is left for the owner to close. After disconnect() or a new connectTo() nothing more is
// emitted for the old socket.
class GatewayWebSocketClient : public QObject
{
    Q_OBJECT

public:
    static constexpr qint64 sendLimitBytes = 3'000'000;
    // Largest incoming message; a gateway sending more is cut off before it is buffered.
    static constexpr qint64 defaultIncomingLimitBytes = 64 * 1024 * 1024;

    explicit GatewayWebSocketClient(QObject *parent = nullptr, qint64 incomingLimitBytes = defaultIncomingLimitBytes);
    ~GatewayWebSocketClient() override;

    // Drops any current socket (closing it with code 1000) and opens a new one. The
    // handshake runs in the background; frames sent meanwhile are held and sent in order
    // once it completes. The URL is used as given.
    void connectTo(const QUrl &url);

    // Encodes and sends one envelope. Returns the error when nothing was sent: no socket,
    // too large, not valid UTF-8, or the socket already failed (with the failure's text).
    std::optional<GatewayClientError> send(const GatewayClientEnvelope &envelope);

    // Why encoded `json` could never be sent, whatever the socket: over the send limit or not
    // valid UTF-8. Lets a caller refuse a message before it changes anything.
    static std::optional<GatewayClientError> refusal(QByteArrayView json);

    // Closes the socket with code 1000 and no reason. Safe to repeat.
    void disconnect();

    bool isConnected() const;

    // The one stdout line written for an undecodable frame: its first 320 bytes as UTF-8.
    static QString decodeFailureDiagnostic(QByteArrayView frame);

Q_SIGNALS:
    void messageReceived(const tessel::GatewayServerEnvelope &envelope);
    void receiveFailed(const tessel::GatewayClientError &error);

private:
    void handleFrame(QByteArrayView frame);
    void endReading(const QString &description);
    void retireSocket();

    qint64 m_incomingLimitBytes;
    WebSocketConnection *m_socket = nullptr;
    bool m_reading = false;
    // Why reading ended; later sends on the dead socket fail with it.
    QString m_failure;
};

} // namespace tessel
