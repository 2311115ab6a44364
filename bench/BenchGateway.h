#pragma once

#include "BenchSupport.h"

#include "support/DemoGatewayProcess.h"

#include <QTemporaryDir>

#include <thread>

namespace tessel::bench {

inline const QString benchToken = QStringLiteral("bench-token");

// A demo gateway on a free port serving a temporary directory with one small text file.
class BenchGateway
{
public:
    // False (with the reason on stderr) when the gateway does not start.
    bool start();
    QUrl url() const { return m_process.url(); }

private:
    QTemporaryDir m_root;
    test::DemoGatewayProcess m_process;
};

// A websocket peer that costs next to nothing per frame: on its own thread it accepts one
// connection on 127.0.0.1, answers the handshake and writes pre-encoded text frames, one per
// payload, as fast as the socket takes them. It shows what the receiving side can do when
// the sender is not the limit.
class FrameFeeder
{
public:
    explicit FrameFeeder(const QList<QByteArray> &payloads);
    ~FrameFeeder();
    QUrl url() const { return QUrl(QStringLiteral("ws://127.0.0.1:%1").arg(m_port)); }

private:
    void serve();

    QByteArray m_stream;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

// `count` streamed deltas (about 120 bytes each, like a demo gateway flood), then the
// completion that ends the stream.
QList<QByteArray> floodStream(int count);

} // namespace tessel::bench
