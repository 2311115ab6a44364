#include "protocol/UuidText.h"
#include "storage/LocalGatewaySecretSync.h"
#include "support/InMemorySecretBackend.h"

#include <QDir>
#include <QFile>
#include <QHostInfo>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
namespace discovery = tessel::LocalGatewaySecretSync;

using OptionalConfiguration = std::optional<LocalGatewayEnvironmentConfiguration>;

namespace {

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

OptionalConfiguration configuration(const QString &token, int port = 4821)
{
    return LocalGatewayEnvironmentConfiguration{token, port};
}

} // namespace

class tst_LocalGatewaySecretSync : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void parsesEnvironmentFiles_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<OptionalConfiguration>("expected");
        QTest::newRow("plain") << u"TESSEL_AUTH_TOKEN=abc\nTESSEL_PORT=5000\n"_s << configuration(u"abc"_s, 5000);
        QTest::newRow("token set twice") << u"TESSEL_AUTH_TOKEN=one\nTESSEL_AUTH_TOKEN=two"_s
                                         << configuration(u"two"_s);
        QTest::newRow("double quotes") << u"TESSEL_AUTH_TOKEN=\"a b\""_s << configuration(u"a b"_s);
        QTest::newRow("single quotes") << u"TESSEL_AUTH_TOKEN='x'"_s << configuration(u"x"_s);
        QTest::newRow("mixed quotes stay") << u"TESSEL_AUTH_TOKEN=\"x'"_s << configuration(u"\"x'"_s);
        QTest::newRow("one quote character") << u"TESSEL_AUTH_TOKEN=\""_s << configuration(u"\""_s);
        QTest::newRow("blanks around key and value") << u"  TESSEL_AUTH_TOKEN =  t  "_s << configuration(u"t"_s);
        QTest::newRow("export prefix") << u"export TESSEL_AUTH_TOKEN=t"_s << OptionalConfiguration();
        QTest::newRow("commented") << u"  # TESSEL_AUTH_TOKEN=t"_s << OptionalConfiguration();
        QTest::newRow("lower-case key") << u"tessel_auth_token=t"_s << OptionalConfiguration();
        QTest::newRow("empty quotes") << u"TESSEL_AUTH_TOKEN=\"\""_s << OptionalConfiguration();
        QTest::newRow("later empty token wins")
            << u"TESSEL_AUTH_TOKEN=t\nTESSEL_AUTH_TOKEN="_s << OptionalConfiguration();
        QTest::newRow("no token") << u"TESSEL_PORT=5000"_s << OptionalConfiguration();
        QTest::newRow("signed port") << u"TESSEL_PORT=+5000\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s, 5000);
        QTest::newRow("port too large") << u"TESSEL_PORT=70000\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s);
        QTest::newRow("port 65535") << u"TESSEL_PORT=65535\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s, 65535);
        QTest::newRow("port zero") << u"TESSEL_PORT=0\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s);
        QTest::newRow("negative port") << u"TESSEL_PORT=-80\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s);
        QTest::newRow("port overflow") << u"TESSEL_PORT=99999999999999999999\nTESSEL_AUTH_TOKEN=t"_s
                                       << configuration(u"t"_s);
        QTest::newRow("port not a number") << u"TESSEL_PORT=80a\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s);
        QTest::newRow("bad port keeps earlier")
            << u"TESSEL_PORT=6000\nTESSEL_PORT=x\nTESSEL_AUTH_TOKEN=t"_s << configuration(u"t"_s, 6000);
        QTest::newRow("CRLF and other breaks")
            << u"A=1\r\nTESSEL_PORT=7000\u2028TESSEL_AUTH_TOKEN=t\u0085B=2\fC=3\vD=4\u2029"_s
            << configuration(u"t"_s, 7000);
        QTest::newRow("no equals sign") << u"TESSEL_AUTH_TOKEN\nTESSEL_AUTH_TOKEN=t=u"_s << configuration(u"t=u"_s);
    }

    void parsesEnvironmentFiles()
    {
        QFETCH(QString, text);
        QFETCH(OptionalConfiguration, expected);
        QCOMPARE(discovery::parseConfiguration(text), expected);
    }

    void loadsFromTheHomeFolderAndRejectsUnreadableFiles()
    {
        QTemporaryDir home;
        qputenv("HOME", QFile::encodeName(home.path()));
        QVERIFY(writeFile(QDir::homePath() + u"/.config/tessel-gateway/gateway.env"_s, "TESSEL_AUTH_TOKEN=home\n"));
        QCOMPARE(discovery::loadConfiguration(), configuration(u"home"_s));

        QTemporaryDir dir;
        QCOMPARE(discovery::loadConfiguration(dir.filePath(u"missing.env"_s)), OptionalConfiguration());
        QCOMPARE(discovery::loadConfiguration(dir.path()), OptionalConfiguration()); // a folder
        // Neither read without end nor waited on.
        QVERIFY(QFile::link(u"/dev/zero"_s, dir.filePath(u"device.env"_s)));
        QCOMPARE(discovery::loadConfiguration(dir.filePath(u"device.env"_s)), OptionalConfiguration());
        QCOMPARE(::mkfifo(QFile::encodeName(dir.filePath(u"fifo.env"_s)).constData(), 0600), 0);
        QCOMPARE(discovery::loadConfiguration(dir.filePath(u"fifo.env"_s)), OptionalConfiguration());
        QVERIFY(writeFile(dir.filePath(u"latin1.env"_s), "TESSEL_AUTH_TOKEN=caf\xe9\n"));
        QCOMPARE(discovery::loadConfiguration(dir.filePath(u"latin1.env"_s)), OptionalConfiguration());
        QVERIFY(writeFile(dir.filePath(u"junk.env"_s), QByteArray("\x00\x01\x02\x03=\x00TESSEL_AUTH_TOKEN=x", 22)));
        QCOMPARE(discovery::loadConfiguration(dir.filePath(u"junk.env"_s)), OptionalConfiguration());
    }

    void toleratesAHugeLine()
    {
        QTemporaryDir dir;
        QByteArray text = "TESSEL_PORT=" + QByteArray(10 * 1024 * 1024, '7') + "\nTESSEL_AUTH_TOKEN=t\n";
        QVERIFY(writeFile(dir.filePath(u"huge.env"_s), text));
        QCOMPARE(discovery::loadConfiguration(dir.filePath(u"huge.env"_s)), configuration(u"t"_s));
    }

    void normalizesHostIdentifiers_data()
    {
        QTest::addColumn<QString>("value");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("short name") << u" MyMac \n"_s << QStringList{u"mymac"_s, u"mymac.local"_s};
        QTest::newRow("dot local") << u"mymac.local"_s << QStringList{u"mymac"_s, u"mymac.local"_s};
        QTest::newRow("dotted") << u"build.example.com"_s << QStringList{u"build.example.com"_s};
        QTest::newRow("IPv4") << u"10.0.0.7"_s << QStringList{u"10.0.0.7"_s};
        QTest::newRow("IPv6 with zone") << u"[fe80::1%eth0]"_s << QStringList{u"fe80::1"_s};
        QTest::newRow("blank") << u"[ \n]"_s << QStringList();
    }

    void normalizesHostIdentifiers()
    {
        QFETCH(QString, value);
        QFETCH(QStringList, expected);
        QStringList actual = discovery::normalizedHostIdentifiers(value).values();
        actual.sort();
        QCOMPARE(actual, expected);
    }

    void matchesUrlsThatPointAtThisComputer_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("port");
        QTest::addColumn<bool>("matches");
        QTest::newRow("localhost, default port") << u"ws://localhost"_s << 4821 << true;
        QTest::newRow("localhost, other port in effect") << u"ws://localhost"_s << 5000 << false;
        QTest::newRow("localhost, that port") << u"ws://localhost:5000"_s << 5000 << true;
        QTest::newRow("wrong port") << u"ws://localhost:4822"_s << 4821 << false;
        QTest::newRow("IPv6 loopback") << u"ws://[::1]:4821"_s << 4821 << true;
        QTest::newRow("upper-case short name") << u"ws://MYMAC:4821"_s << 4821 << true;
        QTest::newRow("dot local name") << u"ws://mymac.local"_s << 4821 << true;
        QTest::newRow("interface address") << u"wss://192.168.1.20:4821/path"_s << 4821 << true;
        QTest::newRow("other computer") << u"ws://192.168.1.99:4821"_s << 4821 << false;
        QTest::newRow("other name") << u"ws://devbox:4821"_s << 4821 << false;
        QTest::newRow("bare word") << u"localhost"_s << 4821 << false;
        QTest::newRow("unparsable") << u"ws://local host:4821"_s << 4821 << false;
        QTest::newRow("empty") << QString() << 4821 << false;
    }

    void matchesUrlsThatPointAtThisComputer()
    {
        QFETCH(QString, url);
        QFETCH(int, port);
        QFETCH(bool, matches);
        const QSet<QString> identifiers = discovery::localEndpointIdentifiers({u"mymac"_s}, {u"192.168.1.20"_s});
        QCOMPARE(discovery::matchesLocalGateway(url, port, identifiers), matches);
    }

    void systemIdentifiersNameThisComputer()
    {
        const QSet<QString> identifiers = discovery::localEndpointIdentifiers();
        for (const QString &fixed : {u"localhost"_s, u"127.0.0.1"_s, u"::1"_s, u"0.0.0.0"_s})
            QVERIFY(identifiers.contains(fixed));
        QVERIFY(identifiers.contains(QHostInfo::localHostName().toLower()));
    }

    void storesTheTokenOnlyForLocalMachinesWhoseTokenDiffers()
    {
        test::InMemorySecretBackend memory;
        const GatewaySecretStore store(u"svc"_s, std::nullopt, true, std::nullopt, memory.backend());
        const StoredMachineProfile local{QUuid::createUuid(), u"here"_s, u"ws://127.0.0.1:5000"_s, {}};
        const StoredMachineProfile remote{QUuid::createUuid(), u"there"_s, u"ws://10.9.9.9:5000"_s, {}};
        const StoredMachineProfile alreadySet{QUuid::createUuid(), u"same"_s, u"ws://localhost:5000"_s, {}};
        store.setToken(u"remote-token"_s, remote.id);
        store.setToken(u"file-token"_s, alreadySet.id);
        const QList machines{local, remote, alreadySet};
        const LocalGatewayEnvironmentConfiguration file{u"file-token"_s, 5000};
        const QSet<QString> identifiers = discovery::localEndpointIdentifiers({}, {});

        QCOMPARE(discovery::matchingMachineIDs(machines, file, identifiers), (QSet{local.id, alreadySet.id}));
        const int writesBefore = memory.writeCount;
        QCOMPARE(discovery::synchronizeLocalGatewayToken(file, store, machines, identifiers), QSet{local.id});
        QCOMPARE(memory.writeCount, writesBefore + 1);
        QCOMPARE(store.token(local.id), u"file-token"_s);
        QCOMPARE(store.token(remote.id), u"remote-token"_s);
        QVERIFY(discovery::synchronizeLocalGatewayToken(file, store, machines, identifiers).isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_LocalGatewaySecretSync)
#include "tst_LocalGatewaySecretSync.moc"
