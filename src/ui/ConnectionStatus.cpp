#include "ui/ConnectionStatus.h"

#include "ui/UiStyle.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

ConnectionStatus ConnectionStatus::of(const ConnectionState &state, const QPalette &palette)
{
    switch (state.kind()) {
    case ConnectionState::Kind::disconnected: return {u"Disconnected"_s, UiStyle::secondary(palette)};
    case ConnectionState::Kind::connecting: return {u"Connecting"_s, UiStyle::orange()};
    case ConnectionState::Kind::connected: return {u"Connected"_s, UiStyle::green()};
    case ConnectionState::Kind::failed: return {u"Failed: "_s + state.failureMessage(), UiStyle::red()};
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace tessel
