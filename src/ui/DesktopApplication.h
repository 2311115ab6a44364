#pragma once

#include "app/ProcessInfo.h"

#include <QObject>
#include <QSettings>

#include <memory>

namespace tessel {

class DesktopPOCScreenshotExporter;
class DesktopServices;
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
// application re-reads tokens and sync, and the screenshot export starts when the window is
// first shown.
class DesktopApplication : public QObject
{
    Q_OBJECT

public:
    static constexpr auto organizationName = "Tessel";
    static constexpr auto applicationName = "TesselDesktopPOC";
    static constexpr auto desktopFileName = "dev.tessel.TesselDesktop";

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

    ProcessInfo m_processInfo;
    QSettings m_settings;
    SecretServiceProbe *m_probe = nullptr;
    std::unique_ptr<UserDefaultsTesselSettingsLocalStore> m_settingsStore;
    std::unique_ptr<GatewaySecretStore> m_secretStore;
    std::unique_ptr<FolderKeyValueStore> m_keyValueStore;
    std::unique_ptr<TesselSettingsSyncService> m_syncService;
    std::unique_ptr<TesselDesktopPOCModel> m_model;
    std::unique_ptr<MainWindow> m_window;
    // Drafts kept across restarts and turn notifications; none in the screenshot export.
    std::unique_ptr<DesktopServices> m_desktopServices;
    DesktopPOCScreenshotExporter *m_exporter = nullptr;
};

} // namespace tessel
