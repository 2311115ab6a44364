#include "FrameFeeder.h"

#include <QCryptographicHash>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel::bench {

namespace {

// Server frames are unmasked: FIN + text opcode, then the length in 7, 16 or 64 bits.
void appendTextFrame(QByteArray &stream, QByteArrayView payload)
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

bool writeAll(int fd, const char *data, qsizetype size)
{
    while (size > 0) {
        const ssize_t written = ::send(fd, data, std::size_t(size), MSG_NOSIGNAL);
        if (written <= 0)
            return false;
        data += written;
        size -= written;
    }
    return true;
}

QByteArray handshakeResponse(const QByteArray &request)
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

} // namespace

FrameFeeder::FrameFeeder(const QList<QByteArray> &payloads)
{
    for (const QByteArray &payload : payloads)
        appendTextFrame(m_stream, payload);
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) != 0 || ::listen(m_listener, 1) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(m_listener);
        m_listener = -1;
        return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

FrameFeeder::~FrameFeeder()
{
    if (m_thread.joinable())
        m_thread.join();
    if (m_listener >= 0)
        ::close(m_listener);
}

QByteArray floodDeltaFrame()
{
    return R"({"type":"assistant_delta","sessionId":"6F1C2B4E-3D5A-4C7B-9E8F-0A1B2C3D4E5F",)"
           R"("itemId":"assistant-1","delta":"tokens. "})";
}

QList<QByteArray> floodStream(int count)
{
    QList<QByteArray> payloads(count, floodDeltaFrame());
    payloads.append(R"({"type":"assistant_complete","itemId":"assistant-1","text":""})");
    return payloads;
}

QUrl FrameFeeder::url() const
{
    return QUrl(u"ws://127.0.0.1:%1"_s.arg(m_port));
}

void FrameFeeder::serve()
{
    const int peer = ::accept(m_listener, nullptr, nullptr);
    if (peer < 0)
        return;
    QByteArray request;
    char buffer[4096];
    while (!request.contains("\r\n\r\n")) {
        const ssize_t received = ::recv(peer, buffer, sizeof buffer, 0);
        if (received <= 0)
            break;
        request.append(buffer, received);
    }
    const QByteArray response = handshakeResponse(request);
    if (writeAll(peer, response.constData(), response.size()))
        writeAll(peer, m_stream.constData(), m_stream.size());
    // Wait for the client to close, so that nothing is cut off.
    while (::recv(peer, buffer, sizeof buffer, 0) > 0) { }
    ::close(peer);
}

} // namespace tessel::bench
