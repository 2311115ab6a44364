#include "protocol/JsonCodec.h"
#include "protocol/UuidText.h"
#include "storage/GatewaySecretStore.h"
#include "storage/OwnerOnlyFileSecretBackend.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"

#include <QDir>
#include <QDirIterator>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

// Saving a registry the way the application does (tokens to the secret store, the rest to
// settings and the synced document) must leave no token text in the settings file or the
// sync folder, including tokens that an older settings layout still held.
class tst_TokensStayOutOfStoredSettings : public QObject
{
    Q_OBJECT

private:
    static QByteArray allBytesUnder(const QString &path)
    {
        QByteArray bytes;
        QDirIterator files(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
        while (files.hasNext()) {
            QFile file(files.next());
            if (file.open(QIODevice::ReadOnly))
                bytes += file.readAll();
        }
        return bytes;
    }

private Q_SLOTS:
    void savedRegistryHoldsNoTokenText()
    {
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString settingsPath = dir.filePath(u"settings/settings.ini"_s);
        const QString syncFolder = dir.filePath(u"sync"_s);
        const GatewaySecretStore secrets = GatewaySecretStore::forApplication(
            OwnerOnlyFileSecretBackend(dir.filePath(u"secrets/tokens.json"_s)).backend());
        const TesselSettingsLocalStoreConfiguration keys = TesselSettingsLocalStoreConfiguration::application();

        const QString legacyToken = u"legacy-token-"_s + uuidText(QUuid::createUuid());
        const MachineProfile legacyMachine{QUuid::createUuid(), u"Old box"_s, u"ws://old:4821"_s, legacyToken, {}};
        const QList<MachineProfile> machines{{QUuid::createUuid(),
                                              u"Build box"_s,
                                              u"ws://build:4821"_s,
                                              u"token-"_s + uuidText(QUuid::createUuid()),
                                              {{QUuid::createUuid(), u"app"_s, u"/srv/app"_s}}},
                                             {QUuid::createUuid(),
                                              u"Laptop"_s,
                                              u"ws://laptop:4821"_s,
                                              u" spaced-token-"_s + uuidText(QUuid::createUuid()),
                                              {}}};
        {
            QSettings settings(settingsPath, QSettings::IniFormat);
            settings.setValue(keys.legacy.machines, encodeJson(QList{legacyMachine}));
            settings.setValue(keys.legacy.gatewayToken, legacyToken);
        }

        QSettings settings(settingsPath, QSettings::IniFormat);
        UserDefaultsTesselSettingsLocalStore localStore(settings, keys);
        const LocalSettingsLoadResult loaded = localStore.load();
        for (auto token = loaded.migratedGatewayTokensByMachineID.cbegin();
             token != loaded.migratedGatewayTokensByMachineID.cend(); ++token)
            secrets.setToken(token.value(), token.key());

        LocalSettingsSnapshot snapshot;
        SyncedSettingsState document;
        document.updatedAt = ReferenceDate::now();
        document.writer = SyncedWriterInfo::current();
        for (const MachineProfile &machine : machines) {
            secrets.setToken(machine.gatewayToken, machine.id);
            snapshot.machines.append(StoredMachineProfile::from(machine));
            document.machines.append(SyncedMachineProfile::from(machine));
        }
        localStore.save(snapshot);
        FolderKeyValueStore syncStore(syncFolder);
        TesselSettingsSyncService(syncStore).push(document);

        const QByteArray settingsBytes = allBytesUnder(QFileInfo(settingsPath).absolutePath());
        const QByteArray syncBytes = allBytesUnder(syncFolder);
        // The registry itself did reach both places, so the absence below means something.
        QVERIFY(settingsBytes.contains("Build box") && syncBytes.contains("Build box"));
        QVERIFY(!settingsBytes.contains("Old box"));
        for (const QString &token : {legacyToken, machines[0].gatewayToken, machines[1].gatewayToken.trimmed()}) {
            QVERIFY2(!settingsBytes.contains(token.toUtf8()), qPrintable(token));
            QVERIFY2(!syncBytes.contains(token.toUtf8()), qPrintable(token));
        }
        QCOMPARE(secrets.token(legacyMachine.id), legacyToken);
        QCOMPARE(secrets.token(machines[1].id), machines[1].gatewayToken.trimmed());
    }
};

QTEST_GUILESS_MAIN(tst_TokensStayOutOfStoredSettings)
#include "tst_TokensStayOutOfStoredSettings.moc"
