#include "DemoChat.h"

#include "DemoAgentRun.h"
#include "DemoProjectFiles.h"
#include "DemoReply.h"

#include <QRegularExpression>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace tessel::demo {

namespace {

// Short, like a streamed token, so that a flood frame is about 120 bytes.
const QString floodPiece = u"tokens. "_s;

QStringList words(const QString &text)
{
    QStringList pieces;
    for (const QString &word : text.split(u' '))
        pieces.append(pieces.isEmpty() ? word : u' ' + word);
    return pieces;
}

} // namespace

DemoChat::DemoChat(const DemoProjectFiles &files, Options options, QObject *parent)
    : QObject(parent)
    , m_files(files)
    , m_options(std::move(options))
    , m_canSend([](const QString &) { return true; })
{ }

QList<BackendDescriptor> DemoChat::backends() const
{
    return {{BackendKind::codex, u"Codex"_s, true, std::nullopt},
            {BackendKind::pi, u"Pi"_s, !m_options.piUnavailableReason, m_options.piUnavailableReason}};
}

void DemoChat::listBackends(const GatewayClientEnvelope &request, const Reply &reply) const
{
    reply(DemoReply("backend_catalog", request.requestId).field("backends", backends()).bytes());
}

void DemoChat::listSessions(const GatewayClientEnvelope &request, const Reply &reply) const
{
    // Sessions of every backend for the directory, the requested backend's first: a client
    // may open a session of the other backend from the list.
    const auto cwd = request.cwd ? std::optional(request.cwd->trimmed()) : std::nullopt;
    QList<GatewaySessionSummary> sessions = m_sessions.list(cwd);
    std::stable_partition(sessions.begin(), sessions.end(), [&request](const GatewaySessionSummary &session) {
        return !request.backend || session.backend == *request.backend;
    });
    reply(DemoReply("session_list", request.requestId).field("sessions", sessions).bytes());
}

std::optional<QString> DemoChat::createSession(const GatewayClientEnvelope &request, const Reply &reply)
{
    const BackendKind backend = request.backend.value_or(BackendKind::codex);
    const QString cwd = request.cwd.value_or(QString()).trimmed();
    const BackendDescriptor descriptor = backends().at(int(backend));
    if (!descriptor.available) {
        reply(DemoReply::error(request.requestId, u"BACKEND_UNAVAILABLE"_s,
                               descriptor.unavailableReason.value_or(u"The backend is not available."_s)));
        return std::nullopt;
    }
    DemoSession *session = nullptr;
    bool resumed = true;
    if (request.sessionId) {
        session = m_sessions.find(*request.sessionId);
        if (!session) {
            reply(DemoReply::error(request.requestId, u"NOT_FOUND"_s, u"The requested session does not exist."_s));
            return std::nullopt;
        }
        m_sessions.makeLive(*session);
    } else if (!request.forceNew.value_or(false)) {
        session = m_sessions.liveSession(backend, cwd);
    }
    if (!session) {
        session = &m_sessions.create(backend, cwd);
        resumed = false;
    }
    const GatewaySessionSummary &summary = session->summary;
    reply(DemoReply("session_created", request.requestId)
              .field("sessionId", summary.id)
              .field("backend", summary.backend)
              .field("cwd", summary.cwd)
              .field("backendSessionId", summary.backendSessionId)
              .field("sessionName", summary.sessionName)
              .field("state", summary.state)
              .field("workflowState", summary.workflowState)
              .field("contextUsage", session->contextUsage)
              .field("transcript", session->transcript)
              .field("resumed", resumed)
              .bytes());
    return summary.id;
}

DemoSession *DemoChat::sessionFor(const GatewayClientEnvelope &request, const Reply &reply)
{
    DemoSession *session = m_sessions.find(request.sessionId.value_or(QString()));
    if (!session)
        reply(DemoReply::error(request.requestId, u"NOT_FOUND"_s, u"The requested session does not exist."_s));
    return session;
}

void DemoChat::sendMessage(const GatewayClientEnvelope &request, const Reply &reply)
{
    DemoSession *session = sessionFor(request, reply);
    if (!session)
        return;
    const QString text = request.text.value_or(QString()).trimmed();
    if (text.isEmpty()) {
        reply(DemoReply::error(request.requestId, u"BAD_REQUEST"_s, u"The message is empty."_s));
        return;
    }
    if (m_runs.contains(session->summary.id)) {
        reply(DemoReply::error(request.requestId, u"SESSION_BUSY"_s,
                               u"The agent is still answering. Abort the turn or wait for it to finish."_s));
        return;
    }
    session->transcript.append({GatewayTranscriptRole::user, u"You"_s, text, nextItemId("user"), false});
    if (!session->summary.sessionName)
        session->summary.sessionName = text.left(40);
    setState(*session, SessionLifecycleState::running);
    startReply(*session, text);
}

void DemoChat::abort(const GatewayClientEnvelope &request, const Reply &reply)
{
    DemoSession *session = sessionFor(request, reply);
    if (!session)
        return;
    if (DemoAgentRun *run = m_runs.value(session->summary.id))
        run->abort();
}

void DemoChat::resumeSession(const QString &sessionId)
{
    if (DemoAgentRun *run = m_runs.value(sessionId))
        run->resume();
}

void DemoChat::setState(DemoSession &session, SessionLifecycleState state)
{
    session.summary.state = state;
    m_sessions.touch(session);
    Q_EMIT sessionEvent(
        session.summary.id,
        DemoReply("session_status").field("sessionId", session.summary.id).field("state", state).bytes());
}

// A real tool action: the agent lists the project directory and reports it as it goes.
void DemoChat::runListingTool(DemoSession &session)
{
    const QString itemId = nextItemId("tool");
    const auto toolEvent = [&](ToolEventPhase phase, const QString &summary) {
        Q_EMIT sessionEvent(session.summary.id,
                            DemoReply("tool_event")
                                .field("sessionId", session.summary.id)
                                .field("itemId", itemId)
                                .field("toolName", "list_directory")
                                .field("phase", phase)
                                .field("summary", summary)
                                .bytes());
    };
    toolEvent(ToolEventPhase::started, u"Listing the project directory"_s);
    const auto listing = m_files.list({}, false);
    QStringList names;
    if (listing.hasValue()) {
        for (const ProjectFileEntry &entry : listing.value().entries)
            names.append(entry.name);
    }
    const QString summary = listing.hasValue() ? u"Listed %1 entries: %2"_s.arg(names.size()).arg(names.join(u", "_s))
                                               : u"Listing failed: "_s + listing.error().message();
    toolEvent(ToolEventPhase::completed, summary);
    session.transcript.append({GatewayTranscriptRole::tool, u"Tool"_s, summary, itemId, false});
}

void DemoChat::startReply(DemoSession &session, const QString &message)
{
    static const QRegularExpression floodCommand(u"^flood (\\d{1,9})$"_s);
    const auto flood = floodCommand.match(message);
    int count = 0;
    DemoAgentRun::PieceAt pieceAt;
    if (flood.hasMatch()) {
        count = flood.captured(1).toInt();
        pieceAt = [](int) { return floodPiece; };
    } else {
        runListingTool(session);
        const QStringList pieces =
            words(u"You said: \"%1\". I looked at the project directory; the tool item above lists what is there. "
                  "This is the demo gateway's scripted agent, streaming its reply piece by piece."_s.arg(message));
        count = int(pieces.size());
        pieceAt = [pieces](int index) { return pieces.at(index); };
    }
    const QString sessionId = session.summary.id;
    const auto interval = flood.hasMatch() ? std::chrono::milliseconds(0) : m_options.deltaInterval;
    auto *run = new DemoAgentRun(
        sessionId, nextItemId("assistant"), count, pieceAt, interval,
        [this, sessionId] { return m_canSend(sessionId); }, this);
    m_runs.insert(sessionId, run);
    connect(run, &DemoAgentRun::framesReady, this,
            [this, sessionId](const QByteArray &frame, int count) { Q_EMIT sessionEvent(sessionId, frame, count); });
    connect(run, &DemoAgentRun::finished, this,
            [this, sessionId](const QString &text, bool aborted) { finishReply(sessionId, text, aborted); });
    run->start();
}

void DemoChat::finishReply(const QString &sessionId, const QString &text, bool aborted)
{
    DemoAgentRun *run = m_runs.take(sessionId);
    DemoSession *session = m_sessions.find(sessionId);
    const QString itemId = run->itemId();
    run->deleteLater();
    Q_EMIT sessionEvent(sessionId,
                        DemoReply("assistant_complete")
                            .field("sessionId", sessionId)
                            .field("itemId", itemId)
                            .field("text", text)
                            .bytes());
    const QString body = aborted ? text + u"\n\n(aborted)"_s : text;
    session->transcript.append(
        {GatewayTranscriptRole::assistant, displayName(session->summary.backend), body, itemId, false});
    // Roughly four characters per token, as the agents count them.
    GatewaySessionContextUsage &usage = session->contextUsage;
    usage.usedTokens = qMin(usage.totalTokens, usage.usedTokens + 1000 + text.size() / 4);
    Q_EMIT sessionEvent(sessionId,
                        DemoReply("session_metadata")
                            .field("sessionId", sessionId)
                            .field("backendSessionId", session->summary.backendSessionId)
                            .field("sessionName", session->summary.sessionName)
                            .field("workflowState", session->summary.workflowState)
                            .field("contextUsage", usage)
                            .bytes());
    setState(*session, SessionLifecycleState::idle);
}

QString DemoChat::nextItemId(const char *kind)
{
    return QString::fromLatin1(kind) + u'-' + QString::number(++m_items);
}

} // namespace tessel::demo
