#include "support/WireFrameRecorder.h"

#include <QCryptographicHash>
#include <QRegularExpression>
#include <QTcpServer>
#include <QTcpSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

QByteArray websocketHandshakeResponse(QByteArrayView request)
{
    static const QRegularExpression keyLine(u"Sec-WebSocket-Key:\\s*(\\S+)"_s,
                                            QRegularExpression::CaseInsensitiveOption);
    const QByteArray key = keyLine.match(QString::fromLatin1(request)).captured(1).toLatin1();
    const QByteArray accept =
        QCryptographicHash::hash(QByteArray(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"), QCryptographicHash::Sha1)
            .toBase64();
    return "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Accept: " +
        accept + "\r\n\r\n";
}

// FIN + text opcode, then the length in 7, 16 or 64 bits; server frames carry no mask.
void appendServerTextFrame(QByteArray &stream, QByteArrayView payload)
{
    stream.append(char(0x81));
    const auto size = quint64(payload.size());
    if (size < 126) {
        stream.append(char(size));
    } else if (size < 65536) {
        stream.append(char(126)).append(char(size >> 8)).append(char(size & 0xFF));
    } else {
        stream.append(char(127));
        for (int shift = 56; shift >= 0; shift -= 8)
            stream.append(char((size >> shift) & 0xFF));
    }
    stream.append(payload);
}

std::optional<WireFrame> takeWireFrame(QByteArray &stream)
{
    if (stream.size() < 2)
        return std::nullopt;
    const auto byte = [&stream](qsizetype index) { return quint8(stream.at(index)); };
    quint64 length = byte(1) & 0x7F;
    qsizetype offset = 2;
    const int extraLengthBytes = length == 126 ? 2 : length == 127 ? 8 : 0;
    if (stream.size() < offset + extraLengthBytes)
        return std::nullopt;
    if (extraLengthBytes > 0) {
        length = 0;
        for (int i = 0; i < extraLengthBytes; ++i)
            length = (length << 8) | byte(offset++);
    }
    const bool masked = byte(1) & 0x80;
    const qsizetype maskOffset = offset;
    offset += masked ? 4 : 0;
    if (quint64(stream.size() - offset) < length)
        return std::nullopt;
    WireFrame frame{byte(0) & 0x0F, bool(byte(0) & 0x80), stream.mid(offset, qsizetype(length))};
    if (masked) {
        for (qsizetype i = 0; i < frame.payload.size(); ++i)
            frame.payload[i] = char(frame.payload.at(i) ^ stream.at(maskOffset + i % 4));
    }
    stream.remove(0, offset + qsizetype(length));
    return frame;
}

WireFrameRecorder::WireFrameRecorder(QObject *parent)
    : QObject(parent)
    , m_server(new QTcpServer(this))
{
    connect(m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket *peer = m_server->nextPendingConnection())
            connect(peer, &QTcpSocket::readyRead, this, [this, peer] { read(peer); });
    });
}

bool WireFrameRecorder::listen()
{
    if (m_server->listen(QHostAddress::LocalHost, 0))
        return true;
    qWarning("frame recorder cannot listen: %s", qPrintable(m_server->errorString()));
    return false;
}

QUrl WireFrameRecorder::url() const
{
    return QUrl(u"ws://127.0.0.1:%1"_s.arg(m_server->serverPort()));
}

void WireFrameRecorder::read(QTcpSocket *peer)
{
    m_buffer += peer->readAll();
    if (!m_upgraded) {
        const qsizetype end = m_buffer.indexOf("\r\n\r\n");
        if (end < 0)
            return;
        const QByteArray request = m_buffer.first(end);
        peer->write(m_upgradeAnswer.isEmpty() ? websocketHandshakeResponse(request) : m_upgradeAnswer);
        peer->write(m_script);
        m_buffer.remove(0, end + 4);
        m_upgraded = true;
    }
    while (auto frame = takeWireFrame(m_buffer)) {
        m_frames.append(*frame);
        Q_EMIT frameRecorded();
    }
}

} // namespace tessel::test
