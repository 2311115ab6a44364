#pragma once

#include "protocol/GatewayClientEnvelope.h"

#include <QByteArrayView>
#include <QString>

#include <optional>

namespace tessel::demo {

// Reads a client request strictly: an object with a string `type`; every other known key
// may be missing or null, and a present one must have the right JSON type (an unknown
// backend fails). Unknown keys are ignored.
std::optional<GatewayClientEnvelope> decodeClientEnvelope(QByteArrayView frame, QString *error);

} // namespace tessel::demo
