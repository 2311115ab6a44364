#include "protocol/JsonCodec.h"
#include "storage/MachineProfile.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QTest>

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

namespace tessel {

namespace {

const QByteArray machineJson =
    R"({"id":"0f8fad5b-d9cb-469f-a165-70867728950e","name":"Build box","gatewayURL":"ws://devbox:4821",)"
    R"("gatewayToken":"tok","projects":[{"id":"7C9E6679-7425-40DE-944B-E07FC1F90AE7","name":"","directory":"/srv/app/"}]})";

} // namespace

class tst_MachineProfile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // `place` is the machine's gateway URL, or the project's directory.
    void displayNames_data()
    {
        QTest::addColumn<bool>("isMachine");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("place");
        QTest::addColumn<QString>("shown");
        row("machine: trimmed name", true, "  Build box\n", "ws://devbox:4821", "Build box");
        row("machine: host when blank", true, " \t", "ws://devbox:4821", "devbox");
        row("machine: host with path", true, "", "wss://gw.example.org/socket", "gw.example.org");
        row("machine: bare word", true, "", "devbox", "Unnamed Machine");
        row("machine: unparsable", true, "", "ws://dev box:4821", "Unnamed Machine");
        row("machine: empty", true, "", "", "Unnamed Machine");
        row("project: trimmed name", false, " Web ", "/srv/app", "Web");
        row("project: trailing slash", false, "", "/srv/app/", "app");
        row("project: padded last piece", false, "  ", "/srv/ app ", "app");
        row("project: root", false, "", "/", "Untitled Project");
        row("project: empty", false, "", "", "Untitled Project");
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

    void encodesEveryKeyWithUpperCaseIds()
    {
        const auto machine = decodeJson<MachineProfile>(machineJson);
        QVERIFY(machine);
        QCOMPARE(decodeJson<MachineProfile>(encodeJson(*machine)), machine);
        const QJsonObject tokenless = test::parseObject(encodeJson(MachineProfile{machine->id, {}, {}, {}, {}}));
        QCOMPARE(tokenless,
                 test::parseObject(R"({"id":"0F8FAD5B-D9CB-469F-A165-70867728950E","name":"",)"
                                   R"("gatewayURL":"","gatewayToken":"","projects":[]})"));
    }

    void decodingRequiresEveryKeyAndValidIds_data()
    {
        QTest::addColumn<QByteArray>("json");
        const auto without = [](const char *from, const char *to = "") {
            return QByteArray(machineJson).replace(from, to);
        };
        row("no token", without(R"("gatewayToken":"tok",)"));
        row("no projects", machineJson.left(machineJson.indexOf(R"(,"projects")")) + "}");
        row("braced id",
            without(R"("0f8fad5b-d9cb-469f-a165-70867728950e")", R"("{0f8fad5b-d9cb-469f-a165-70867728950e}")"));
        row("short id", without("70867728950e", "7086772895"));
        row("project without directory", without(R"(,"directory":"/srv/app/")"));
        row("numeric name", without(R"("Build box")", "7"));
    }
    void decodingRequiresEveryKeyAndValidIds()
    {
        QFETCH(QByteArray, json);
        QVERIFY(!decodeJson<MachineProfile>(json));
    }

    void equalityCoversTokensAndProjects()
    {
        const auto machine = *decodeJson<MachineProfile>(machineJson);
        auto other = machine;
        other.projects[0].directory = u"/srv/other"_s;
        QVERIFY(other != machine);
        QVERIFY(MachineProfile() != MachineProfile()); // each gets a fresh id
    }

    void storedFormDropsAndRestoresTheToken()
    {
        const auto machine = *decodeJson<MachineProfile>(machineJson);
        const StoredMachineProfile stored = StoredMachineProfile::from(machine);
        const QByteArray json = encodeJson(stored);
        QCOMPARE(test::sortedKeys(json), (QStringList{u"gatewayURL"_s, u"id"_s, u"name"_s, u"projects"_s}));
        QVERIFY(!json.contains("tok"));
        const auto decoded = decodeJson<StoredMachineProfile>(json);
        QCOMPARE(decoded, stored);
        QCOMPARE(decoded->toMachineProfile(u"tok"_s), machine);
        QVERIFY(decodeJson<StoredMachineProfile>(machineJson)); // extra keys are ignored
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_MachineProfile)
#include "tst_MachineProfile.moc"
