#include "protocol/GatewayClientEnvelope.h"
#include "support/TestJson.h"

#include <QJsonDocument>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

GatewaySessionSummary listed(const QString &cwd, const std::optional<QString> &backendSessionId)
{
    GatewaySessionSummary summary;
    summary.id = u"gw-7"_s;
    summary.backend = BackendKind::pi;
    summary.cwd = cwd;
    summary.backendSessionId = backendSessionId;
    return summary;
}

const QByteArray client = R"("client":{"name":"tessel_desktop_poc","version":"0.1.0","platform":"macos"})";

} // namespace

class tst_ClientEnvelope : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The whole encoded object but its requestId: no key more, none less, no null or false.
    void everyRequestKindEncodesExactly_data()
    {
        using E = GatewayClientEnvelope;
        const auto codex = BackendKind::codex;
        QTest::addColumn<GatewayClientEnvelope>("envelope");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("hello") << E::hello(u"secret"_s) << R"({"type":"hello","token":"secret",)" + client + "}";
        QTest::newRow("hello without token") << E::hello({}) << R"({"type":"hello",)" + client + "}";
        QTest::newRow("list backends") << E::listBackends() << R"({"type":"list_backends"})"_ba;
        QTest::newRow("automatic session") << E::createSession(codex, u"/srv"_s, false)
                                           << R"({"type":"session_create","backend":"codex","cwd":"/srv"})"_ba;
        QTest::newRow("new session") << E::createSession(BackendKind::pi, {}, true)
                                     << R"({"type":"session_create","backend":"pi","forceNew":true})"_ba;
        QTest::newRow("open listed") << E::openSession(listed(u"/srv"_s, u"b-1"_s))
                                     << R"({"type":"session_create","backend":"pi","cwd":"/srv",)"
                                        R"("backendSessionId":"b-1","sessionId":"gw-7"})"_ba;
        QTest::newRow("open listed bare") << E::openSession(listed({}, std::nullopt))
                                          << R"({"type":"session_create","backend":"pi","sessionId":"gw-7"})"_ba;
        QTest::newRow("session list") << E::listSessions(codex, trimmedCwd(u"   /srv/app\n"_s))
                                      << R"({"type":"session_list","backend":"codex","cwd":"/srv/app"})"_ba;
        QTest::newRow("blank cwd") << E::listSessions(codex, trimmedCwd(u" \n\t "_s))
                                   << R"({"type":"session_list","backend":"codex"})"_ba;
        QTest::newRow("message, escaped text")
            << E::sendMessage(u"s"_s, u"quote \" backslash \\ nl \n tab \t bell \u0007 nul \u0000 é \U0001F600"_s)
            << R"({"type":"session_message","sessionId":"s","delivery":"default",)"
               R"("text":"quote \u0022 backslash \\ nl \n tab \t bell \u0007 nul \u0000 é 😀"})"_ba;
        QTest::newRow("abort") << E::abortSession(u"gw-7"_s) << R"({"type":"session_abort","sessionId":"gw-7"})"_ba;
        QTest::newRow("list root") << E::listProjectFiles(u"/srv"_s, std::nullopt, false)
                                   << R"({"type":"project_files_list","cwd":"/srv"})"_ba;
        QTest::newRow("list blank path") << E::listProjectFiles(u"/srv"_s, u"  \n"_s, false)
                                         << R"({"type":"project_files_list","cwd":"/srv"})"_ba;
        QTest::newRow("list padded path, hidden")
            << E::listProjectFiles({}, u" src "_s, true)
            << R"({"type":"project_files_list","path":" src ","includeHidden":true})"_ba;
        QTest::newRow("read") << E::readProjectFile(u"/srv"_s, u"README.md"_s)
                              << R"({"type":"project_file_read","cwd":"/srv","path":"README.md"})"_ba;
        QTest::newRow("write") << E::writeProjectFile(u"/srv"_s, u"a.txt"_s, {}, u"rev-1"_s)
                               << R"({"type":"project_file_write","cwd":"/srv","path":"a.txt","content":"",)"
                                  R"("expectedRevision":"rev-1"})"_ba;
        QTest::newRow("write without revision") << E::writeProjectFile({}, u"a.txt"_s, u"x"_s, std::nullopt)
                                                << R"({"type":"project_file_write","path":"a.txt","content":"x"})"_ba;
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
