#pragma once

#include <QString>

#include <optional>

namespace tessel::TesselSharedSettingsIdentifiers {

// Service attribute of every gateway token item. Stored items rely on it: do not change.
QString gatewayTokenService();

// The shared access group configured at build time, trimmed; blank means none.
std::optional<QString> currentKeychainAccessGroup();
// The same rule over a given configured value (the build-time one above).
std::optional<QString> currentKeychainAccessGroup(const QString &configuredValue);

} // namespace tessel::TesselSharedSettingsIdentifiers
