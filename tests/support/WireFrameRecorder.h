#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QObject>
#include <QUrl>

#include <optional>

class QTcpServer;
class QTcpSocket;

namespace tessel::test {

// One websocket frame as it crossed the wire, unmasked.
struct WireFrame
{
    int opcode = 0;
    bool final = false;
    QByteArray payload;
};

// The server's answer to a client's websocket upgrade request (the "101 Switching Protocols"
// with the key's accept hash).
QByteArray websocketHandshakeResponse(QByteArrayView request);
// Appends one unmasked, final text frame, as a server sends it.
void appendServerTextFrame(QByteArray &stream, QByteArrayView payload);
// Takes the first complete frame off the front of `stream`; nothing while it is incomplete.
std::optional<WireFrame> takeWireFrame(QByteArray &stream);

// A websocket peer on 127.0.0.1 that speaks the handshake itself and records every frame a
// client sends as it is on the wire, before any reassembly into messages. It never answers
// frames; after the upgrade it writes the bytes given to setScript(), as they are, so tests
// can send what a well-behaved server would not. It closes when destroyed.
class WireFrameRecorder : public QObject
{
    Q_OBJECT

public:
    explicit WireFrameRecorder(QObject *parent = nullptr);

    [[nodiscard]] bool listen();
    QUrl url() const;
    const QList<WireFrame> &frames() const { return m_frames; }
    // Written right after the upgrade answer.
    void setScript(const QByteArray &bytes) { m_script = bytes; }
    // Replaces the upgrade answer (for broken handshakes); empty keeps the proper one.
    void setUpgradeAnswer(const QByteArray &answer) { m_upgradeAnswer = answer; }

Q_SIGNALS:
    void frameRecorded();

private:
    void read(QTcpSocket *peer);

    QTcpServer *m_server;
    QByteArray m_buffer;
    QByteArray m_script;
    QByteArray m_upgradeAnswer;
    bool m_upgraded = false;
    QList<WireFrame> m_frames;
};

} // namespace tessel::test
