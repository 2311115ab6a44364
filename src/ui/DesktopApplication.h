#pragma once

#include "app/ProcessInfo.h"

#include <QObject>
#include <QSettings>

#include <memory>

namespace tessel {

class DesktopPOCScreenshotExporter;
class FolderKeyValueStore;
class GatewaySecretStore;
class MainWindow;
class SecretServiceProbe;
class TesselDesktopPOCModel;
class TesselSettingsSyncService;
class UserDefaultsTesselSettingsLocalStore;
enum class SecretServiceAvailability;

// The application's wiring: the preferences, the credential store chosen by a bounded Secret
// Service probe, the sync service over the sync folder, the one model and its window. The
// window appears once the probe has answered (at most its time-out); activation of the
// application re-reads tokens and sync. When the window is first shown, the screenshot
// export starts, or else the launch options are offered to the registry.
class DesktopApplication : public QObject
{
    Q_OBJECT

public:
    static constexpr auto organizationName = "Tessel";
    static constexpr auto applicationName = "TesselDesktopPOC";
    static constexpr auto desktopFileName = "dev.tessel.TesselDesktop";
    // Launch options that point an untouched registry at a gateway and a project.
    static constexpr auto gatewayURLOption = "gateway-url";
    static constexpr auto projectDirectoryOption = "project-directory";

    explicit DesktopApplication(ProcessInfo processInfo, QObject *parent = nullptr);
    ~DesktopApplication() override;

    // Probes the Secret Service, then builds the model and shows the window.
    void start();
    MainWindow *window() const { return m_window.get(); }

Q_SIGNALS:
    // The window has been shown for the first time.
    void windowShown();

private:
    void build(SecretServiceAvailability availability);
    // The value of a launch option ("--name value" or "--name=value").
    std::optional<QString> option(const char *name) const;

    ProcessInfo m_processInfo;
    QSettings m_settings;
    SecretServiceProbe *m_probe = nullptr;
    std::unique_ptr<UserDefaultsTesselSettingsLocalStore> m_settingsStore;
    std::unique_ptr<GatewaySecretStore> m_secretStore;
    std::unique_ptr<FolderKeyValueStore> m_keyValueStore;
    std::unique_ptr<TesselSettingsSyncService> m_syncService;
    std::unique_ptr<TesselDesktopPOCModel> m_model;
    std::unique_ptr<MainWindow> m_window;
    DesktopPOCScreenshotExporter *m_exporter = nullptr;
};

} // namespace tessel
