#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tessel {

// The websocket URL a gateway URL field holds: trimmed of white space and newlines, then
// parsed strictly. Nothing when nothing is left or the text is not a URL.
std::optional<QUrl> parseGatewayURL(const QString &text);

} // namespace tessel
