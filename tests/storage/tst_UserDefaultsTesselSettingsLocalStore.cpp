#include "protocol/JsonCodec.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

class tst_UserDefaultsTesselSettingsLocalStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    const TesselSettingsLocalStoreConfiguration m_keys = TesselSettingsLocalStoreConfiguration::application();

    QString settingsPath() const { return m_dir.filePath(u"settings.ini"_s); }
    UserDefaultsTesselSettingsLocalStore store() { return {*m_settings, m_keys}; }

    static MachineProfile machine(const QString &name, const QString &token)
    {
        return {
            QUuid::createUuid(), name, u"ws://host:4821"_s, token, {{QUuid::createUuid(), u"app"_s, u"/srv/app"_s}}};
    }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        m_settings.reset(); // flushes, so remove afterwards
        QFile::remove(settingsPath());
        m_settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
    }

    void cleanDatabaseLoadsOneLocalMachineWithoutProjects()
    {
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot.machines.size(), 1);
        const StoredMachineProfile &machine = loaded.snapshot.machines.first();
        QCOMPARE(machine.name, u"Local Machine"_s);
        QVERIFY(machine.gatewayURL.isEmpty());
        QVERIFY(machine.projects.isEmpty());
        QVERIFY(loaded.migratedGatewayTokensByMachineID.isEmpty());
        QVERIFY(loaded.snapshot.projectWorkspaceTabs.isEmpty());
    }

    void oldestKeysMigrateKeepingTrailingSlashAndUntrimmedToken()
    {
        m_settings->setValue(m_keys.legacy.gatewayURL, u"ws://127.0.0.1:4821"_s);
        m_settings->setValue(m_keys.legacy.gatewayToken, u"secret\n"_s);
        m_settings->setValue(m_keys.legacy.cwd, u"/Users/dev/work/"_s);
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot.machines.size(), 1);
        const StoredMachineProfile &machine = loaded.snapshot.machines.first();
        QCOMPARE(machine.gatewayURL, u"ws://127.0.0.1:4821"_s);
        QCOMPARE(machine.projects.size(), 1);
        QCOMPARE(machine.projects.first().name, u"work"_s);
        QCOMPARE(machine.projects.first().directory, u"/Users/dev/work/"_s);
        QCOMPARE(loaded.migratedGatewayTokensByMachineID.value(machine.id), u"secret\n"_s);
    }

    void oldestKeysWithBlankDirectoryAndTokenGiveNoProjectAndNoToken()
    {
        m_settings->setValue(m_keys.legacy.gatewayToken, u"  \n"_s);
        m_settings->setValue(m_keys.legacy.cwd, u"   "_s);
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot.machines.size(), 1);
        QVERIFY(loaded.snapshot.machines.first().projects.isEmpty());
        QVERIFY(loaded.migratedGatewayTokensByMachineID.isEmpty());

        m_settings->setValue(m_keys.legacy.cwd, u"///"_s);
        QCOMPARE(store().load().snapshot.machines.first().projects.first().name, u"Default Project"_s);
    }

    void corruptRegistryFallsBackToOlderRegistryAndItsTokens()
    {
        const QList<MachineProfile> older{machine(u"a"_s, u"token-a"_s), machine(u"b"_s, QString())};
        m_settings->setValue(m_keys.machineRegistry, QByteArray("{not json"));
        m_settings->setValue(m_keys.legacy.machines, encodeJson(older));
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(
            loaded.snapshot.machines,
            (QList<StoredMachineProfile>{StoredMachineProfile::from(older[0]), StoredMachineProfile::from(older[1])}));
        QCOMPARE(loaded.migratedGatewayTokensByMachineID.size(), 2);
        QCOMPARE(loaded.migratedGatewayTokensByMachineID.value(older[0].id), u"token-a"_s);
        QVERIFY(loaded.migratedGatewayTokensByMachineID.contains(older[1].id));
        // Undecodable data stays until a save replaces it.
        QCOMPARE(m_settings->value(m_keys.machineRegistry).toByteArray(), QByteArray("{not json"));
    }

    void olderRegistryWithDuplicateIdsStillLoads()
    {
        MachineProfile first = machine(u"a"_s, u"one"_s);
        MachineProfile second = first;
        second.gatewayToken = u"two"_s;
        m_settings->setValue(m_keys.legacy.machines, encodeJson(QList<MachineProfile>{first, second}));
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot.machines.size(), 2);
        QCOMPARE(loaded.migratedGatewayTokensByMachineID.value(first.id), u"two"_s);
    }

    void unreadableRegistriesFallBackToOneLocalMachine_data()
    {
        QTest::addColumn<QVariant>("registry");
        QTest::addColumn<QVariant>("olderRegistry");
        QTest::newRow("absent") << QVariant() << QVariant();
        QTest::newRow("binary junk") << QVariant(QByteArray("\x00\xff\xfe[", 4)) << QVariant(QByteArray("\x01\x02"));
        QTest::newRow("wrong JSON shape") << QVariant(QByteArray(R"({"id":1})")) << QVariant(QByteArray("[{}]"));
        QTest::newRow("strings, not bytes") << QVariant(u"[]"_s) << QVariant(u"[]"_s);
        QTest::newRow("machine without token key")
            << QVariant(QByteArray("[1]"))
            << QVariant(QByteArray(
                   R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"","gatewayURL":"","projects":[]}])"));
    }

    void unreadableRegistriesFallBackToOneLocalMachine()
    {
        QFETCH(QVariant, registry);
        QFETCH(QVariant, olderRegistry);
        if (registry.isValid())
            m_settings->setValue(m_keys.machineRegistry, registry);
        if (olderRegistry.isValid())
            m_settings->setValue(m_keys.legacy.machines, olderRegistry);
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot.machines.size(), 1);
        QCOMPARE(loaded.snapshot.machines.first().name, u"Local Machine"_s);
    }

    void currentRegistryWinsOverOlderLayouts()
    {
        const StoredMachineProfile current = StoredMachineProfile::from(machine(u"current"_s, QString()));
        m_settings->setValue(m_keys.machineRegistry, encodeJson(QList<StoredMachineProfile>{current}));
        m_settings->setValue(m_keys.legacy.machines, encodeJson(QList<MachineProfile>{machine(u"old"_s, u"t"_s)}));
        m_settings->setValue(m_keys.legacy.gatewayToken, u"oldest"_s);
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot.machines, QList<StoredMachineProfile>{current});
        QVERIFY(loaded.migratedGatewayTokensByMachineID.isEmpty());
    }

    void saveWritesTheRegistryRemovesLegacyKeysAndSurvivesReopening()
    {
        for (const QString &key :
             {m_keys.legacy.machines, m_keys.legacy.gatewayURL, m_keys.legacy.gatewayToken, m_keys.legacy.cwd})
            m_settings->setValue(key, u"x"_s);
        LocalSettingsSnapshot snapshot;
        snapshot.machines = {StoredMachineProfile::from(machine(u"a"_s, u"t"_s)),
                             StoredMachineProfile::from(machine(QString(), QString()))};
        snapshot.projectWorkspaceTabs = {{u"p1"_s, u"files"_s}, {u"ü \"q\""_s, u"chat"_s}};
        store().save(snapshot);

        QCOMPARE(m_settings->value(m_keys.machineRegistry).toByteArray(), encodeJson(snapshot.machines));
        m_settings.reset();
        m_settings = std::make_unique<QSettings>(settingsPath(), QSettings::IniFormat);
        for (const QString &key :
             {m_keys.legacy.machines, m_keys.legacy.gatewayURL, m_keys.legacy.gatewayToken, m_keys.legacy.cwd})
            QVERIFY2(!m_settings->contains(key), qPrintable(key));
        const LocalSettingsLoadResult loaded = store().load();
        QCOMPARE(loaded.snapshot, snapshot);
        QVERIFY(loaded.migratedGatewayTokensByMachineID.isEmpty());
        QCOMPARE(m_settings->value(m_keys.projectLastOpenedFiles).toByteArray(), QByteArray("{}"));
    }

    void mapKeyHoldingAnythingButAStringObjectLoadsEmpty_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::newRow("array") << QByteArray(R"(["a","b"])");
        QTest::newRow("non-string value") << QByteArray(R"({"a":1})");
        QTest::newRow("not JSON") << QByteArray("\xff\xfe");
    }

    void mapKeyHoldingAnythingButAStringObjectLoadsEmpty()
    {
        QFETCH(QByteArray, stored);
        m_settings->setValue(m_keys.projectWorkspaceTabs, stored);
        m_settings->setValue(m_keys.projectLastOpenedFiles, QByteArray(R"({"a":"b"})"));
        const LocalSettingsLoadResult loaded = store().load();
        QVERIFY(loaded.snapshot.projectWorkspaceTabs.isEmpty());
        QCOMPARE(loaded.snapshot.projectLastOpenedFiles, (QMap<QString, QString>{{u"a"_s, u"b"_s}}));
    }
};

QTEST_GUILESS_MAIN(tst_UserDefaultsTesselSettingsLocalStore)
#include "tst_UserDefaultsTesselSettingsLocalStore.moc"
