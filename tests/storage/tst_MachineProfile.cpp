#include "protocol/JsonCodec.h"
#include "storage/MachineProfile.h"
#include "support/TestJson.h"

#include <QJsonArray>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_MachineProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void machineDisplayName_data();
    void machineDisplayName();
    void projectDisplayName_data();
    void projectDisplayName();
    void encodesEveryKeyWithUpperCaseIds();
    void decodingRequiresEveryKeyAndValidIds_data();
    void decodingRequiresEveryKeyAndValidIds();
    void equalityCoversTokensAndProjects();
    void storedFormDropsAndRestoresTheToken();
};

namespace {

const QByteArray machineJson =
    R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","name":"Build box","gatewayURL":"ws://devbox:4821",)"
    R"("gatewayToken":"tok","projects":[{"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","name":"","directory":"/srv/app/"}]})";

} // namespace

void tst_MachineProfile::machineDisplayName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("shown");
    QTest::newRow("trimmed name") << u"  Build box\n"_s << u"ws://devbox:4821"_s << u"Build box"_s;
    QTest::newRow("host when blank") << u" \t"_s << u"ws://devbox:4821"_s << u"devbox"_s;
    QTest::newRow("host with path") << QString() << u"wss://gw.example.org/socket"_s << u"gw.example.org"_s;
    QTest::newRow("bare word") << QString() << u"devbox"_s << u"Unnamed Machine"_s;
    QTest::newRow("unparsable") << QString() << u"ws://dev box:4821"_s << u"Unnamed Machine"_s;
    QTest::newRow("empty") << QString() << QString() << u"Unnamed Machine"_s;
}

void tst_MachineProfile::machineDisplayName()
{
    QFETCH(QString, name);
    QFETCH(QString, url);
    QFETCH(QString, shown);
    MachineProfile machine;
    machine.name = name;
    machine.gatewayURL = url;
    QCOMPARE(machine.displayName(), shown);
}

void tst_MachineProfile::projectDisplayName_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("directory");
    QTest::addColumn<QString>("shown");
    QTest::newRow("trimmed name") << u" Web "_s << u"/srv/app"_s << u"Web"_s;
    QTest::newRow("trailing slash") << QString() << u"/srv/app/"_s << u"app"_s;
    QTest::newRow("padded last piece") << u"  "_s << u"/srv/ app "_s << u"app"_s;
    QTest::newRow("root") << QString() << u"/"_s << u"Untitled Project"_s;
    QTest::newRow("empty") << QString() << QString() << u"Untitled Project"_s;
    QTest::newRow("blank last piece") << QString() << u"/srv/   "_s << u"Untitled Project"_s;
}

void tst_MachineProfile::projectDisplayName()
{
    QFETCH(QString, name);
    QFETCH(QString, directory);
    QFETCH(QString, shown);
    ProjectProfile project;
    project.name = name;
    project.directory = directory;
    QCOMPARE(project.displayName(), shown);
}

void tst_MachineProfile::encodesEveryKeyWithUpperCaseIds()
{
    const auto machine = decodeJson<MachineProfile>(machineJson);
    QVERIFY(machine);
    MachineProfile tokenless = *machine;
    tokenless.gatewayToken.clear();
    tokenless.projects.clear();
    const QJsonObject object = test::parseObject(encodeJson(tokenless));
    QCOMPARE(object.value(u"gatewayToken"_s), QJsonValue(u""_s));
    QCOMPARE(object.value(u"projects"_s), QJsonValue(QJsonArray()));
    QCOMPARE(object.value(u"id"_s).toString(), u"0F8FAD5B-D9CB-469F-A165-70867728950E"_s);
    QCOMPARE(decodeJson<MachineProfile>(encodeJson(*machine)), machine);
}

void tst_MachineProfile::decodingRequiresEveryKeyAndValidIds_data()
{
    QTest::addColumn<QByteArray>("json");
    QTest::newRow("no token") << QByteArray(machineJson).replace(R"("gatewayToken":"tok",)", "");
    QTest::newRow("no projects") << QByteArray(machineJson).left(machineJson.indexOf(R"(,"projects")")) + "}";
    QTest::newRow("braced id") << QByteArray(machineJson)
                                      .replace(R"("0f8fad5b-d9cb-469f-a165-70867728950e")",
                                               R"("{0f8fad5b-d9cb-469f-a165-70867728950e}")");
    QTest::newRow("short id") << QByteArray(machineJson).replace("70867728950e", "7086772895");
    QTest::newRow("project without directory") << QByteArray(machineJson).replace(R"(,"directory":"/srv/app/")", "");
    QTest::newRow("numeric name") << QByteArray(machineJson).replace(R"("Build box")", "7");
}

void tst_MachineProfile::decodingRequiresEveryKeyAndValidIds()
{
    QFETCH(QByteArray, json);
    QVERIFY(!decodeJson<MachineProfile>(json));
}

void tst_MachineProfile::equalityCoversTokensAndProjects()
{
    const auto machine = *decodeJson<MachineProfile>(machineJson);
    auto other = machine;
    other.projects[0].directory = u"/srv/other"_s;
    QVERIFY(other != machine);
    other = machine;
    other.gatewayToken = u"tok2"_s;
    QVERIFY(other != machine);
    QVERIFY(MachineProfile() != MachineProfile());
}

void tst_MachineProfile::storedFormDropsAndRestoresTheToken()
{
    const auto machine = *decodeJson<MachineProfile>(machineJson);
    const StoredMachineProfile stored = StoredMachineProfile::from(machine);
    const QByteArray json = encodeJson(stored);
    QVERIFY(!json.contains("tok"));
    QCOMPARE(test::sortedKeys(json), (QStringList{u"gatewayURL"_s, u"id"_s, u"name"_s, u"projects"_s}));
    const auto decoded = decodeJson<StoredMachineProfile>(json);
    QCOMPARE(decoded, stored);
    QCOMPARE(decoded->toMachineProfile(u"tok"_s), machine);
    QVERIFY(decodeJson<StoredMachineProfile>(machineJson)); // extra keys are ignored
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_MachineProfile)
#include "tst_MachineProfile.moc"
