#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QUrl>
#include <QWebSocketProtocol>

#include <functional>
#include <optional>

class QWebSocket;
class QWebSocketServer;

namespace tessel::test {

// A scriptable websocket server on 127.0.0.1 and a free port, for tests that need a real
// gateway socket. It records every text frame and every close code it sees; a test script
// answers frames through setFrameHandler().
class LoopbackGatewayServer : public QObject
{
    Q_OBJECT

public:
    // Called for every text frame with the socket it came on.
    using FrameHandler = std::function<void(QWebSocket *socket, const QByteArray &frame)>;

    // With `tls`, a wss:// server with that certificate and key (the client must trust it).
    explicit LoopbackGatewayServer(const std::optional<QSslConfiguration> &tls = std::nullopt);
    ~LoopbackGatewayServer() override;

    // False (with the reason as a test warning) when it cannot listen, for QVERIFY.
    [[nodiscard]] bool listen();
    // A certificate for 127.0.0.1 made now with the openssl tool, and its key; none (with the
    // reason as a test warning) when that fails.
    static std::optional<QSslConfiguration> selfSignedTls();
    QUrl url() const;

    void setFrameHandler(FrameHandler handler) { m_handler = std::move(handler); }
    // Replies to every "hello" with "hello_ok" before the handler sees other frames.
    void setAnswersHello(bool answers) { m_answersHello = answers; }

    const QList<QByteArray> &frames() const { return m_frames; }
    // Frames whose "type" is `type`, in arrival order.
    QList<QByteArray> framesOfType(const QString &type) const;
    const QList<QWebSocket *> &sockets() const { return m_sockets; }
    // Close codes of the clients that closed, in order.
    const QList<QWebSocketProtocol::CloseCode> &closeCodes() const { return m_closeCodes; }
    int openSocketCount() const;

private:
    void acceptConnection();

    QWebSocketServer *m_server;
    FrameHandler m_handler;
    bool m_answersHello = false;
    QList<QByteArray> m_frames;
    QList<QWebSocket *> m_sockets;
    QList<QWebSocketProtocol::CloseCode> m_closeCodes;
};

// The "type" of an encoded envelope, or empty.
QString frameType(const QByteArray &frame);
// The "requestId" of an encoded envelope, or empty.
QString frameRequestId(const QByteArray &frame);

} // namespace tessel::test
