#include "protocol/UuidText.h"
#include "storage/GatewaySecretStore.h"
#include "storage/LocalGatewaySecretSync.h"
#include "storage/TesselSharedSettingsIdentifiers.h"
#include "support/DataRow.h"
#include "support/InMemorySecretBackend.h"
#include "support/TestFiles.h"

#include <QHostInfo>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;
namespace discovery = tessel::LocalGatewaySecretSync;

namespace {

const QString service = u"test.TesselShell.gateway-token"_s;
const QString group = u"TEAM.shared"_s;

GatewaySecretStoreConfiguration location(std::optional<QString> accessGroup, bool synchronizable)
{
    return {service, std::move(accessGroup), synchronizable};
}

// "token:port", or empty for no configuration.
QString text(const std::optional<LocalGatewayEnvironmentConfiguration> &configuration)
{
    return configuration ? configuration->authToken + u':' + QString::number(configuration->port) : QString();
}

} // namespace

// Where gateway tokens are kept, and how the local gateway's token is found and stored.
class tst_GatewayTokens : public QObject
{
    Q_OBJECT

    test::InMemorySecretBackend m_memory;
    const QUuid m_machine = QUuid::createUuid();
    const QString m_account = uuidText(m_machine);

    GatewaySecretStore store(const QString &accessGroup, const QString &legacyGroup = {})
    {
        return {service, accessGroup, true, legacyGroup, m_memory.backend()};
    }

private Q_SLOTS:
    void init() { m_memory = {}; }

    void buildsOrderedDeduplicatedLocationLists()
    {
        const GatewaySecretStore shared = store(u"  TEAM.shared \n"_s);
        QCOMPARE(shared.preferredWriteConfigurations(),
                 (QList{location(group, true), location(group, false), location(std::nullopt, false)}));
        QCOMPARE(shared.readConfigurations(), (QList{location(group, true), location(group, false),
                                                     location(std::nullopt, true), location(std::nullopt, false)}));
        const GatewaySecretStore local = store(u" \n\t"_s);
        QCOMPARE(local.preferredWriteConfigurations(), (QList{location(std::nullopt, true), location(std::nullopt, false)}));
        QCOMPARE(local.readConfigurations(), local.preferredWriteConfigurations());
        QVERIFY(shared.isUsingSharedAccessGroup() && !local.isUsingSharedAccessGroup());
        // Stored items are found by this name; changing it would lose every saved token.
        QVERIFY(TesselSharedSettingsIdentifiers::gatewayTokenService().endsWith(u".TesselShell.gateway-token"_s));

        // An earlier build's group is read, and its token moved out, but never written.
        const GatewaySecretStore legacy = store({}, u" old.group "_s);
        QVERIFY(!legacy.preferredWriteConfigurations().contains(location(u"old.group"_s, false)));
        m_memory.put(m_account, location(u"old.group"_s, false), "legacy");
        QCOMPARE(legacy.token(m_machine), u"legacy"_s);
        QCOMPARE(m_memory.locations(m_account), QList{location(std::nullopt, true)});
    }

    // Locations are numbered in reading order: 0 group and synchronizable, 1 group, 2 no group
    // and synchronizable, 3 no group. Items read "number=token", comma-separated; "bad" is not UTF-8.
    void tokenRules_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("refusing");
        QTest::addColumn<QString>("set"); // "-" only reads
        QTest::addColumn<QString>("token");
        QTest::addColumn<QString>("remaining");
        QTest::addColumn<int>("writes");
        row("lesser copies move to the best place", "3=abc,2=stale", "", "-", "stale", "0=stale", 1);
        row("best place is read without writing", "0=best,1=older,3=oldest", "", "-", "best", "0=best", 0);
        row("promotion falls back", "2=t", "0", "-", "t", "1=t", 1);
        row("failed promotion removes nothing", "2=t", "0,1,3", "-", "t", "2=t", 0);
        row("invalid UTF-8 is passed over", "0=bad,3=good", "", "-", "good", "0=good", 1);
        row("set stores trimmed and tidies up", "3=old", "", "  new token \n", "new token", "0=new token", 1);
        row("set blank deletes everywhere", "0=t,1=t,2=t,3=t", "", " \n ", "", "", 0);
        row("set failing everywhere keeps the old token", "0=old", "0,1,3", "new", "old", "0=old", 0);
    }
    void tokenRules()
    {
        QFETCH(QString, stored);
        QFETCH(QString, refusing);
        QFETCH(QString, set);
        QFETCH(QString, token);
        QFETCH(QString, remaining);
        QFETCH(int, writes);
        const QByteArray bad("\xc3\x28\xff", 3);
        const GatewaySecretStore shared = store(group);
        const auto places = shared.readConfigurations();
        const QString other = uuidText(QUuid::createUuid());
        m_memory.put(other, places[0], "other");
        for (const QString &item : stored.split(u',', Qt::SkipEmptyParts))
            m_memory.put(m_account, places[item.left(1).toInt()], item.mid(2) == "bad"_L1 ? bad : item.mid(2).toUtf8());
        for (const QString &place : refusing.split(u',', Qt::SkipEmptyParts))
            m_memory.refusingWrites.insert(places[place.toInt()]);

        if (set != "-"_L1)
            shared.setToken(set, m_machine);
        QCOMPARE(shared.token(m_machine), token);
        QCOMPARE(shared.token(m_machine), token); // settled: the second read moves nothing
        QCOMPARE(m_memory.writeCount, writes);
        QStringList items;
        for (int place = 0; place < places.size(); ++place) {
            if (const auto bytes = m_memory.item(m_account, places[place]))
                items << QString::number(place) + u'=' + (*bytes == bad ? u"bad"_s : QString::fromUtf8(*bytes));
        }
        QCOMPARE(items.join(u','), remaining);
        QCOMPARE(m_memory.item(other, places[0]), "other"_ba);
    }

    // One row per branch of the reader: quoting, blanks, ignored lines, the last assignment
    // winning, port bounds and digits, every kind of line break.
    void parsesEnvironmentFiles_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<QString>("expected");
        row("plain", "TESSEL_AUTH_TOKEN=abc\nTESSEL_PORT=5000\n", "abc:5000");
        row("quotes, blanks around key and value", "  TESSEL_AUTH_TOKEN =  \"a b\"  ", "a b:4821");
        row("mixed quotes stay", "TESSEL_AUTH_TOKEN=\"x'", "\"x':4821");
        row("one quote character", "TESSEL_AUTH_TOKEN=\"", "\":4821");
        row("export prefix", "export TESSEL_AUTH_TOKEN=t", "");
        row("commented", "  # TESSEL_AUTH_TOKEN=t", "");
        row("later empty token wins", "TESSEL_AUTH_TOKEN=t\nTESSEL_AUTH_TOKEN=''", "");
        row("signed port, 65535", "TESSEL_PORT=+65535\nTESSEL_AUTH_TOKEN=t", "t:65535");
        row("port out of range", "TESSEL_PORT=65536\nTESSEL_PORT=0\nTESSEL_AUTH_TOKEN=t", "t:4821");
        row("port overflow", "TESSEL_PORT=99999999999999999999\nTESSEL_AUTH_TOKEN=t", "t:4821");
        row("bad port keeps earlier", "TESSEL_PORT=6000\nTESSEL_PORT=80a\nTESSEL_AUTH_TOKEN=t", "t:6000");
        row("CRLF and other breaks", "A=1\r\nTESSEL_PORT=7000\u2028TESSEL_AUTH_TOKEN=t\u0085B=2\fC=3\vD=4\u2029",
            "t:7000");
        row("no equals sign", "TESSEL_AUTH_TOKEN\nTESSEL_AUTH_TOKEN=t=u", "t=u:4821");
    }
    void parsesEnvironmentFiles()
    {
        QFETCH(QString, file);
        QFETCH(QString, expected);
        QCOMPARE(text(discovery::parseConfiguration(file)), expected);
    }

    void loadsFromTheHomeFolderAndRejectsUnreadableFiles()
    {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        QVERIFY(test::writeFile(QDir::homePath() + u"/.config/tessel-gateway/gateway.env"_s, "TESSEL_AUTH_TOKEN=home\n"));
        QCOMPARE(text(discovery::loadConfiguration()), u"home:4821"_s);

        // Neither read without end nor waited on; not UTF-8 is no file; a long file still reads.
        const auto load = [&](const QString &name) { return text(discovery::loadConfiguration(home.filePath(name))); };
        QVERIFY(QFile::link(u"/dev/zero"_s, home.filePath(u"device.env"_s)));
        QCOMPARE(::mkfifo(QFile::encodeName(home.filePath(u"fifo.env"_s)).constData(), 0600), 0);
        QVERIFY(test::writeFile(home.filePath(u"latin1.env"_s), "TESSEL_AUTH_TOKEN=caf\xe9\n"));
        QVERIFY(test::writeFile(home.filePath(u"huge.env"_s),
                                "TESSEL_PORT=" + QByteArray(10 * 1024 * 1024, '7') + "\nTESSEL_AUTH_TOKEN=t\n"));
        for (const QString &name : {u"missing.env"_s, u".config"_s, u"device.env"_s, u"fifo.env"_s, u"latin1.env"_s})
            QVERIFY2(load(name).isEmpty(), qPrintable(name));
        QCOMPARE(load(u"huge.env"_s), u"t:4821"_s);
    }

    // This computer is named mymac.local and buildbox, with the address 192.168.1.20.
    void matchesUrlsThatPointAtThisComputer_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("matches");
        row("localhost, default port", "ws://localhost", 4821, true);
        row("localhost, other port in effect", "ws://localhost", 5000, false);
        row("IPv6 loopback", "ws://[::1]:4821", 4821, true);
        row("upper-case short name", "ws://MYMAC:4821", 4821, true);
        row("dot local for a short name", "ws://buildbox.local", 4821, true);
        row("interface address", "wss://192.168.1.20:4821/path", 4821, true);
        row("other computer", "ws://192.168.1.99:4821", 4821, false);
        row("bare word", "localhost", 4821, false);
        row("unparsable", "ws://local host:4821", 4821, false);
    }
    void matchesUrlsThatPointAtThisComputer()
    {
        QFETCH(QString, url);
        QFETCH(int, port);
        QFETCH(bool, matches);
        const QSet<QString> identifiers =
            discovery::localEndpointIdentifiers({u"mymac.local"_s, u"buildbox"_s}, {u"192.168.1.20"_s});
        QCOMPARE(discovery::matchesLocalGateway(url, port, identifiers), matches);
        const QSet<QString> system = discovery::localEndpointIdentifiers();
        QVERIFY(system.contains(u"::1"_s) && system.contains(QHostInfo::localHostName().toLower()));
    }

    void normalizesHostIdentifiers()
    {
        const auto sorted = [](const QString &value) {
            QStringList identifiers = discovery::normalizedHostIdentifiers(value).values();
            identifiers.sort();
            return identifiers.join(u' ');
        };
        QCOMPARE(sorted(u" MyMac \n"_s), u"mymac mymac.local"_s);
        QCOMPARE(sorted(u"build.example.com"_s), u"build.example.com"_s);
        QCOMPARE(sorted(u"10.0.0.7"_s), u"10.0.0.7"_s);
        QCOMPARE(sorted(u"[fe80::1%eth0]"_s), u"fe80::1"_s);
        QCOMPARE(sorted(u"[ \n]"_s), QString());
    }

    void storesTheTokenOnlyForLocalMachinesWhoseTokenDiffers()
    {
        const GatewaySecretStore shared = store(group);
        const StoredMachineProfile local{QUuid::createUuid(), u"here"_s, u"ws://127.0.0.1:5000"_s, {}};
        const StoredMachineProfile remote{QUuid::createUuid(), u"there"_s, u"ws://10.9.9.9:5000"_s, {}};
        const StoredMachineProfile alreadySet{QUuid::createUuid(), u"same"_s, u"ws://localhost:5000"_s, {}};
        shared.setToken(u"remote-token"_s, remote.id);
        shared.setToken(u"file-token"_s, alreadySet.id);
        const QList machines{local, remote, alreadySet};
        const LocalGatewayEnvironmentConfiguration file{u"file-token"_s, 5000};
        const QSet<QString> identifiers = discovery::localEndpointIdentifiers({}, {});
        QCOMPARE(discovery::matchingMachineIDs(machines, file, identifiers), (QSet{local.id, alreadySet.id}));
        QCOMPARE(discovery::synchronizeLocalGatewayToken(file, shared, machines, identifiers), QSet{local.id});
        QCOMPARE(m_memory.writeCount, 3);
        QCOMPARE(shared.token(local.id), u"file-token"_s);
        QCOMPARE(shared.token(remote.id), u"remote-token"_s);
        QVERIFY(discovery::synchronizeLocalGatewayToken(file, shared, machines, identifiers).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_GatewayTokens)
#include "tst_GatewayTokens.moc"
