#include "protocol/JsonCodec.h"
#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;

namespace {

const QByteArray machineJson =
    R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","name":"Build box","gatewayURL":"ws://devbox:4821",)"
    R"("gatewayToken":"tok","projects":[{"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","name":"","directory":"/srv/app/"}]})";

} // namespace

// The machine registry: its profile types and how the settings store keeps them.
class tst_MachineRegistry : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<QSettings> m_settings;
    const TesselSettingsLocalStoreConfiguration m_keys = TesselSettingsLocalStoreConfiguration::application();

    void reopen()
    {
        m_settings.reset(); // flushes first
        m_settings = std::make_unique<QSettings>(m_dir.filePath(u"settings.ini"_s), QSettings::IniFormat);
    }
    LocalSettingsLoadResult load() { return UserDefaultsTesselSettingsLocalStore(*m_settings, m_keys).load(); }
    static MachineProfile machine(const QString &token)
    {
        return {QUuid::createUuid(), u"m"_s, u"ws://host:4821"_s, token, {{QUuid::createUuid(), u"app"_s, u"/srv"_s}}};
    }

private Q_SLOTS:
    void init()
    {
        m_settings.reset();
        QFile::remove(m_dir.filePath(u"settings.ini"_s));
        reopen();
    }

    // `place` is the machine's gateway URL, or the project's directory.
    void displayNames_data()
    {
        QTest::addColumn<bool>("isMachine");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("shown");
        row("machine: trimmed name", true, "  Build box\n", "ws://devbox:4821", "Build box");
        row("machine: host when blank", true, " \t", "ws://devbox:4821", "devbox");
        row("machine: bare word", true, "", "devbox", "Unnamed Machine");
        row("machine: unparsable", true, "", "ws://dev box:4821", "Unnamed Machine");
        row("project: trailing slash", false, "", "/srv/app/", "app");
        row("project: padded last piece", false, "  ", "/srv/ app ", "app");
        row("project: root", false, "", "/", "Untitled Project");
        row("project: blank last piece", false, "", "/srv/   ", "Untitled Project");
    }
    void displayNames()
    {
        QFETCH(bool, isMachine);
        QFETCH(QString, name);
        QFETCH(QString, place);
        QFETCH(QString, shown);
        if (isMachine)
            QCOMPARE((MachineProfile{{}, name, place, {}, {}}.displayName()), shown);
        else
            QCOMPARE((ProjectProfile{{}, name, place}.displayName()), shown);
    }

    void onlyTheFullFormCarriesTheToken()
    {
        const MachineProfile machine = decodeJson<MachineProfile>(machineJson).value();
        QCOMPARE(decodeJson<MachineProfile>(encodeJson(machine)), machine);
        // Upper-case ids; an empty token is written all the same.
        QCOMPARE(test::parseObject(encodeJson(MachineProfile{machine.id, {}, {}, {}, {}})),
                 test::parseObject(R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"",)"
                                   R"("gatewayURL":"","gatewayToken":"","projects":[]})"));
        const QByteArray stored = encodeJson(StoredMachineProfile::from(machine));
        QCOMPARE(test::sortedKeys(stored), (QStringList{u"gatewayURL"_s, u"id"_s, u"name"_s, u"projects"_s}));
        QVERIFY(!stored.contains("tok"));
        QCOMPARE(decodeJson<StoredMachineProfile>(stored).value().toMachineProfile(u"tok"_s), machine);
        QVERIFY(decodeJson<StoredMachineProfile>(machineJson)); // extra keys are ignored
        // Every key is required and ids must be whole.
        const auto without = [](const char *from, const char *to = "") { return QByteArray(machineJson).replace(from, to); };
        for (const QByteArray &json : {without(R"("gatewayToken":"tok",)"), without(R"(,"directory":"/srv/app/")"),
                                       without("70867728950e", "7086772895"),
                                       QByteArray(machineJson.left(machineJson.indexOf(R"(,"projects")")) + "}")})
            QVERIFY2(!decodeJson<MachineProfile>(json), json.constData());
    }

    void unreadableRegistriesGiveOneLocalMachine_data()
    {
        QTest::addColumn<QVariant>("registry");
        QTest::addColumn<QVariant>("olderRegistry");
        row("clean database", QVariant(), QVariant());
        row("binary junk", QVariant("\x00\xff\xfe["_ba), QVariant("\x01\x02"_ba));
        row("strings, not bytes", QVariant(u"[]"_s), QVariant(u"[]"_s));
        row("machine without token key", QVariant("[1]"_ba),
            QVariant(R"([{"id":"6F9619FF-8B86-D011-B42D-00C04FC964FF","name":"","gatewayURL":"","projects":[]}])"_ba));
    }
    void unreadableRegistriesGiveOneLocalMachine()
    {
        QFETCH(QVariant, registry);
        QFETCH(QVariant, olderRegistry);
        if (registry.isValid())
            m_settings->setValue(m_keys.machineRegistry, registry);
        if (olderRegistry.isValid())
            m_settings->setValue(m_keys.legacy.machines, olderRegistry);
        const LocalSettingsLoadResult loaded = load();
        QCOMPARE(loaded.snapshot.machines.size(), 1);
        const StoredMachineProfile &local = loaded.snapshot.machines.first();
        QCOMPARE(local.name + local.gatewayURL, u"Local Machine"_s);
        QVERIFY(local.projects.isEmpty() && loaded.migratedGatewayTokensByMachineID.isEmpty());
    }

    void oldestKeysMigrateAsTyped()
    {
        m_settings->setValue(m_keys.legacy.gatewayURL, u"ws://127.0.0.1:4821"_s);
        m_settings->setValue(m_keys.legacy.gatewayToken, u"secret\n"_s);
        m_settings->setValue(m_keys.legacy.cwd, u"/Users/dev/work/"_s);
        LocalSettingsLoadResult loaded = load();
        const StoredMachineProfile machine = loaded.snapshot.machines.value(0);
        QCOMPARE(machine.gatewayURL, u"ws://127.0.0.1:4821"_s);
        QCOMPARE(machine.projects,
                 (QList{ProjectProfile{machine.projects.value(0).id, u"work"_s, u"/Users/dev/work/"_s}}));
        QCOMPARE(loaded.migratedGatewayTokensByMachineID, (QMap<QUuid, QString>{{machine.id, u"secret\n"_s}}));

        // A blank directory and token give no project and no token; a directory of slashes a default name.
        m_settings->setValue(m_keys.legacy.gatewayToken, u"  \n"_s);
        m_settings->setValue(m_keys.legacy.cwd, u"   "_s);
        loaded = load();
        QVERIFY(loaded.snapshot.machines.value(0).projects.isEmpty() &&
                loaded.migratedGatewayTokensByMachineID.isEmpty());
        m_settings->setValue(m_keys.legacy.cwd, u"///"_s);
        QCOMPARE(load().snapshot.machines.first().projects.value(0).name, u"Default Project"_s);
    }

    void corruptRegistryFallsBackToOlderRegistryAndItsTokens()
    {
        const QList<MachineProfile> older{machine(u"token-a"_s), machine(QString())};
        m_settings->setValue(m_keys.machineRegistry, "{not json"_ba);
        m_settings->setValue(m_keys.legacy.machines, encodeJson(older));
        const LocalSettingsLoadResult loaded = load();
        QCOMPARE(loaded.snapshot.machines,
                 (QList{StoredMachineProfile::from(older[0]), StoredMachineProfile::from(older[1])}));
        QCOMPARE(loaded.migratedGatewayTokensByMachineID,
                 (QMap<QUuid, QString>{{older[0].id, u"token-a"_s}, {older[1].id, QString()}}));
        // Undecodable data stays until a save replaces it.
        QCOMPARE(m_settings->value(m_keys.machineRegistry).toByteArray(), "{not json"_ba);

        // Duplicate ids in the older registry still load; the last token wins.
        MachineProfile duplicate = older[0];
        duplicate.gatewayToken = u"two"_s;
        m_settings->setValue(m_keys.legacy.machines, encodeJson(QList{older[0], duplicate}));
        const LocalSettingsLoadResult duplicates = load();
        QCOMPARE(duplicates.snapshot.machines.size(), 2);
        QCOMPARE(duplicates.migratedGatewayTokensByMachineID.value(older[0].id), u"two"_s);
    }

    void currentRegistryWinsOverOlderLayouts()
    {
        const StoredMachineProfile current = StoredMachineProfile::from(machine(QString()));
        m_settings->setValue(m_keys.machineRegistry, encodeJson(QList{current}));
        m_settings->setValue(m_keys.legacy.machines, encodeJson(QList{machine(u"t"_s)}));
        m_settings->setValue(m_keys.legacy.gatewayToken, u"oldest"_s);
        const LocalSettingsLoadResult loaded = load();
        QCOMPARE(loaded.snapshot.machines, QList{current});
        QVERIFY(loaded.migratedGatewayTokensByMachineID.isEmpty());
    }

    void saveWritesTheRegistryRemovesLegacyKeysAndSurvivesReopening()
    {
        const QStringList legacy{m_keys.legacy.machines, m_keys.legacy.gatewayURL, m_keys.legacy.gatewayToken,
                                 m_keys.legacy.cwd};
        for (const QString &key : legacy)
            m_settings->setValue(key, u"x"_s);
        LocalSettingsSnapshot snapshot;
        snapshot.machines = {StoredMachineProfile::from(machine(u"t"_s)), StoredMachineProfile::from({})};
        snapshot.projectWorkspaceTabs = {{u"p1"_s, u"files"_s}, {u"ü \"q\""_s, u"chat"_s}};
        UserDefaultsTesselSettingsLocalStore(*m_settings, m_keys).save(snapshot);

        QCOMPARE(m_settings->value(m_keys.machineRegistry).toByteArray(), encodeJson(snapshot.machines));
        reopen();
        for (const QString &key : legacy)
            QVERIFY2(!m_settings->contains(key), qPrintable(key));
        const LocalSettingsLoadResult loaded = load();
        QCOMPARE(loaded.snapshot, snapshot);
        QVERIFY(loaded.migratedGatewayTokensByMachineID.isEmpty());
        QCOMPARE(m_settings->value(m_keys.projectLastOpenedFiles).toByteArray(), "{}"_ba);
    }

    void mapKeyHoldingAnythingButAStringObjectLoadsEmpty()
    {
        m_settings->setValue(m_keys.projectLastOpenedFiles, R"({"a":"b"})"_ba);
        for (const QByteArray &stored : {R"(["a","b"])"_ba, R"({"a":1})"_ba, "\xff\xfe"_ba}) {
            m_settings->setValue(m_keys.projectWorkspaceTabs, stored);
            const LocalSettingsLoadResult loaded = load();
            QVERIFY2(loaded.snapshot.projectWorkspaceTabs.isEmpty(), stored.constData());
            QCOMPARE(loaded.snapshot.projectLastOpenedFiles, (QMap<QString, QString>{{u"a"_s, u"b"_s}}));
        }
    }
};

QTEST_GUILESS_MAIN(tst_MachineRegistry)
#include "tst_MachineRegistry.moc"
