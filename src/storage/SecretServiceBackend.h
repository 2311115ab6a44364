#pragma once

#include "storage/GatewaySecretStoreBackend.h"

namespace tessel {

// Token items in the desktop's Secret Service (gnome-keyring, KWallet...) through libsecret.
// One schema with four string attributes, always all given, because libsecret matches by
// subset: `service`, `account`, `accessGroup` ("" for none) and `synchronizable`
// ("true"/"false"), so every location is a distinct item. Storing again with the same
// attributes replaces the item. Calls block on D-Bus: use only after SecretServiceProbe
// found a provider that answers, or a hanging one stalls each call for about 25 s.
namespace SecretServiceBackend {

GatewaySecretStoreBackend make();

std::optional<QString> readToken(const QString &account, const GatewaySecretStoreConfiguration &location);
// Stores exact bytes; tests use it to put bytes that are not UTF-8 in place.
bool storeBytes(const QByteArray &bytes, const QString &account, const GatewaySecretStoreConfiguration &location);
bool upsertToken(const QString &token, const QString &account, const GatewaySecretStoreConfiguration &location);
void removeToken(const QString &account, const GatewaySecretStoreConfiguration &location);

} // namespace SecretServiceBackend

} // namespace tessel
