#include "connection/GatewayURL.h"

namespace tessel {

std::optional<QUrl> parseGatewayURL(const QString &text)
{
    const QString trimmed = text.trimmed();
    const QUrl url(trimmed, QUrl::StrictMode);
    if (trimmed.isEmpty() || !url.isValid())
        return std::nullopt;
    return url;
}

} // namespace tessel
