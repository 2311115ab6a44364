#include "BenchGateway.h"

#include "support/WireFrameRecorder.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel::bench {

bool BenchGateway::start()
{
    if (qEnvironmentVariableIsEmpty("TESSEL_DEMO_GATEWAY"))
        qputenv("TESSEL_DEMO_GATEWAY", TESSEL_DEMO_GATEWAY_PATH);
    QFile note(m_root.filePath(u"note.md"_s));
    if (note.open(QIODevice::WriteOnly) && note.write("# Note\n\nA small file for round trips.\n") > 0 &&
        m_process.start({u"--root"_s, m_root.path(), u"--token"_s, benchToken, u"--no-env-file"_s}))
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(m_process.errorText()));
    return false;
}

QList<QByteArray> floodStream(int count)
{
    QList<QByteArray> payloads(count,
                               R"({"type":"assistant_delta","sessionId":"6F1C2B4E-3D5A-4C7B-9E8F-0A1B2C3D4E5F",)"
                               R"("itemId":"assistant-1","delta":"tokens. "})");
    payloads.append(R"({"type":"assistant_complete","itemId":"assistant-1","text":""})");
    return payloads;
}

FrameFeeder::FrameFeeder(const QList<QByteArray> &payloads)
{
    for (const QByteArray &payload : payloads)
        test::appendServerTextFrame(m_stream, payload);
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), length) == 0 && ::listen(m_listener, 1) == 0 &&
        ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) == 0) {
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] { serve(); });
    }
}

FrameFeeder::~FrameFeeder()
{
    if (m_thread.joinable())
        m_thread.join();
    ::close(m_listener);
}

void FrameFeeder::serve()
{
    const int peer = ::accept(m_listener, nullptr, nullptr);
    const auto writeAll = [peer](QByteArrayView bytes) {
        for (ssize_t written = 0; !bytes.isEmpty(); bytes = bytes.sliced(written)) {
            if ((written = ::send(peer, bytes.data(), std::size_t(bytes.size()), MSG_NOSIGNAL)) <= 0)
                return false;
        }
        return true;
    };
    QByteArray received;
    char buffer[4096];
    ssize_t count = 0;
    while (!received.contains("\r\n\r\n") && (count = ::recv(peer, buffer, sizeof buffer, 0)) > 0)
        received.append(buffer, count);
    if (writeAll(test::websocketHandshakeResponse(received)))
        writeAll(m_stream);
    // Waits for the client's close, so that nothing is cut off, and answers it so that the
    // client need not wait for a reply.
    received.clear();
    while ((count = ::recv(peer, buffer, sizeof buffer, 0)) > 0) {
        received.append(buffer, count);
        bool closing = false;
        while (const auto frame = test::takeWireFrame(received))
            closing = closing || frame->opcode == 0x8;
        if (closing) {
            writeAll("\x88\x00"_ba);
            break;
        }
    }
    ::close(peer);
}

} // namespace tessel::bench
