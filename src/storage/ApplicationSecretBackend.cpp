#include "storage/ApplicationSecretBackend.h"

#include "storage/SecretServiceBackend.h"

#include <QDir>
#include <QFileInfo>

namespace tessel {

namespace {

const char *describe(SecretServiceAvailability availability)
{
    switch (availability) {
    case SecretServiceAvailability::available: break;
    case SecretServiceAvailability::noSessionBus: return "there is no session bus";
    case SecretServiceAvailability::noProvider: return "no Secret Service is installed";
    case SecretServiceAvailability::providerNotResponding: return "the Secret Service does not answer";
    case SecretServiceAvailability::noDefaultCollection: return "the Secret Service has no default keyring";
    case SecretServiceAvailability::providerError: return "the Secret Service answered with an error";
    }
    return "";
}

// Moving a file into itself would empty it and then delete it.
bool isSameFile(const QString &first, const QString &second)
{
    const QString canonical = QFileInfo(first).canonicalFilePath();
    return QDir::cleanPath(first) == QDir::cleanPath(second) ||
        (!canonical.isEmpty() && canonical == QFileInfo(second).canonicalFilePath());
}

} // namespace

GatewaySecretStoreBackend applicationSecretBackend(SecretServiceAvailability availability,
                                                   const FallbackTokenFiles &files)
{
    const OwnerOnlyFileSecretBackend current(files.current);
    const OwnerOnlyFileSecretBackend earlier(files.earlier);
    if (availability == SecretServiceAvailability::available) {
        GatewaySecretStoreBackend keyring = SecretServiceBackend::make();
        // The earlier file can only be newer than the current one (this version empties it at
        // every start), so it goes last and wins where both hold an item.
        current.moveItemsInto(keyring);
        earlier.moveItemsInto(keyring);
        return keyring;
    }
    if (!isSameFile(files.earlier, files.current))
        earlier.moveItemsInto(current.backend());
    qWarning("Gateway tokens are kept in %s, readable only by you, because %s.", qPrintable(files.current),
             describe(availability));
    return current.backend();
}

} // namespace tessel
