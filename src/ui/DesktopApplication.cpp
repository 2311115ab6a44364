#include "ui/DesktopApplication.h"

#include "app/TesselDesktopPOCModel.h"
#include "export/DesktopPOCScreenshotExporter.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceProbe.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"
#include "ui/DesktopServices.h"
#include "ui/MainWindow.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QGuiApplication>

namespace tessel {

DesktopApplication::DesktopApplication(ProcessInfo processInfo, QObject *parent)
    : QObject(parent)
    , m_processInfo(std::move(processInfo))
    , m_settings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(organizationName),
                 QString::fromLatin1(applicationName))
{ }

DesktopApplication::~DesktopApplication()
{
    // The window's views hold the model: they go first, after what reads them.
    m_desktopServices.reset();
    m_window.reset();
}

void DesktopApplication::start()
{
    m_probe = new SecretServiceProbe(QDBusConnection::sessionBus(), SecretServiceProbe::defaultTimeout, this);
    connect(m_probe, &SecretServiceProbe::finished, this, [this](SecretServiceAvailability availability) {
        m_probe->deleteLater();
        m_probe = nullptr;
        build(availability);
    });
    m_probe->start();
}

void DesktopApplication::build(SecretServiceAvailability availability)
{
    m_settingsStore = std::make_unique<UserDefaultsTesselSettingsLocalStore>(
        m_settings, TesselSettingsLocalStoreConfiguration::application());
    m_secretStore = std::make_unique<GatewaySecretStore>(
        GatewaySecretStore::forApplication(applicationSecretBackend(availability)));
    m_keyValueStore = std::make_unique<FolderKeyValueStore>(FolderKeyValueStore::defaultFolder());
    m_syncService = std::make_unique<TesselSettingsSyncService>(*m_keyValueStore);
    m_model = std::make_unique<TesselDesktopPOCModel>(m_processInfo, m_settings, *m_settingsStore, *m_secretStore,
                                                      *m_syncService);
    m_exporter = new DesktopPOCScreenshotExporter(*m_model, m_settings, m_processInfo, {}, this);
    connect(m_exporter, &DesktopPOCScreenshotExporter::terminationRequested, qApp, &QCoreApplication::quit,
            Qt::QueuedConnection);

    m_window = std::make_unique<MainWindow>();
    m_window->setContent(new TesselDesktopPOCContentView(m_model.get()));
    if (!TesselDesktopPOCModel::isScreenshotExportRequested(m_processInfo))
        m_desktopServices = std::make_unique<DesktopServices>(*m_model, m_settings, m_processInfo, *m_window);
    connect(m_window.get(), &MainWindow::firstShown, this, [this] {
        m_model->handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
        m_exporter->runIfNeeded();
        Q_EMIT windowShown();
    });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, m_model.get(), [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            m_model->handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
    });
    m_window->show();
}

} // namespace tessel
