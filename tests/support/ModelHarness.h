#pragma once

#include "app/TesselDesktopPOCModel.h"
#include "storage/GatewaySecretStore.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "support/InMemorySecretBackend.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"

#include <QSettings>
#include <QTemporaryDir>

#include <memory>

namespace tessel::test {

class LoopbackGatewayServer;

// One installation of the application for tests: its own settings file, an in-memory
// credential store, a sync service over a folder (shared between harnesses when given)
// and a home directory, all temporary. Nothing touches the real user's files.
class ModelHarness
{
public:
    explicit ModelHarness(const QString &syncFolder = {}, const QStringList &extraArguments = {});

    // Builds the model (the start-up sequence runs here); replaces an earlier one.
    TesselDesktopPOCModel &start();
    TesselDesktopPOCModel &model() { return *m_model; }
    // Points the selected machine at `server`, connects, and waits up to 5 s for the session
    // request that follows the handshake.
    [[nodiscard]] bool connectTo(const LoopbackGatewayServer &server);

    QString settingsPath() const { return settings.fileName(); }
    // The stored token of a machine, as the model's secret store reads it.
    QString storedToken(const QUuid &machineID) const { return secretStore.token(machineID); }
    // The synced settings document in the sync folder, or none.
    QByteArray published() const
    {
        return keyValueStore.data(TesselSettingsSyncService::storeKey()).value_or(QByteArray());
    }

private:
    QTemporaryDir m_directory;

public:
    ProcessInfo processInfo;
    QSettings settings;
    UserDefaultsTesselSettingsLocalStore settingsStore;
    InMemorySecretBackend secrets;
    GatewaySecretStore secretStore;
    FolderKeyValueStore keyValueStore;
    TesselSettingsSyncService syncService;

private:
    std::unique_ptr<TesselDesktopPOCModel> m_model;
};

// The transcript as "Title: body" lines, with " …" after items still streaming.
QStringList transcriptLines(const TesselDesktopPOCModel &model);

} // namespace tessel::test
