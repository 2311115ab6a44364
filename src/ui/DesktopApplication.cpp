#include "ui/DesktopApplication.h"

#include "BuildInfo.h"
#include "app/TesselDesktopPOCModel.h"
#include "export/DesktopPOCScreenshotExporter.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceProbe.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"
#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/TerminationSignalNotifier.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QApplication>
#include <QCommandLineParser>

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
    parser.addPositionalArgument(u"mode"_s,
                                 u"UITestsMockFiles, UITestsMockChat or UITestsMockFileConflict: answer file "
                                 "requests from an in-memory project."_s,
                                 u"[mode...]"_s);
    parser.process(app);
}

// --help and --version print and exit, so they need no display.
bool asksForTextOnly(int argc, char *argv[])
{
    for (int index = 1; index < argc; ++index) {
        const QByteArrayView argument(argv[index]);
        if (argument == "--help" || argument == "-h" || argument == "--help-all" || argument == "--version" ||
            argument == "-v")
            return true;
    }
    return false;
}

} // namespace

int DesktopApplication::run(int argc, char *argv[], const std::function<void(DesktopApplication &)> &whenStarted)
{
    describeApplication();
    if (asksForTextOnly(argc, argv)) {
        QCoreApplication app(argc, argv);
        parseCommandLine(app);
    }
    installPlatformMessageFilter();
    QApplication app(argc, argv);
    QApplication::setApplicationDisplayName(u"Tessel Desktop POC"_s);
    QGuiApplication::setDesktopFileName(QString::fromLatin1(desktopFileName));
    parseCommandLine(app);

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
    // The window's views hold the model: they go first.
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
