#pragma once

#include "protocol/WireEnum.h"

#include <QString>

namespace tessel {

// The agent program that runs a session. Pickers list the cases in this order.
enum class BackendKind { codex, pi };
template<>
struct WireNames<BackendKind>
{
    static constexpr std::array<std::string_view, 2> names{"codex", "pi"};
};
// The human title ("Codex", "Pi"); presentation only, never sent.
QString displayName(BackendKind kind);

enum class SessionLifecycleState { starting, ready, running, idle, closed };
template<>
struct WireNames<SessionLifecycleState>
{
    static constexpr std::array<std::string_view, 5> names{"starting", "ready", "running", "idle", "closed"};
};

enum class SessionWorkflowState { active, done };
template<>
struct WireNames<SessionWorkflowState>
{
    static constexpr std::array<std::string_view, 2> names{"active", "done"};
};

enum class SessionSummarySource { live, saved };
template<>
struct WireNames<SessionSummarySource>
{
    static constexpr std::array<std::string_view, 2> names{"live", "saved"};
};

enum class ToolEventPhase { started, updated, completed };
template<>
struct WireNames<ToolEventPhase>
{
    static constexpr std::array<std::string_view, 3> names{"started", "updated", "completed"};
};

enum class GatewayTranscriptRole { system, user, assistant, thinking, tool, error };
template<>
struct WireNames<GatewayTranscriptRole>
{
    static constexpr std::array<std::string_view, 6> names{"system", "user", "assistant", "thinking", "tool", "error"};
};

} // namespace tessel
