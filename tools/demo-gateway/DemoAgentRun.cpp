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
    const QString piece = m_pieceAt(m_sent++);
    // Flood replies are not kept: the text is only there to be measured.
    if (m_timer.interval() > 0)
        m_streamed += piece;
    Q_EMIT frameReady(DemoReply("assistant_delta")
                          .field("sessionId", m_sessionId)
                          .field("itemId", m_itemId)
                          .field("delta", piece)
                          .bytes());
    if (m_sent == m_count)
        finish(false);
}

void DemoAgentRun::sendBatch()
{
    for (int i = 0; i < floodBatch && !m_finished; ++i) {
        if (!m_canSend()) {
            m_timer.stop();
            return;
        }
        sendNext();
    }
}

void DemoAgentRun::finish(bool aborted)
{
    if (std::exchange(m_finished, true))
        return;
    m_timer.stop();
    Q_EMIT finished(m_streamed, aborted);
}

} // namespace tessel::demo
