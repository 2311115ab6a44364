#pragma once

#include "storage/LocalSettingsSnapshot.h"
#include "storage/TesselSettingsLocalStoreConfiguration.h"

#include <optional>

class QSettings;

namespace tessel {

// Reads and writes the machine registry in the settings database, migrating two older
// layouts on load. Nothing here raises or reports an error: unreadable data falls back
// (to the next source, or to an empty map) and stays in place until the next save.
// Tokens are never written here; only the legacy migration reads them.
class UserDefaultsTesselSettingsLocalStore
{
public:
    // `settings` is not owned and must outlive the store; the model shares it for its own keys.
    UserDefaultsTesselSettingsLocalStore(QSettings &settings, TesselSettingsLocalStoreConfiguration configuration);

    LocalSettingsLoadResult load() const;
    // Writes the registry and both maps, removes the legacy keys and flushes to disk.
    void save(const LocalSettingsSnapshot &snapshot);

    const TesselSettingsLocalStoreConfiguration &configuration() const { return m_configuration; }

private:
    struct LoadedMachines
    {
        QList<StoredMachineProfile> machines;
        QMap<QUuid, QString> migratedGatewayTokensByMachineID;
    };

    LoadedMachines loadMachines() const;
    std::optional<LoadedMachines> loadCurrentRegistry() const;
    std::optional<LoadedMachines> loadLegacyRegistry() const;
    LoadedMachines loadOldestSingleMachine() const;
    QMap<QString, QString> loadDictionary(const QString &key) const;
    void saveDictionary(const QMap<QString, QString> &map, const QString &key);
    std::optional<QByteArray> bytesValue(const QString &key) const;
    QString stringValue(const QString &key) const;

    QSettings &m_settings;
    TesselSettingsLocalStoreConfiguration m_configuration;
};

} // namespace tessel
