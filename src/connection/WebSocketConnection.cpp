#include "connection/WebSocketConnection.h"

#include <QCryptographicHash>
#include <QRandomGenerator>
#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <simdjson.h>

#include <cstring>
#include <optional>
#include <utility>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

enum Opcode { continuation = 0x0, text = 0x1, binary = 0x2, closeFrame = 0x8, ping = 0x9, pong = 0xA };

constexpr quint16 closeProtocolError = 1002;
constexpr quint16 closeNoStatus = 1005;
constexpr quint16 closeInvalidText = 1007;
constexpr quint16 closeTooBig = 1009;
constexpr quint64 maxControlPayload = 125;
// An answer to the upgrade request that is longer than this without ending is not one.
constexpr qsizetype maxUpgradeAnswerBytes = 16 * 1024;
constexpr qsizetype readChunkBytes = 64 * 1024;
constexpr qsizetype keptBufferBytes = 1024 * 1024;

QByteArray acceptKey(const QByteArray &key)
{
    return QCryptographicHash::hash(QByteArray(key + "258EAFA5-E914-47DA-95CA-C5AB0DC85B11"), QCryptographicHash::Sha1)
        .toBase64();
}

QByteArray newKey()
{
    quint32 random[4];
    QRandomGenerator::global()->fillRange(random);
    return QByteArray(reinterpret_cast<const char *>(random), sizeof random).toBase64();
}

QString closeDescription(quint16 code, const QString &reason)
{
    const QString text = u"The websocket closed with code "_s + QString::number(code);
    return reason.isEmpty() ? QString(text + u'.') : QString(text + u": "_s + reason);
}

// Why `answer` (the header block of the reply to the upgrade request) does not accept the
// upgrade for `key`; nothing when it does.
std::optional<QString> upgradeRefusal(const QByteArray &answer, const QByteArray &key)
{
    const QList<QByteArray> lines = answer.split('\n');
    const QByteArray status = lines.first().trimmed();
    const QList<QByteArray> statusParts = status.split(' ');
    if (statusParts.size() < 2 || !statusParts.first().startsWith("HTTP/") || statusParts.at(1) != "101")
        return u"The gateway did not accept the websocket upgrade: "_s + QString::fromLatin1(status);
    bool upgrade = false;
    QByteArray accept;
    for (const QByteArray &line : lines) {
        const qsizetype colon = line.indexOf(':');
        const QByteArray name = line.left(colon).trimmed().toLower();
        if (name == "upgrade")
            upgrade = line.mid(colon + 1).trimmed().toLower() == "websocket";
        else if (name == "sec-websocket-accept")
            accept = line.mid(colon + 1).trimmed();
    }
    if (!upgrade)
        return u"The gateway's answer to the websocket upgrade does not upgrade to a websocket."_s;
    if (accept != acceptKey(key))
        return u"The gateway's answer to the websocket upgrade has a wrong Sec-WebSocket-Accept key."_s;
    return std::nullopt;
}

// A final client frame: masked with a fresh random key, as every client frame must be.
QByteArray encodeClientFrame(int opcode, QByteArrayView payload)
{
    const auto size = quint64(payload.size());
    QByteArray frame;
    frame.reserve(14 + payload.size());
    frame.append(char(0x80 | opcode));
    if (size < 126) {
        frame.append(char(0x80 | size));
    } else if (size < 65536) {
        frame.append(char(0x80 | 126)).append(char(size >> 8)).append(char(size & 0xFF));
    } else {
        frame.append(char(0x80 | 127));
        for (int shift = 56; shift >= 0; shift -= 8)
            frame.append(char((size >> shift) & 0xFF));
    }
    char mask[4];
    const quint32 key = QRandomGenerator::global()->generate();
    std::memcpy(mask, &key, sizeof mask);
    frame.append(mask, sizeof mask);
    const qsizetype start = frame.size();
    frame.resize(start + payload.size());
    char *out = frame.data() + start;
    for (qsizetype i = 0; i < payload.size(); ++i)
        out[i] = char(payload.data()[i] ^ mask[i & 3]);
    return frame;
}

} // namespace

WebSocketConnection::WebSocketConnection(qint64 incomingLimitBytes, QObject *parent)
    : QObject(parent)
    , m_incomingLimitBytes(incomingLimitBytes)
{ }

void WebSocketConnection::open(const QUrl &url)
{
    m_url = url;
    m_key = newKey();
    const QString scheme = url.scheme().toLower();
    if (scheme == "wss"_L1) {
        auto *tls = new QSslSocket(this);
        m_socket = tls;
        connect(tls, &QSslSocket::encrypted, this, &WebSocketConnection::sendUpgradeRequest);
    } else if (scheme == "ws"_L1) {
        m_socket = new QTcpSocket(this);
        connect(m_socket, &QTcpSocket::connected, this, &WebSocketConnection::sendUpgradeRequest);
    } else {
        QTimer::singleShot(0, this, [this, scheme] { finish(u"Unsupported WebSocket scheme: "_s + scheme); });
        return;
    }
    connect(m_socket, &QTcpSocket::readyRead, this, &WebSocketConnection::readAvailable);
    connect(m_socket, &QAbstractSocket::errorOccurred, this, &WebSocketConnection::handleSocketEnd);
    connect(m_socket, &QAbstractSocket::disconnected, this, &WebSocketConnection::handleSocketEnd);
    if (auto *tls = qobject_cast<QSslSocket *>(m_socket))
        tls->connectToHostEncrypted(url.host(), quint16(url.port(443)));
    else
        m_socket->connectToHost(url.host(), quint16(url.port(80)));
}

void WebSocketConnection::sendText(QByteArrayView utf8)
{
    writeFrame(text, utf8);
}

void WebSocketConnection::close(quint16 code)
{
    if (m_state == State::closing || m_state == State::closed)
        return;
    if (m_state != State::open) {
        abort();
        return;
    }
    const char payload[2] = {char(code >> 8), char(code & 0xFF)};
    writeFrame(closeFrame, QByteArrayView(payload, 2));
    // On its way now, without waiting for the event loop: an owner that closes on its way
    // out may not run one again.
    m_socket->flush();
    m_state = State::closing;
}

void WebSocketConnection::abort()
{
    finish(u"The websocket was closed before the gateway answered."_s);
    if (m_socket)
        m_socket->abort();
}

void WebSocketConnection::sendUpgradeRequest()
{
    // Requests are small and wait for answers; do not hold them back to fill packets.
    m_socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    QByteArray resource = m_url.path(QUrl::FullyEncoded).toLatin1();
    if (resource.isEmpty())
        resource = "/";
    if (m_url.hasQuery())
        resource += '?' + m_url.query(QUrl::FullyEncoded).toLatin1();
    QByteArray host = m_url.host(QUrl::FullyEncoded).toLatin1();
    if (host.contains(':'))
        host = '[' + host + ']';
    if (m_url.port() != -1)
        host += ':' + QByteArray::number(m_url.port());
    m_socket->write("GET " + resource + " HTTP/1.1\r\nHost: " + host +
                    "\r\nUpgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Key: " + m_key +
                    "\r\nSec-WebSocket-Version: 13\r\n\r\n");
    m_state = State::upgrading;
}

void WebSocketConnection::readAvailable()
{
    if (std::exchange(m_reading, true))
        return;
    readChunks();
    m_reading = false;
    if (std::exchange(m_endPending, false))
        handleSocketEnd();
}

void WebSocketConnection::readChunks()
{
    // In chunks, so that a burst of small frames is handled in a small buffer that stays in
    // the cache; a large frame still collects in one piece.
    while (m_state != State::closed && m_socket->bytesAvailable() > 0) {
        const qsizetype chunk = qsizetype(qMin<qint64>(m_socket->bytesAvailable(), readChunkBytes));
        makeRoom(chunk);
        const qint64 read = m_socket->read(m_buffer.data() + m_filled, chunk);
        if (read <= 0)
            return;
        m_filled += qsizetype(read);
        if (m_state == State::upgrading && !readUpgradeAnswer())
            return;
        if (m_state == State::open || m_state == State::closing)
            readFrames();
    }
    if (m_state == State::closed)
        m_socket->skip(m_socket->bytesAvailable());
    // A buffer grown for a large message is not kept for the small ones after it.
    const qsizetype pending = m_filled - m_consumed;
    if (m_buffer.size() > keptBufferBytes && pending < readChunkBytes) {
        QByteArray smaller(readChunkBytes + paddingBytes, Qt::Uninitialized);
        std::memcpy(smaller.data(), m_buffer.constData() + m_consumed, std::size_t(pending));
        m_buffer.swap(smaller);
        m_consumed = 0;
        m_filled = pending;
    }
}

void WebSocketConnection::makeRoom(qsizetype bytes)
{
    const qsizetype pending = m_filled - m_consumed;
    if (m_consumed > 0) {
        std::memmove(m_buffer.data(), m_buffer.constData() + m_consumed, std::size_t(pending));
        m_consumed = 0;
        m_filled = pending;
    }
    const qsizetype needed = m_filled + bytes + paddingBytes;
    if (m_buffer.size() < needed)
        m_buffer.resize(qMax(needed, 2 * m_buffer.size()));
}

bool WebSocketConnection::readUpgradeAnswer()
{
    const qsizetype end = QByteArrayView(m_buffer).first(m_filled).indexOf("\r\n\r\n");
    std::optional<QString> refusal;
    if (end < 0 && m_filled > maxUpgradeAnswerBytes)
        refusal = u"The gateway's answer to the websocket upgrade is too long."_s;
    else if (end >= 0)
        refusal = upgradeRefusal(m_buffer.left(end), m_key);
    if (refusal) {
        finish(*refusal);
        m_socket->abort();
        return false;
    }
    if (end < 0)
        return false;
    m_consumed = end + 4;
    m_state = State::open;
    for (const QByteArray &frame : std::exchange(m_held, {}))
        m_socket->write(frame);
    return true;
}

void WebSocketConnection::readFrames()
{
    while (m_state == State::open || m_state == State::closing) {
        const auto *data = reinterpret_cast<const uchar *>(m_buffer.constData()) + m_consumed;
        const qsizetype available = m_filled - m_consumed;
        if (available < 2)
            return;
        qsizetype header = 2;
        quint64 length = data[1] & 0x7F;
        if (length >= 126) {
            header = length == 126 ? 4 : 10;
            if (available < header)
                return;
            length = 0;
            for (qsizetype i = 2; i < header; ++i)
                length = (length << 8) | data[i];
        }
        const int opcode = data[0] & 0x0F;
        const bool final = data[0] & 0x80;
        if ((data[0] & 0x70) || (data[1] & 0x80))
            return failProtocol(closeProtocolError, u"The gateway sent a masked or extended frame."_s);
        if (opcode & 0x8) {
            if (!final || length > maxControlPayload)
                return failProtocol(closeProtocolError, u"The gateway sent an invalid control frame."_s);
        } else if (length > quint64(m_incomingLimitBytes - m_fragments.size())) {
            // Refused before it is buffered.
            return failProtocol(closeTooBig, u"The gateway sent a message over the size limit."_s);
        }
        if (quint64(available - header) < length)
            return;
        const QByteArrayView payload(m_buffer.constData() + m_consumed + header, qsizetype(length));
        m_consumed += header + qsizetype(length);
        if (!handleFrame(opcode, final, payload))
            return;
    }
}

bool WebSocketConnection::handleFrame(int opcode, bool final, QByteArrayView payload)
{
    if (opcode & 0x8)
        return handleControlFrame(opcode, payload);
    if (opcode == continuation) {
        if (m_fragmentOpcode == 0) {
            failProtocol(closeProtocolError, u"The gateway continued a message it had not started."_s);
            return false;
        }
        m_fragments.append(payload);
        if (!final)
            return true;
        m_fragments.reserve(m_fragments.size() + paddingBytes);
        const bool goOn = deliver(std::exchange(m_fragmentOpcode, 0), m_fragments);
        m_fragments = QByteArray();
        return goOn;
    }
    if ((opcode != text && opcode != binary) || m_fragmentOpcode != 0) {
        failProtocol(closeProtocolError, u"The gateway sent an unknown or misplaced frame."_s);
        return false;
    }
    if (final)
        return deliver(opcode, payload);
    m_fragmentOpcode = opcode;
    m_fragments = payload.toByteArray();
    return true;
}

bool WebSocketConnection::handleControlFrame(int opcode, QByteArrayView payload)
{
    if (opcode == ping) {
        writeFrame(pong, payload);
        return true;
    }
    if (opcode == pong)
        return true;
    if (opcode != closeFrame) {
        failProtocol(closeProtocolError, u"The gateway sent an unknown control frame."_s);
        return false;
    }
    quint16 code = closeNoStatus;
    QString reason;
    if (payload.size() >= 2) {
        code = quint16(quint8(payload.at(0)) << 8 | quint8(payload.at(1)));
        reason = QString::fromUtf8(payload.sliced(2));
    }
    // The closing handshake: answer with the same code, unless this end started it.
    if (m_state == State::open)
        writeFrame(closeFrame, payload.first(qMin<qsizetype>(2, payload.size())));
    finish(closeDescription(code, reason));
    m_socket->disconnectFromHost();
    return false;
}

bool WebSocketConnection::deliver(int opcode, QByteArrayView payload)
{
    if (opcode == text && !simdjson::validate_utf8(payload.data(), std::size_t(payload.size()))) {
        failProtocol(closeInvalidText, u"The gateway sent a text message that is not UTF-8."_s);
        return false;
    }
    Q_EMIT messageReceived(payload, opcode == binary);
    return m_state == State::open || m_state == State::closing;
}

void WebSocketConnection::writeFrame(int opcode, QByteArrayView payload)
{
    if (m_state == State::open)
        m_socket->write(encodeClientFrame(opcode, payload));
    else if (m_state == State::connecting || m_state == State::upgrading)
        m_held.append(encodeClientFrame(opcode, payload));
}

void WebSocketConnection::failProtocol(quint16 code, const QString &reason)
{
    if (m_state == State::open) {
        QByteArray payload;
        payload.append(char(code >> 8)).append(char(code & 0xFF)).append(reason.toUtf8().left(maxControlPayload - 2));
        writeFrame(closeFrame, payload);
    }
    finish(closeDescription(code, reason));
    m_socket->disconnectFromHost();
}

void WebSocketConnection::handleSocketEnd()
{
    if (m_state == State::closed)
        return;
    if (m_reading) {
        m_endPending = true;
        return;
    }
    // What arrived before the end is still delivered.
    if (m_state == State::open || m_state == State::closing)
        readAvailable();
    if (m_state == State::closed)
        return;
    const bool hasError = m_socket->error() != QAbstractSocket::UnknownSocketError;
    finish(hasError ? m_socket->errorString() : u"The connection to the gateway closed."_s);
}

void WebSocketConnection::finish(const QString &description)
{
    if (m_state == State::closed)
        return;
    m_state = State::closed;
    m_held.clear();
    m_fragments = QByteArray();
    Q_EMIT closed(description);
}

} // namespace tessel
