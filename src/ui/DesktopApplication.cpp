#include "ui/DesktopApplication.h"

#include "BuildInfo.h"
#include "app/TesselDesktopPOCModel.h"
#include "connection/GatewayURL.h"
#include "export/DesktopPOCScreenshotExporter.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceProbe.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"
#include "ui/DesktopServices.h"
#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/TerminationSignalNotifier.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

void describeApplication()
{
    QCoreApplication::setOrganizationName(QString::fromLatin1(DesktopApplication::organizationName));
    QCoreApplication::setApplicationName(QString::fromLatin1(DesktopApplication::applicationName));
    QCoreApplication::setApplicationVersion(QString::fromUtf8(buildinfo::appVersion) + u" (build "_s +
                                            QString::fromUtf8(buildinfo::buildNumber) + u')');
}

void parseCommandLine(const QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Desktop client for tessel-gateway servers."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption({u"export-screenshots-dir"_s, u"Write screenshots of both tabs to <dir> and quit."_s, u"dir"_s});
    const QString untouched = u" Applies only while the registry is still the untouched first-start default; it is "
                              "shown, not saved or synced, until you edit the registry."_s;
    const QCommandLineOption gatewayURL(QString::fromLatin1(DesktopApplication::gatewayURLOption),
                                        u"Point the machine at the gateway <url> (ws://host:port)."_s + untouched,
                                        u"url"_s);
    const QCommandLineOption projectDirectory(QString::fromLatin1(DesktopApplication::projectDirectoryOption),
                                              u"Point the project at <dir> on the gateway's computer."_s + untouched,
                                              u"dir"_s);
    parser.addOptions({gatewayURL, projectDirectory});
    parser.addPositionalArgument(u"mode"_s,
                                 u"UITestsMockFiles, UITestsMockChat or UITestsMockFileConflict: answer file "
                                 "requests from an in-memory project."_s,
                                 u"[mode...]"_s);
    parser.process(app);
    const auto refuse = [](const QString &message) {
        std::fprintf(stderr, "%s\n", qPrintable(message));
        std::exit(2);
    };
    if (parser.isSet(gatewayURL) && !parseGatewayURL(parser.value(gatewayURL)))
        refuse(u"--gateway-url needs a websocket URL such as ws://127.0.0.1:4821, not: "_s + parser.value(gatewayURL));
    if (parser.isSet(projectDirectory) && parser.value(projectDirectory).trimmed().isEmpty())
        refuse(u"--project-directory needs a directory."_s);
}

} // namespace

int DesktopApplication::run(int argc, char *argv[], const std::function<void(DesktopApplication &)> &whenStarted)
{
    describeApplication();
    {
        // Checked before there is a window: --help, --version and a refused option answer
        // without a display.
        QCoreApplication app(argc, argv);
        parseCommandLine(app);
    }
    installPlatformMessageFilter();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Tessel Desktop POC"_s);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopFileName));

    DesktopApplication application(ProcessInfo::current());
    application.start();
    if (whenStarted)
        whenStarted(application);
    return QApplication::exec();
}

DesktopApplication::DesktopApplication(ProcessInfo processInfo, QObject *parent)
    : QObject(parent)
    , m_processInfo(std::move(processInfo))
    , m_settings(QSettings::NativeFormat, QSettings::UserScope, QString::fromLatin1(organizationName),
                 QString::fromLatin1(applicationName))
{
    // Edits are written a moment after typing pauses; every normal way of ending writes them first.
    auto *termination = new TerminationSignalNotifier(this);
    connect(termination, &TerminationSignalNotifier::terminationRequested, this, [this] {
        saveNow();
        QCoreApplication::quit();
    });
    connect(qApp, &QCoreApplication::aboutToQuit, this, &DesktopApplication::saveNow);
    connect(qGuiApp, &QGuiApplication::commitDataRequest, this, &DesktopApplication::saveNow);
}

DesktopApplication::~DesktopApplication()
{
    // The window's views hold the model: they go first, after what reads them.
    m_desktopServices.reset();
    m_window.reset();
}

std::optional<QString> DesktopApplication::option(const char *name) const
{
    return m_processInfo.optionValue(u"--"_s + QString::fromLatin1(name));
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

void DesktopApplication::saveNow()
{
    if (m_model)
        m_model->flushPendingWrites();
    m_settings.sync();
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
        // After the first activation, which may have brought the synced registry.
        if (!m_exporter->runIfNeeded())
            m_model->applyLaunchDefaults(option(gatewayURLOption), option(projectDirectoryOption));
        Q_EMIT windowShown();
    });
    connect(qGuiApp, &QGuiApplication::applicationStateChanged, m_model.get(), [this](Qt::ApplicationState state) {
        if (state == Qt::ApplicationActive)
            m_model->handleScenePhaseChange(TesselDesktopPOCModel::ScenePhase::active);
    });
    m_window->show();
}

} // namespace tessel
