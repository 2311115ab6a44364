#include "FrameFeeder.h"

#include "support/WireFrameRecorder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel::bench {

namespace {

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

} // namespace

FrameFeeder::FrameFeeder(const QList<QByteArray> &payloads)
{
    for (const QByteArray &payload : payloads)
        test::appendServerTextFrame(m_stream, payload);
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
    const QByteArray response = test::websocketHandshakeResponse(request);
    if (writeAll(peer, response.constData(), response.size()))
        writeAll(peer, m_stream.constData(), m_stream.size());
    // Wait for the client to close, so that nothing is cut off, and answer its closing
    // handshake so that it need not wait for a reply.
    QByteArray received;
    ssize_t count = 0;
    while ((count = ::recv(peer, buffer, sizeof buffer, 0)) > 0) {
        received.append(buffer, count);
        bool closing = false;
        while (const auto frame = test::takeWireFrame(received))
            closing = closing || frame->opcode == 0x8;
        if (closing) {
            const char reply[] = {char(0x88), 0};
            writeAll(peer, reply, sizeof reply);
            break;
        }
    }
    ::close(peer);
}

} // namespace tessel::bench
