#pragma once

#include "app/ProcessInfo.h"

#include <QObject>
#include <QSettings>

#include <functional>
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
// application re-reads tokens and sync. When the window is first shown, the screenshot
// export starts, or else the launch options are offered to the registry. Edits still waiting
// to be written reach the disk when the application quits, on SIGTERM, SIGINT and SIGHUP
// (which then quit it), and when the desktop session ends. Needs the QApplication to exist.
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

    // The whole program: application names, command line (--help and --version answer
    // without a display), the QApplication, this object and the event loop; returns the exit
    // code. `whenStarted`, when given, gets the started application, so that a test program
    // can drive exactly what the real entry runs.
    static int run(int argc, char *argv[], const std::function<void(DesktopApplication &)> &whenStarted = {});

    explicit DesktopApplication(ProcessInfo processInfo, QObject *parent = nullptr);
    ~DesktopApplication() override;

    // Probes the Secret Service, then builds the model and shows the window.
    void start();
    MainWindow *window() const { return m_window.get(); }
    // Writes every pending edit and preference to disk now.
    void saveNow();

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
    // Drafts kept across restarts and turn notifications; none in the screenshot export.
    std::unique_ptr<DesktopServices> m_desktopServices;
    DesktopPOCScreenshotExporter *m_exporter = nullptr;
};

} // namespace tessel
