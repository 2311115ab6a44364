#pragma once

#include "storage/GatewaySecretStoreConfiguration.h"

#include <QByteArray>

#include <functional>
#include <optional>

namespace tessel {

// Access to one credential store, addressed by (account, location). Every function is
// self-contained (no shared state beyond the store itself), so any thread may call it.
// Failures are not reported beyond the results: a failed read is an absent token.
struct GatewaySecretStoreBackend
{
    std::function<std::optional<QString>(const QString &account, const GatewaySecretStoreConfiguration &)> readToken;
    // True when the item now holds the token (updated in place or newly added).
    std::function<bool(const QString &token, const QString &account, const GatewaySecretStoreConfiguration &)>
        upsertToken;
    std::function<void(const QString &account, const GatewaySecretStoreConfiguration &)> removeToken;
};

// Tokens are stored as UTF-8; stored bytes that are not valid UTF-8 count as no token.
std::optional<QString> tokenFromStoredBytes(const QByteArray &bytes);

} // namespace tessel
