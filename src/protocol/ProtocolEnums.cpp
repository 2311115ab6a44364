#include "protocol/ProtocolEnums.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel {

QString displayName(BackendKind kind)
{
    switch (kind) {
    case BackendKind::codex: return u"Codex"_s;
    case BackendKind::pi: return u"Pi"_s;
    }
    Q_UNREACHABLE();
    return {};
}

} // namespace tessel
