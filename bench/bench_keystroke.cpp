// One keystroke in the machine name, gateway URL and token fields, from call to return, with
// 20 machines in the registry, the real Secret Service (run under scripts/with-keyring.sh) and
// a folder store. The writes an edit causes (settings file, credential store, synced
// document) happen once typing pauses; their cost is printed as "write-behind". Prints median
// and worst per field.

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

#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

constexpr int machineCount = 20;
constexpr int keystrokes = 200;

void report(const char *field, std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    std::printf("  %-13s median %6.3f ms   worst %7.3f ms   (%d keystrokes)\n", field, samples[samples.size() / 2],
                samples.back(), int(samples.size()));
}

std::vector<double> timeKeystrokes(const std::function<void(const QString &)> &type, const QString &prefix)
{
    std::vector<double> samples;
    QString text = prefix;
    for (int i = 0; i < keystrokes; ++i) {
        text += QChar(u'a' + i % 26);
        QElapsedTimer clock;
        clock.start();
        type(text);
        samples.push_back(double(clock.nsecsElapsed()) / 1e6);
        QCoreApplication::processEvents();
    }
    return samples;
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
    std::printf("Keystroke to return, %d machines, Secret Service and folder store\n", machineCount);
    report("name", timeKeystrokes([&](const QString &text) { model.updateSelectedMachineName(text); }, u"Box "_s));
    report("gateway URL",
           timeKeystrokes([&](const QString &text) { model.updateSelectedGatewayURL(text); }, u"ws://"_s));
    report("token", timeKeystrokes([&](const QString &text) { model.updateSelectedGatewayToken(text); }, u"t"_s));
    // What the keystrokes left to write (settings file, one token, synced document), done
    // once the typing pauses.
    std::vector<double> flushes;
    for (int i = 0; i < 20; ++i) {
        model.updateSelectedGatewayToken(u"flushed-%1"_s.arg(i));
        QElapsedTimer clock;
        clock.start();
        model.flushPendingWrites();
        flushes.push_back(double(clock.nsecsElapsed()) / 1e6);
    }
    report("write-behind", flushes);
    // Leave the keyring as it was found.
    for (const MachineProfile &machine : model.machines())
        secretStore.setToken(QString(), machine.id);
    return 0;
}
