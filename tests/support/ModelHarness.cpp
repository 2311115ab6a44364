#include "support/ModelHarness.h"

#include "support/LoopbackGatewayServer.h"

#include <QDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

namespace {

QString folderIn(const QTemporaryDir &directory, const QString &name)
{
    const QString path = directory.filePath(name);
    QDir().mkpath(path);
    return path;
}

} // namespace

ModelHarness::ModelHarness(const QString &syncFolder, const QStringList &extraArguments)
    : processInfo{QStringList{u"tessel-desktop"_s} + extraArguments,
                  QProcessEnvironment(),
                  folderIn(m_directory, u"home"_s),
                  {u"tessel-test-host"_s}}
    , settings(m_directory.filePath(u"settings.ini"_s), QSettings::IniFormat)
    , settingsStore(settings, TesselSettingsLocalStoreConfiguration::application())
    , secretStore(GatewaySecretStore::forApplication(secrets.backend()))
    , keyValueStore(syncFolder.isEmpty() ? folderIn(m_directory, u"sync"_s) : syncFolder)
    , syncService(keyValueStore)
{ }

TesselDesktopPOCModel &ModelHarness::start()
{
    m_model.reset();
    m_model = std::make_unique<TesselDesktopPOCModel>(processInfo, settings, settingsStore, secretStore, syncService);
    return *m_model;
}

bool ModelHarness::connectTo(const LoopbackGatewayServer &server)
{
    const qsizetype requests = server.framesOfType(u"session_create"_s).size();
    m_model->updateSelectedGatewayURL(server.url().toString());
    m_model->connect();
    return QTest::qWaitFor([&] { return server.framesOfType(u"session_create"_s).size() > requests; }, 5000);
}

QStringList transcriptLines(const TesselDesktopPOCModel &model)
{
    QStringList lines;
    for (const auto &item : model.transcript()->items())
        lines << item.title + u": "_s + item.body + (item.isStreaming ? u" …"_s : QString());
    return lines;
}

} // namespace tessel::test
