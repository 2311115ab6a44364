#include "storage/TesselSharedSettingsIdentifiers.h"

#include "BuildInfo.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel::TesselSharedSettingsIdentifiers {

QString gatewayTokenService()
{
    return u"org.tessel.TesselShell.gateway-token"_s;
}

std::optional<QString> currentKeychainAccessGroup()
{
    return currentKeychainAccessGroup(QString::fromUtf8(buildinfo::keychainAccessGroup));
}

std::optional<QString> currentKeychainAccessGroup(const QString &configuredValue)
{
    const QString trimmed = configuredValue.trimmed();
    if (trimmed.isEmpty())
        return std::nullopt;
    return trimmed;
}

} // namespace tessel::TesselSharedSettingsIdentifiers
