#pragma once

#include "DemoSessions.h"

#include "protocol/GatewayClientEnvelope.h"

#include <QHash>
#include <QObject>

#include <chrono>
#include <functional>
#include <optional>

namespace tessel::demo {

class DemoAgentRun;
class DemoProjectFiles;

// The chat side of the demo gateway: backend catalog, sessions and a scripted agent.
// Answers to a request go through `reply`; events of a session go out as sessionEvent()
// to every socket attached to it. The message "flood N" makes the agent stream N deltas
// as fast as the sockets take them.
class DemoChat : public QObject
{
    Q_OBJECT

public:
    using Reply = std::function<void(const QByteArray &frame)>;

    struct Options
    {
        std::optional<QString> piUnavailableReason;
        std::chrono::milliseconds deltaInterval{40};
    };

    DemoChat(const DemoProjectFiles &files, Options options, QObject *parent = nullptr);

    // Whether a session's sockets can take more frames now (flood mode pauses otherwise).
    void setCanSend(std::function<bool(const QString &sessionId)> canSend) { m_canSend = std::move(canSend); }
    // The sockets of a session have drained: paused flood replies go on.
    void resumeSession(const QString &sessionId);

    void listBackends(const GatewayClientEnvelope &request, const Reply &reply) const;
    void listSessions(const GatewayClientEnvelope &request, const Reply &reply) const;
    // The id of the session the requesting socket is now attached to, if any.
    std::optional<QString> createSession(const GatewayClientEnvelope &request, const Reply &reply);
    void sendMessage(const GatewayClientEnvelope &request, const Reply &reply);
    void abort(const GatewayClientEnvelope &request, const Reply &reply);

Q_SIGNALS:
    // `frame` goes out `count` times in a row.
    void sessionEvent(const QString &sessionId, const QByteArray &frame, int count = 1);

private:
    QList<BackendDescriptor> backends() const;
    DemoSession *sessionFor(const GatewayClientEnvelope &request, const Reply &reply);
    void setState(DemoSession &session, SessionLifecycleState state);
    void runListingTool(DemoSession &session);
    void startReply(DemoSession &session, const QString &message);
    void finishReply(const QString &sessionId, const QString &text, bool aborted);
    QString nextItemId(const char *kind);

    const DemoProjectFiles &m_files;
    Options m_options;
    std::function<bool(const QString &)> m_canSend;
    DemoSessions m_sessions;
    QHash<QString, DemoAgentRun *> m_runs;
    int m_items = 0;
};

} // namespace tessel::demo
