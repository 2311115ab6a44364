#pragma once

#include <QByteArray>
#include <QList>
#include <QUrl>

#include <thread>

namespace tessel::bench {

// A websocket peer that costs next to nothing per frame: on its own thread it accepts one
// connection on 127.0.0.1, answers the handshake and writes a pre-encoded stream of text
// frames as fast as the socket takes them. It shows what the receiving side can do when
// the sender is not the limit.
// The streamed delta both stream benchmarks send (about 120 bytes, like a demo gateway flood).
QByteArray floodDeltaFrame();
// `count` deltas then the completion that ends the stream.
QList<QByteArray> floodStream(int count);

class FrameFeeder
{
public:
    // Sends each payload as one text frame, in order.
    explicit FrameFeeder(const QList<QByteArray> &payloads);
    ~FrameFeeder();

    bool isListening() const { return m_listener >= 0; }
    QUrl url() const;

private:
    void serve();

    QByteArray m_stream;
    int m_listener = -1;
    quint16 m_port = 0;
    std::thread m_thread;
};

} // namespace tessel::bench
