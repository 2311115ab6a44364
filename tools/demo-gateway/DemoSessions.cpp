#include "DemoSessions.h"

#include "protocol/GatewayClientEnvelope.h"

#include <QDateTime>

#include <algorithm>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace tessel::demo {

DemoSession *DemoSessions::find(const QString &id)
{
    const auto found = m_sessions.find(id);
    return found == m_sessions.end() ? nullptr : &found->second;
}

DemoSession *DemoSessions::liveSession(BackendKind backend, const QString &cwd)
{
    for (auto &[id, session] : m_sessions) {
        const GatewaySessionSummary &summary = session.summary;
        if (summary.source == SessionSummarySource::live && summary.backend == backend && summary.cwd == cwd)
            return &session;
    }
    return nullptr;
}

DemoSession &DemoSessions::create(BackendKind backend, const QString &cwd)
{
    const QString id = newRequestId();
    DemoSession &session = m_sessions[id];
    GatewaySessionSummary &summary = session.summary;
    summary.id = id;
    summary.backend = backend;
    summary.cwd = cwd;
    summary.sessionKey = enumToWire(backend) + u':' + cwd;
    summary.backendSessionId = u"demo-"_s + id.left(8).toLower();
    // Not live until makeLive() has saved the session it replaces.
    summary.source = SessionSummarySource::saved;
    summary.state = SessionLifecycleState::ready;
    summary.title = u"%1 session %2"_s.arg(displayName(backend)).arg(++m_created);
    summary.subtitle = cwd;
    session.contextUsage = {0, contextWindowTokens};
    makeLive(session);
    return session;
}

void DemoSessions::makeLive(DemoSession &session)
{
    const GatewaySessionSummary &summary = session.summary;
    if (DemoSession *live = liveSession(summary.backend, summary.cwd); live && live != &session) {
        live->summary.source = SessionSummarySource::saved;
        live->summary.state = SessionLifecycleState::closed;
    }
    session.summary.source = SessionSummarySource::live;
    if (session.summary.state == SessionLifecycleState::closed)
        session.summary.state = SessionLifecycleState::ready;
    touch(session);
}

QList<GatewaySessionSummary> DemoSessions::list(const std::optional<QString> &cwd) const
{
    // Pointers are sorted rather than the summaries themselves: cheaper, and it keeps
    // GCC 12's -O3 from a false uninitialised warning on moved optionals.
    std::vector<const GatewaySessionSummary *> matching;
    for (const auto &[id, session] : m_sessions) {
        if (!cwd || session.summary.cwd == *cwd)
            matching.push_back(&session.summary);
    }
    std::stable_sort(matching.begin(), matching.end(),
                     [](const auto *a, const auto *b) { return a->lastUpdatedAt > b->lastUpdatedAt; });
    QList<GatewaySessionSummary> summaries;
    for (const GatewaySessionSummary *summary : matching)
        summaries.append(*summary);
    return summaries;
}

void DemoSessions::touch(DemoSession &session)
{
    session.summary.lastUpdatedAt = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
}

} // namespace tessel::demo
