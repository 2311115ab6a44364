#pragma once

#include "protocol/GatewayProtocolValues.h"

#include <QList>
#include <QString>

#include <optional>

namespace tessel {

// Texts the model derives for the window from gateway state.

// "950 / 200k", "12.3k / 1m"; nothing without usage or with a total of zero or less.
std::optional<QString> contextUsageText(const std::optional<GatewaySessionContextUsage> &usage);

// A token count as the usage line shows it: plain below 1,000, else one decimal of k or m
// with every ".0" dropped (1000 is "1k", 999999 is "1000k").
QString formatTokenCount(qint64 count);

// How the gateway's catalog describes `backend`; nothing when it does not list it.
std::optional<QString> backendAvailabilityText(const QList<BackendDescriptor> &catalog, BackendKind backend);

} // namespace tessel
