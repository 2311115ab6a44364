// One keystroke in the machine name, gateway URL and token fields, from call to return, with
// 20 machines in the registry, the real Secret Service (run under scripts/with-keyring.sh) and
// a folder store. The writes an edit causes (settings file, credential store, synced
// document) happen once typing pauses; their cost is printed as "write-behind".

#include "BenchSupport.h"

#include "app/TesselDesktopPOCModel.h"
#include "storage/GatewaySecretStore.h"
#include "storage/SecretServiceBackend.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSettings>
#include <QTemporaryDir>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using namespace tessel::bench;

namespace {

constexpr int machineCount = 20;
constexpr int keystrokes = 200;

void report(const char *field, const std::vector<double> &samples)
{
    printRow(qPrintable(QString::fromLatin1(field) + u", median"_s), percentile(samples, 0.5), -1, "ms");
    printRow(qPrintable(QString::fromLatin1(field) + u", worst"_s), percentile(samples, 1), -1, "ms");
}

// Milliseconds each of `count` calls of `step` (given the call's index) takes.
std::vector<double> timed(int count, const std::function<void(int)> &step)
{
    std::vector<double> samples;
    for (int i = 0; i < count; ++i) {
        QElapsedTimer clock;
        clock.start();
        step(i);
        samples.push_back(double(clock.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    return samples;
}

// Types `keystrokes` letters after `prefix` into a field through `type`.
std::vector<double> timeKeystrokes(const std::function<void(const QString &)> &type, const QString &prefix)
{
    QString text = prefix;
    return timed(keystrokes, [&](int i) { type(text += QChar(u'a' + i % 26)); });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QTemporaryDir directory;
    QSettings settings(directory.filePath(u"settings.ini"_s), QSettings::IniFormat);
    UserDefaultsTesselSettingsLocalStore settingsStore(settings, TesselSettingsLocalStoreConfiguration::application());
    GatewaySecretStore secretStore = GatewaySecretStore::forApplication(SecretServiceBackend::make());
    FolderKeyValueStore keyValueStore(directory.filePath(u"sync"_s));
    TesselSettingsSyncService syncService(keyValueStore);
    ProcessInfo processInfo{{u"bench"_s}, {}, directory.path(), {u"bench-host"_s}};
    TesselDesktopPOCModel model(processInfo, settings, settingsStore, secretStore, syncService);

    for (int i = 1; i < machineCount; ++i) {
        model.addMachine();
        model.updateSelectedMachineName(u"Machine %1"_s.arg(i));
        model.updateSelectedGatewayURL(u"ws://host-%1:4821"_s.arg(i));
        model.updateSelectedGatewayToken(u"token-%1"_s.arg(i));
    }
    model.flushPendingWrites();
    if (model.machines().size() != machineCount || secretStore.token(model.machines().last().id) != u"token-19"_s) {
        std::fprintf(stderr, "setup failed: is a Secret Service running? (scripts/with-keyring.sh)\n");
        return 1;
    }
    printHeader("Keystroke to return, 20 machines, Secret Service and folder store; no baseline");
    report("name", timeKeystrokes([&](const QString &text) { model.updateSelectedMachineName(text); }, u"Box "_s));
    report("gateway URL",
           timeKeystrokes([&](const QString &text) { model.updateSelectedGatewayURL(text); }, u"ws://"_s));
    report("token", timeKeystrokes([&](const QString &text) { model.updateSelectedGatewayToken(text); }, u"t"_s));
    // What the keystrokes left to write (settings file, one token, synced document), done
    // once the typing pauses.
    report("write-behind", timed(20, [&](int i) {
               model.updateSelectedGatewayToken(u"flushed-%1"_s.arg(i));
               model.flushPendingWrites();
           }));
    // Leave the keyring as it was found.
    for (const MachineProfile &machine : model.machines())
        secretStore.setToken(QString(), machine.id);
    return 0;
}
