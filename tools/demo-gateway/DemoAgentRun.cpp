#include "DemoAgentRun.h"

#include "DemoReply.h"

namespace tessel::demo {

namespace {

// Frames per batch in flood mode: large enough to keep the socket busy, small enough to
// let the event loop write between batches.
constexpr int floodBatch = 512;

} // namespace

DemoAgentRun::DemoAgentRun(QString sessionId, QString itemId, int count, PieceAt pieceAt,
                           std::chrono::milliseconds interval, std::function<bool()> canSend, QObject *parent)
    : QObject(parent)
    , m_sessionId(std::move(sessionId))
    , m_itemId(std::move(itemId))
    , m_count(count)
    , m_pieceAt(std::move(pieceAt))
    , m_canSend(std::move(canSend))
{
    m_timer.setInterval(interval);
    if (interval.count() == 0)
        connect(&m_timer, &QTimer::timeout, this, &DemoAgentRun::sendBatch);
    else
        connect(&m_timer, &QTimer::timeout, this, &DemoAgentRun::sendNext);
}

void DemoAgentRun::start()
{
    if (m_count == 0)
        finish(false);
    else
        m_timer.start();
}

void DemoAgentRun::abort()
{
    finish(true);
}

void DemoAgentRun::resume()
{
    if (!m_finished && !m_timer.isActive())
        m_timer.start();
}

void DemoAgentRun::sendNext()
{
    sendPieces(m_pieceAt(m_sent), 1);
}

void DemoAgentRun::sendBatch()
{
    int budget = floodBatch;
    while (budget > 0 && !m_finished) {
        if (!m_canSend()) {
            m_timer.stop();
            return;
        }
        const QString piece = m_pieceAt(m_sent);
        int count = 1;
        while (count < budget && m_sent + count < m_count && m_pieceAt(m_sent + count) == piece)
            ++count;
        sendPieces(piece, count);
        budget -= count;
    }
}

void DemoAgentRun::sendPieces(const QString &piece, int count)
{
    m_sent += count;
    // Flood replies are not kept: the text is only there to be measured.
    if (m_timer.interval() > 0)
        m_streamed += piece;
    Q_EMIT framesReady(DemoReply("assistant_delta")
                           .field("sessionId", m_sessionId)
                           .field("itemId", m_itemId)
                           .field("delta", piece)
                           .bytes(),
                       count);
    if (m_sent == m_count)
        finish(false);
}

void DemoAgentRun::finish(bool aborted)
{
    if (std::exchange(m_finished, true))
        return;
    m_timer.stop();
    Q_EMIT finished(m_streamed, aborted);
}

} // namespace tessel::demo
