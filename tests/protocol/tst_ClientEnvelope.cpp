#include "protocol/GatewayClientEnvelope.h"
#include "protocol/UuidText.h"
#include "support/TestJson.h"

#include <QJsonObject>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

class tst_ClientEnvelope : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRequestKindCarriesExactlyItsKeys_data();
    void everyRequestKindCarriesExactlyItsKeys();
    void helloIdentifiesThisClient();
    void requestIdsAreFreshUpperCaseUuids();
    void listingPathIsSentUntrimmedUnlessBlank();
    void projectDirectoryIsTrimmedForRequests();
    void textSurvivesEscaping();
};

namespace {

GatewaySessionSummary listedSession(const QString &cwd, const std::optional<QString> &backendSessionId)
{
    GatewaySessionSummary summary;
    summary.id = u"gw-7"_s;
    summary.backend = BackendKind::pi;
    summary.cwd = cwd;
    summary.backendSessionId = backendSessionId;
    return summary;
}

QStringList keys(std::initializer_list<QString> names)
{
    QStringList list(names);
    list << u"type"_s << u"requestId"_s;
    list.sort();
    return list;
}

} // namespace

void tst_ClientEnvelope::everyRequestKindCarriesExactlyItsKeys_data()
{
    QTest::addColumn<GatewayClientEnvelope>("envelope");
    QTest::addColumn<QString>("type");
    QTest::addColumn<QStringList>("expectedKeys");

    QTest::newRow("hello") << GatewayClientEnvelope::hello(u"secret"_s) << u"hello"_s
                           << keys({u"token"_s, u"client"_s});
    QTest::newRow("hello without token") << GatewayClientEnvelope::hello({}) << u"hello"_s << keys({u"client"_s});
    QTest::newRow("list backends") << GatewayClientEnvelope::listBackends() << u"list_backends"_s << keys({});
    QTest::newRow("automatic session") << GatewayClientEnvelope::createSession(BackendKind::codex, u"/srv"_s, false)
                                       << u"session_create"_s << keys({u"backend"_s, u"cwd"_s});
    QTest::newRow("new session") << GatewayClientEnvelope::createSession(BackendKind::codex, {}, true)
                                 << u"session_create"_s << keys({u"backend"_s, u"forceNew"_s});
    QTest::newRow("open listed session") << GatewayClientEnvelope::openSession(listedSession(u"/srv"_s, u"b-1"_s))
                                         << u"session_create"_s
                                         << keys({u"backend"_s, u"cwd"_s, u"backendSessionId"_s, u"sessionId"_s});
    QTest::newRow("open listed session without extras")
        << GatewayClientEnvelope::openSession(listedSession({}, std::nullopt)) << u"session_create"_s
        << keys({u"backend"_s, u"sessionId"_s});
    QTest::newRow("session list") << GatewayClientEnvelope::listSessions(BackendKind::pi, u"/srv"_s)
                                  << u"session_list"_s << keys({u"backend"_s, u"cwd"_s});
    QTest::newRow("session list without cwd")
        << GatewayClientEnvelope::listSessions(BackendKind::pi, {}) << u"session_list"_s << keys({u"backend"_s});
    QTest::newRow("message") << GatewayClientEnvelope::sendMessage(u"gw-7"_s, u"hi"_s) << u"session_message"_s
                             << keys({u"sessionId"_s, u"text"_s, u"delivery"_s});
    QTest::newRow("abort") << GatewayClientEnvelope::abortSession(u"gw-7"_s) << u"session_abort"_s
                           << keys({u"sessionId"_s});
    QTest::newRow("list root") << GatewayClientEnvelope::listProjectFiles(u"/srv"_s, std::nullopt, false)
                               << u"project_files_list"_s << keys({u"cwd"_s});
    QTest::newRow("list blank path") << GatewayClientEnvelope::listProjectFiles(u"/srv"_s, u"  \n"_s, false)
                                     << u"project_files_list"_s << keys({u"cwd"_s});
    QTest::newRow("list hidden") << GatewayClientEnvelope::listProjectFiles(u"/srv"_s, u"src"_s, true)
                                 << u"project_files_list"_s << keys({u"cwd"_s, u"path"_s, u"includeHidden"_s});
    QTest::newRow("read") << GatewayClientEnvelope::readProjectFile(u"/srv"_s, u"README.md"_s) << u"project_file_read"_s
                          << keys({u"cwd"_s, u"path"_s});
    QTest::newRow("write") << GatewayClientEnvelope::writeProjectFile(u"/srv"_s, u"a.txt"_s, {}, u"rev-1"_s)
                           << u"project_file_write"_s
                           << keys({u"cwd"_s, u"path"_s, u"content"_s, u"expectedRevision"_s});
    QTest::newRow("write without revision")
        << GatewayClientEnvelope::writeProjectFile({}, u"a.txt"_s, u"x"_s, std::nullopt) << u"project_file_write"_s
        << keys({u"path"_s, u"content"_s});
}

void tst_ClientEnvelope::everyRequestKindCarriesExactlyItsKeys()
{
    QFETCH(GatewayClientEnvelope, envelope);
    QFETCH(QString, type);
    QFETCH(QStringList, expectedKeys);
    const QByteArray json = envelope.toJson();
    QCOMPARE(test::sortedKeys(json), expectedKeys);
    QCOMPARE(test::parseObject(json).value(u"type"_s).toString(), type);
    QVERIFY2(!json.contains("null"), json.constData());
    QVERIFY2(!json.contains("false"), json.constData());
}

void tst_ClientEnvelope::helloIdentifiesThisClient()
{
    const QJsonObject hello = test::parseObject(GatewayClientEnvelope::hello(u"tok"_s).toJson());
    QCOMPARE(hello.value(u"token"_s).toString(), u"tok"_s);
    const QJsonObject client = hello.value(u"client"_s).toObject();
    QCOMPARE(client.value(u"name"_s).toString(), u"tessel_desktop_poc"_s);
    QCOMPARE(client.value(u"version"_s).toString(), u"0.1.0"_s);
    QCOMPARE(client.value(u"platform"_s).toString(), u"macos"_s);
    QCOMPARE(client.size(), 3);

    const QJsonObject message = test::parseObject(GatewayClientEnvelope::sendMessage(u"s"_s, u"hi"_s).toJson());
    QCOMPARE(message.value(u"delivery"_s).toString(), u"default"_s);
    const QJsonObject fresh =
        test::parseObject(GatewayClientEnvelope::createSession(BackendKind::pi, u"/a"_s, true).toJson());
    QCOMPARE(fresh.value(u"forceNew"_s), QJsonValue(true));
    QCOMPARE(fresh.value(u"backend"_s).toString(), u"pi"_s);
}

void tst_ClientEnvelope::requestIdsAreFreshUpperCaseUuids()
{
    const QRegularExpression upperUuid(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
    QSet<QString> seen;
    for (int i = 0; i < 100; ++i) {
        const QString id =
            test::parseObject(GatewayClientEnvelope::listBackends().toJson()).value(u"requestId"_s).toString();
        QVERIFY2(upperUuid.match(id).hasMatch(), qPrintable(id));
        seen.insert(id);
    }
    QCOMPARE(seen.size(), 100);
    QVERIFY(parseUuidText(*GatewayClientEnvelope::hello({}).requestId));
}

void tst_ClientEnvelope::listingPathIsSentUntrimmedUnlessBlank()
{
    const auto padded = GatewayClientEnvelope::listProjectFiles(u"/srv"_s, u" src "_s, false);
    QCOMPARE(padded.path, u" src "_s);
    QCOMPARE(padded.includeHidden, std::nullopt);
    QCOMPARE(GatewayClientEnvelope::listProjectFiles({}, u"\t"_s, false).path, std::nullopt);
    QCOMPARE(GatewayClientEnvelope::listProjectFiles({}, u"src"_s, true).includeHidden, true);
}

void tst_ClientEnvelope::projectDirectoryIsTrimmedForRequests()
{
    const auto listing = GatewayClientEnvelope::listSessions(BackendKind::codex, trimmedCwd(u"   /srv/app\n"_s));
    QCOMPARE(listing.cwd, u"/srv/app"_s);
    const auto blank = GatewayClientEnvelope::createSession(BackendKind::codex, trimmedCwd(u" \n\t "_s), false);
    QCOMPARE(blank.cwd, std::nullopt);
}

void tst_ClientEnvelope::textSurvivesEscaping()
{
    const QString text = u"quote \" backslash \\ slash / nl \n tab \t bell \u0007 nul \u0000 é \U0001F600"_s;
    const QJsonObject message = test::parseObject(GatewayClientEnvelope::sendMessage(u"s"_s, text).toJson());
    QCOMPARE(message.value(u"text"_s).toString(), text);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ClientEnvelope)
#include "tst_ClientEnvelope.moc"
