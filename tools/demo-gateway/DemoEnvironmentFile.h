#pragma once

#include <QString>

namespace tessel::demo {

// The first line of a file this gateway wrote, so that scripts can tell it from a real
// gateway's file, which they must leave alone.
constexpr auto environmentFileMarker = "# Written by tessel-demo-gateway";

// Announces the gateway on this computer the way a real one does: TESSEL_AUTH_TOKEN and
// TESSEL_PORT in `.config/tessel-gateway/gateway.env` under `home`, readable by the owner
// only. Returns the file's path, or an empty string with the reason in `error`.
QString writeEnvironmentFile(const QString &home, const QString &token, quint16 port, QString *error);

} // namespace tessel::demo
