#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QString>
#include <QUrl>

class QTcpSocket;

namespace tessel {

// The client side of one websocket (RFC 6455) over TCP (ws://) or TLS (wss://), written for
// what a gateway connection does most: receive many small messages. GUI thread only.
//
// Each incoming message is handed out as a view into the receive buffer, with at least
// paddingBytes readable bytes after it, so that a JSON parser can read it in place; nothing
// is copied or converted on the way. Outgoing messages leave as one masked frame each, and
// those sent before the upgrade completed are held and sent in order once it has. Pings are
// answered; nothing else is started on its own (no pings, keep-alives or reconnects).
class WebSocketConnection : public QObject
{
    Q_OBJECT

public:
    static constexpr qsizetype paddingBytes = 64;

    // A message larger than `incomingLimitBytes` ends the connection (close code 1009)
    // before it is buffered.
    explicit WebSocketConnection(qint64 incomingLimitBytes, QObject *parent = nullptr);

    // Connects and starts the upgrade handshake; the URL is used as given.
    void open(const QUrl &url);
    // Sends one UTF-8 text message as one frame.
    void sendText(QByteArrayView utf8);
    // Starts the closing handshake; closed() follows when the gateway answers or drops the
    // connection (the owner bounds the wait with abort()).
    void close(quint16 code);
    void abort();
    bool isOpen() const { return m_state == State::open; }
    bool isClosed() const { return m_state == State::closed; }

Q_SIGNALS:
    // One complete message. The view is valid during the call only.
    void messageReceived(QByteArrayView payload, bool binary);
    // Emitted once, when the connection has ended, with what ended it: the socket's own
    // error ("Connection refused"), a failed upgrade, or the close code and reason.
    void closed(const QString &description);

private:
    enum class State { connecting, upgrading, open, closing, closed };

    void sendUpgradeRequest();
    void readAvailable();
    void readChunks();
    void makeRoom(qsizetype bytes);
    bool readUpgradeAnswer();
    void readFrames();
    bool handleFrame(int opcode, bool final, QByteArrayView payload);
    bool handleControlFrame(int opcode, QByteArrayView payload);
    bool deliver(int opcode, QByteArrayView payload);
    void writeFrame(int opcode, QByteArrayView payload);
    void failProtocol(quint16 code, const QString &reason);
    void handleSocketEnd();
    void finish(const QString &description);

    qint64 m_incomingLimitBytes;
    QTcpSocket *m_socket = nullptr;
    QUrl m_url;
    QByteArray m_key;
    State m_state = State::connecting;
    // Received bytes not yet taken are [m_consumed, m_filled); at least paddingBytes more
    // follow m_filled within the buffer.
    QByteArray m_buffer;
    qsizetype m_consumed = 0;
    qsizetype m_filled = 0;
    // A message arriving in several frames, and its opcode while one is open.
    QByteArray m_fragments;
    int m_fragmentOpcode = 0;
    // Frames sent before the upgrade completed, encoded, in call order.
    QList<QByteArray> m_held;
    // While frames are read and handed out, a socket end reported meanwhile (by a close()
    // or a failed write inside a message's handler) waits: the buffer must not move under
    // the message being delivered.
    bool m_reading = false;
    bool m_endPending = false;
};

} // namespace tessel
