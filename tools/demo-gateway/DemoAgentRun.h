#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>

namespace tessel::demo {

// One streamed assistant reply: `count` pieces sent as "assistant_delta" frames of one
// item, one per interval tick; with a zero interval (flood mode) in batches as fast as
// `canSend` allows, equal pieces in a row encoded once. Emits finished() once, when all
// pieces are out or on abort().
class DemoAgentRun : public QObject
{
    Q_OBJECT

public:
    using PieceAt = std::function<QString(int index)>;

    DemoAgentRun(QString sessionId, QString itemId, int count, PieceAt pieceAt, std::chrono::milliseconds interval,
                 std::function<bool()> canSend, QObject *parent = nullptr);

    void start();
    void abort();
    // Flood mode pauses while `canSend` is false; call this when the socket has drained.
    void resume();
    const QString &itemId() const { return m_itemId; }

Q_SIGNALS:
    // `frame` goes out `count` times in a row.
    void framesReady(const QByteArray &frame, int count);
    // The text streamed so far (all of it unless aborted).
    void finished(const QString &text, bool aborted);

private:
    void sendNext();
    void sendBatch();
    void sendPieces(const QString &piece, int count);
    void finish(bool aborted);

    QString m_sessionId;
    QString m_itemId;
    int m_count;
    PieceAt m_pieceAt;
    std::function<bool()> m_canSend;
    QTimer m_timer;
    int m_sent = 0;
    QString m_streamed;
    bool m_finished = false;
};

} // namespace tessel::demo
