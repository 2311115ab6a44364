#pragma once

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>
#include <QUrl>

#include <optional>

namespace tessel::test {

// One websocket frame as it crossed the wire, unmasked.
struct WireFrame
{
    int opcode = 0;
    bool final = false;
    QByteArray payload;
};

// The server's "101 Switching Protocols" answer to a client's upgrade request.
inline QByteArray websocketHandshakeResponse(QByteArrayView request)
{
    static const QRegularExpression keyLine(QStringLiteral("Sec-WebSocket-Key:\\s*(\\S+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    const QByteArray key = keyLine.match(QString::fromLatin1(request)).captured(1).toLatin1();
    const QByteArray accept =
        QCryptographicHash::hash(QByteArray(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"), QCryptographicHash::Sha1)
            .toBase64();
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " +
        accept + "\r\n\r\n";
}

// Appends one unmasked, final text frame, as a server sends it: FIN + text opcode, then the
// length in 7, 16 or 64 bits.
inline void appendServerTextFrame(QByteArray &stream, QByteArrayView payload)
{
    const auto size = quint64(payload.size());
    const int lengthBytes = size < 126 ? 0 : size < 65536 ? 2 : 8;
    stream.append(char(0x81)).append(char(lengthBytes == 0 ? size : lengthBytes == 2 ? 126 : 127));
    for (int shift = 8 * (lengthBytes - 1); shift >= 0; shift -= 8)
        stream.append(char((size >> shift) & 0xFF));
    stream.append(payload);
}

// Takes the first complete frame off the front of `stream`; nothing while it is incomplete.
inline std::optional<WireFrame> takeWireFrame(QByteArray &stream)
{
    const auto byte = [&stream](qsizetype index) { return quint8(stream.at(index)); };
    if (stream.size() < 2)
        return std::nullopt;
    quint64 length = byte(1) & 0x7F;
    const int lengthBytes = length == 126 ? 2 : length == 127 ? 8 : 0;
    const bool masked = byte(1) & 0x80;
    const qsizetype maskOffset = 2 + lengthBytes, offset = maskOffset + (masked ? 4 : 0);
    if (stream.size() < offset)
        return std::nullopt;
    if (lengthBytes > 0)
        length = 0;
    for (int i = 0; i < lengthBytes; ++i)
        length = (length << 8) | byte(2 + i);
    if (quint64(stream.size() - offset) < length)
        return std::nullopt;
    WireFrame frame{byte(0) & 0x0F, bool(byte(0) & 0x80), stream.mid(offset, qsizetype(length))};
    for (qsizetype i = 0; masked && i < frame.payload.size(); ++i)
        frame.payload[i] = char(frame.payload.at(i) ^ stream.at(maskOffset + i % 4));
    stream.remove(0, offset + qsizetype(length));
    return frame;
}

// A websocket peer on 127.0.0.1 that speaks the handshake itself and records every frame a
// client sends as it is on the wire, before any reassembly into messages. It never answers
// frames; after the upgrade it writes the bytes given to setScript(), as they are, so tests
// can send what a well-behaved server would not. It closes when destroyed.
class WireFrameRecorder : public QObject
{
public:
    WireFrameRecorder()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket *peer = m_server.nextPendingConnection())
                connect(peer, &QTcpSocket::readyRead, this, [this, peer] { read(peer); });
        });
    }

    [[nodiscard]] bool listen() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QUrl url() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_server.serverPort())); }
    const QList<WireFrame> &frames() const { return m_frames; }
    // Written right after the upgrade answer.
    void setScript(const QByteArray &bytes) { m_script = bytes; }
    // Replaces the upgrade answer (for broken handshakes); empty keeps the proper one.
    void setUpgradeAnswer(const QByteArray &answer) { m_upgradeAnswer = answer; }

private:
    void read(QTcpSocket *peer)
    {
        m_buffer += peer->readAll();
        if (!m_upgraded) {
            const qsizetype end = m_buffer.indexOf("\r\n\r\n");
            if (end < 0)
                return;
            peer->write(m_upgradeAnswer.isEmpty() ? websocketHandshakeResponse(m_buffer.first(end)) : m_upgradeAnswer);
            peer->write(m_script);
            m_buffer.remove(0, end + 4);
            m_upgraded = true;
        }
        while (auto frame = takeWireFrame(m_buffer))
            m_frames.append(*frame);
    }

    QTcpServer m_server;
    QByteArray m_buffer, m_script, m_upgradeAnswer;
    bool m_upgraded = false;
    QList<WireFrame> m_frames;
};

} // namespace tessel::test
