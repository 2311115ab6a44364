#include "protocol/GatewayClientEnvelope.h"
#include "support/DataRow.h"
#include "support/TestJson.h"

#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using tessel::test::row;

namespace tessel {

class tst_ClientEnvelope : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The whole encoded object but its requestId: no key more, none less, no null or false.
    // One row per request kind and per branch of its optional keys.
    void everyRequestKindEncodesExactly_data()
    {
        using E = GatewayClientEnvelope;
        GatewaySessionSummary listed;
        listed.id = u"gw-7"_s, listed.backend = BackendKind::pi, listed.backendSessionId = u"b-1"_s;
        const QByteArray client = R"("client":{"name":"tessel_desktop_poc","version":"0.1.0","platform":"macos"})";
        QTest::addColumn<GatewayClientEnvelope>("envelope");
        QTest::addColumn<QByteArray>("expected");
        row("hello", E::hello(u"secret"_s), R"({"type":"hello","token":"secret",)" + client + "}");
        row("hello without token", E::hello({}), R"({"type":"hello",)" + client + "}");
        row("list backends", E::listBackends(), R"({"type":"list_backends"})"_ba);
        row("automatic session", E::createSession(BackendKind::codex, u"/srv"_s, false),
            R"({"type":"session_create","backend":"codex","cwd":"/srv"})"_ba);
        row("new session", E::createSession(BackendKind::pi, {}, true),
            R"({"type":"session_create","backend":"pi","forceNew":true})"_ba);
        row("open listed", E::openSession(listed),
            R"({"type":"session_create","backend":"pi","backendSessionId":"b-1","sessionId":"gw-7"})"_ba);
        row("session list", E::listSessions(BackendKind::codex, trimmedCwd(u"   /srv/app\n"_s)),
            R"({"type":"session_list","backend":"codex","cwd":"/srv/app"})"_ba);
        row("message, escaped text",
            E::sendMessage(u"s"_s, u"quote \" backslash \\ nl \n tab \t bell \u0007 nul \u0000 é \U0001F600"_s),
            R"({"type":"session_message","sessionId":"s","delivery":"default",)"
            R"("text":"quote \u0022 backslash \\ nl \n tab \t bell \u0007 nul \u0000 é 😀"})"_ba);
        row("abort", E::abortSession(u"gw-7"_s), R"({"type":"session_abort","sessionId":"gw-7"})"_ba);
        row("list blank path", E::listProjectFiles(u"/srv"_s, u"  \n"_s, false),
            R"({"type":"project_files_list","cwd":"/srv"})"_ba);
        row("list padded path, hidden", E::listProjectFiles({}, u" src "_s, true),
            R"({"type":"project_files_list","path":" src ","includeHidden":true})"_ba);
        row("read", E::readProjectFile(u"/srv"_s, u"README.md"_s),
            R"({"type":"project_file_read","cwd":"/srv","path":"README.md"})"_ba);
        row("write", E::writeProjectFile({}, u"a.txt"_s, {}, u"rev-1"_s),
            R"({"type":"project_file_write","path":"a.txt","content":"","expectedRevision":"rev-1"})"_ba);
    }
    void everyRequestKindEncodesExactly()
    {
        QFETCH(GatewayClientEnvelope, envelope);
        QFETCH(QByteArray, expected);
        QJsonObject encoded = test::parseObject(envelope.toJson());
        QVERIFY(encoded.take(u"requestId"_s).isString());
        QCOMPARE(encoded, test::parseObject(expected));
    }

    void requestIdsAreFreshUpperCaseUuids()
    {
        const QRegularExpression upperUuid(u"^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$"_s);
        QSet<QString> seen;
        for (int i = 0; i < 100; ++i)
            QVERIFY(upperUuid.match(*seen.insert(*GatewayClientEnvelope::listBackends().requestId)).hasMatch());
        QCOMPARE(seen.size(), 100);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ClientEnvelope)
#include "tst_ClientEnvelope.moc"
