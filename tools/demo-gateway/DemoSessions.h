#pragma once

#include "protocol/GatewayProtocolValues.h"

#include <QList>
#include <QString>

#include <map>
#include <optional>

namespace tessel::demo {

struct DemoSession
{
    GatewaySessionSummary summary;
    QList<GatewayTranscriptItemEnvelope> transcript;
    GatewaySessionContextUsage contextUsage;
};

// The demo gateway's sessions, all in memory. At most one session per project directory
// and backend is live; the ones it replaced are kept as saved sessions and can be opened
// again, which makes them live and saves the one they replace.
class DemoSessions
{
public:
    static constexpr qint64 contextWindowTokens = 200'000;

    DemoSession *find(const QString &id);
    DemoSession *liveSession(BackendKind backend, const QString &cwd);
    // A new live session; the live one of the same directory and backend becomes saved.
    DemoSession &create(BackendKind backend, const QString &cwd);
    void makeLive(DemoSession &session);
    // Sessions of the directory (every directory when none is given), newest first.
    QList<GatewaySessionSummary> list(const std::optional<QString> &cwd) const;
    void touch(DemoSession &session);

private:
    // Keyed by id; a std::map keeps references to sessions valid while others are added.
    std::map<QString, DemoSession> m_sessions;
    int m_created = 0;
};

} // namespace tessel::demo
