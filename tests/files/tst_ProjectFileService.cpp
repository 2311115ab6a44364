#include "files/ProjectFileService.h"
#include "storage/MachineProfile.h"
#include "support/LoopbackGatewayServer.h"
#include "support/TestJson.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using namespace tessel;
using tessel::test::LoopbackGatewayServer;

namespace {

constexpr int waitMs = 5000;

// Collects the callbacks of one operation.
template<typename T>
struct Outcome
{
    ProjectFileCallback<T> callback()
    {
        return [this](const ProjectFileResult<T> &result) {
            ++calls;
            last.emplace(result);
        };
    }
    int calls = 0;
    std::optional<ProjectFileResult<T>> last;
};

void send(QWebSocket *socket, const QJsonObject &object)
{
    socket->sendTextMessage(QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact)));
}

QJsonObject entryJson(const QString &path)
{
    return {
        {u"name"_s, path.section(u'/', -1)}, {u"path"_s, path},      {u"kind"_s, u"file"_s}, {u"size"_s, 3},
        {u"modifiedAt"_s, u"t"_s},           {u"isHidden"_s, false}, {u"isText"_s, true},    {u"isMarkdown"_s, false}};
}

// A gateway that says hello and answers each request with `reply(requestId)`.
void answerRequests(LoopbackGatewayServer &server, std::function<QJsonObject(const QString &requestId)> reply)
{
    server.setAnswersHello(true);
    server.setFrameHandler([reply = std::move(reply)](QWebSocket *socket, const QByteArray &frame) {
        send(socket, reply(test::frameRequestId(frame)));
    });
}

} // namespace

class tst_ProjectFileService : public QObject
{
    Q_OBJECT

    MachineProfile machineFor(const LoopbackGatewayServer &server, const QString &token = u"secret"_s)
    {
        MachineProfile machine;
        machine.gatewayURL = u"  "_s + server.url().toString() + u"\n"_s;
        machine.gatewayToken = token;
        return machine;
    }
    ProjectProfile project{QUuid::createUuid(), u"Demo"_s, u"  /srv/demo\n"_s};

private Q_SLOTS:
    void invalidGatewayURLFailsWithoutOpeningASocket_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("message");
        QTest::newRow("empty") << QString() << u"The gateway URL is invalid: "_s;
        QTest::newRow("blank") << u" \n "_s << u"The gateway URL is invalid: "_s;
        QTest::newRow("spaces inside") << u" ws://bad host:1 "_s << u"The gateway URL is invalid: ws://bad host:1"_s;
    }
    void invalidGatewayURLFailsWithoutOpeningASocket()
    {
        QFETCH(QString, url);
        QFETCH(QString, message);
        MachineProfile machine;
        machine.gatewayURL = url;
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(machine, project, {}, false, this, outcome.callback());
        QCOMPARE(outcome.calls, 0); // never called back before returning
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->error().errorCase(), ProjectFileServiceError::Case::invalidGatewayURL);
        QCOMPARE(outcome.last->error().message(), message);
    }

    void sendsTheRequestOnceAfterTheFirstHelloOk()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &frame) {
            if (test::frameType(frame) == "hello"_L1) {
                send(socket, {{u"type"_s, u"hello_ok"_s}});
                send(socket, {{u"type"_s, u"hello_ok"_s}});
                return;
            }
            send(socket,
                 {{u"type"_s, u"project_files_list"_s},
                  {u"requestId"_s, test::frameRequestId(frame)},
                  {u"entries"_s, QJsonArray{entryJson(u"b.txt"_s), entryJson(u"a.txt"_s)}}});
        });
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(machineFor(server, QString()), project, u"  "_s, true, this,
                                          outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QVERIFY(outcome.last->hasValue());
        // Absent path and flag fall back to what was asked; the gateway's order is kept.
        QCOMPARE(outcome.last->value().path, u"  "_s);
        QCOMPARE(outcome.last->value().includeHidden, true);
        QCOMPARE(outcome.last->value().entries.first().path, u"b.txt"_s);

        QCOMPARE(server.frames().size(), 2);
        QCOMPARE(test::sortedKeys(server.frames().at(0)), (QStringList{u"client"_s, u"requestId"_s, u"type"_s}));
        const QJsonObject request = test::parseObject(server.frames().at(1));
        QCOMPARE(test::sortedKeys(server.frames().at(1)),
                 (QStringList{u"cwd"_s, u"includeHidden"_s, u"requestId"_s, u"type"_s}));
        QCOMPARE(request.value("cwd"_L1).toString(), u"/srv/demo"_s);
        QTRY_COMPARE_WITH_TIMEOUT(server.openSocketCount(), 0, waitMs);
        QCOMPARE(server.closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal});
    }

    void listingUsesTheRepliedPathAndFlag()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        answerRequests(server, [](const QString &id) {
            return QJsonObject{{u"type"_s, u"project_files_list"_s},
                               {u"requestId"_s, id},
                               {u"path"_s, u"docs"_s},
                               {u"includeHidden"_s, false},
                               {u"entries"_s, QJsonArray{}}};
        });
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(machineFor(server), project, u"docs/"_s, true, this, outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->value(), (ProjectDirectoryResult{u"docs"_s, {}, false}));
        QCOMPARE(test::parseObject(server.frames().at(1)).value("path"_L1).toString(), u"docs/"_s);
    }

    void readReplyMapping_data()
    {
        QTest::addColumn<QJsonObject>("reply");
        QTest::addColumn<bool>("complete");
        const QJsonObject full{{u"type"_s, u"project_file_read"_s},
                               {u"content"_s, u"# Hi"_s},
                               {u"revision"_s, u"r1"_s},
                               {u"size"_s, 4},
                               {u"modifiedAt"_s, u"2026-01-01T00:00:00Z"_s},
                               {u"languageHint"_s, u"markdown"_s}};
        QTest::newRow("without path and isMarkdown") << full << true;
        for (const auto &key : {u"content"_s, u"revision"_s, u"size"_s, u"modifiedAt"_s}) {
            QJsonObject partial = full;
            partial.remove(key);
            QTest::newRow(qPrintable(u"without "_s + key)) << partial << false;
        }
        QJsonObject nullSize = full;
        nullSize.insert(u"size"_s, QJsonValue::Null);
        QTest::newRow("null size") << nullSize << false;
    }
    void readReplyMapping()
    {
        QFETCH(QJsonObject, reply);
        QFETCH(bool, complete);
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        answerRequests(server, [reply](const QString &id) {
            QJsonObject answer = reply;
            answer.insert(u"requestId"_s, id);
            return answer;
        });
        Outcome<ProjectFileDocumentSnapshot> outcome;
        ProjectFileService::readDocument(machineFor(server), project, u"README.md"_s, this, outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        if (!complete) {
            QCOMPARE(outcome.last->error(), ProjectFileServiceError::malformedResponse());
            QCOMPARE(outcome.last->error().message(), u"The gateway returned an incomplete file response."_s);
            return;
        }
        const ProjectFileDocumentSnapshot expected{u"README.md"_s, u"# Hi"_s, u"r1"_s, 4, u"2026-01-01T00:00:00Z"_s,
                                                   u"markdown"_s,  false};
        QCOMPARE(outcome.last->value(), expected);
    }

    void writeSendsContentAndExpectedRevision()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        answerRequests(server, [](const QString &id) {
            return QJsonObject{{u"type"_s, u"project_file_write"_s},
                               {u"requestId"_s, id},
                               {u"revision"_s, u"r2"_s},
                               {u"size"_s, 5},
                               {u"modifiedAt"_s, u"now"_s}};
        });
        Outcome<ProjectFileSaveResult> outcome;
        ProjectFileService::writeDocument(machineFor(server), project, u"a.txt"_s, u"hello"_s, u"r1"_s, this,
                                          outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->value(), (ProjectFileSaveResult{u"a.txt"_s, u"r2"_s, 5, u"now"_s}));
        const QJsonObject request = test::parseObject(server.frames().at(1));
        QCOMPARE(request.value("content"_L1).toString(), u"hello"_s);
        QCOMPARE(request.value("expectedRevision"_L1).toString(), u"r1"_s);
        QCOMPARE(request.value("path"_L1).toString(), u"a.txt"_s);
    }

    // Frames a gateway sends in answer to the hello and to the request ("ID" stands for the
    // request's id), and the error that ends the request.
    void repliesThatEndTheRequest_data()
    {
        QTest::addColumn<QStringList>("helloReplies");
        QTest::addColumn<QStringList>("requestReplies");
        QTest::addColumn<ProjectFileServiceError>("error");
        const QString helloOk = uR"({"type":"hello_ok"})"_s;
        const auto transport = [](const char *message) {
            return ProjectFileServiceError::transport(QString::fromUtf8(message));
        };
        const auto undecodable =
            transport("Received a gateway event this app does not understand yet. The session stayed connected.");
        QTest::newRow("other requests' messages pass, their errors do not")
            << QStringList{helloOk}
            << QStringList{uR"({"type":"assistant_delta","delta":"chat"})"_s,
                           uR"({"type":"project_files_list","requestId":"OTHER","entries":[]})"_s,
                           uR"({"type":"error","requestId":"OTHER","code":"CONFLICT","message":"Changed."})"_s}
            << ProjectFileServiceError::gateway(u"CONFLICT"_s, u"Changed."_s);
        QTest::newRow("a gateway without project files")
            << QStringList{helloOk}
            << QStringList{uR"({"type":"error","code":"BAD_REQUEST","message":"Request validation failed"})"_s}
            << ProjectFileServiceError::unsupportedGateway();
        QTest::newRow("wrongly typed reply with the right id")
            << QStringList{helloOk} << QStringList{uR"({"type":"session_list","requestId":"ID"})"_s}
            << transport("Unexpected gateway response: session_list");
        QTest::newRow("garbage") << QStringList{helloOk} << QStringList{u"%%garbage%%"_s} << undecodable;
        QTest::newRow("entries of the wrong type")
            << QStringList{helloOk} << QStringList{uR"({"type":"project_files_list","requestId":"ID","entries":"x"})"_s}
            << undecodable;
        QTest::newRow("entry missing a key")
            << QStringList{helloOk}
            << QStringList{uR"({"type":"project_files_list","requestId":"ID","entries":[{"name":"a"}]})"_s}
            << undecodable;
        // The request has ended before its socket closes: it must not be sent.
        QTest::newRow("hello_ok after the end")
            << QStringList{uR"({"type":"error","requestId":"OTHER","code":"DENIED","message":"No."})"_s, helloOk}
            << QStringList{} << ProjectFileServiceError::gateway(u"DENIED"_s, u"No."_s);
    }
    void repliesThatEndTheRequest()
    {
        QFETCH(QStringList, helloReplies);
        QFETCH(QStringList, requestReplies);
        QFETCH(ProjectFileServiceError, error);
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([&](QWebSocket *socket, const QByteArray &frame) {
            for (const QString &reply : test::frameType(frame) == "hello"_L1 ? helloReplies : requestReplies)
                socket->sendTextMessage(QString(reply).replace(u"\"ID\""_s, u'"' + test::frameRequestId(frame) + u'"'));
        });
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(machineFor(server), project, {}, false, this, outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->error(), error);
        QTRY_COMPARE_WITH_TIMEOUT(server.openSocketCount(), 0, waitMs);
        QCOMPARE(server.frames().size(), requestReplies.isEmpty() ? 1 : 2);
        QCOMPARE(outcome.calls, 1);
    }

    void silentGatewayTimesOutFromTheStartAndClosesTheSocket()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        Outcome<GatewayServerEnvelope> outcome;
        QElapsedTimer clock;
        clock.start();
        ProjectFileService::performRequest(machineFor(server), GatewayClientEnvelope::readProjectFile({}, u"a"_s),
                                           {u"project_file_read"_s}, this, outcome.callback(), 300ms);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(outcome.last->error(), ProjectFileServiceError::timeout());
        QCOMPARE(outcome.last->error().message(), u"The gateway did not respond in time."_s);
        QTRY_COMPARE_WITH_TIMEOUT(server.closeCodes().size(), 1, waitMs);
        QCOMPARE(server.frames().size(), 1); // the hello only
    }

    void socketFailuresEndTheRequestOnce()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        MachineProfile machine;
        machine.gatewayURL = u"ws://127.0.0.1:%1"_s.arg(probe.serverPort());
        probe.close();
        Outcome<ProjectDirectoryResult> refused;
        ProjectFileService::listDirectory(machine, project, {}, false, this, refused.callback());
        QTRY_COMPARE_WITH_TIMEOUT(refused.calls, 1, waitMs);
        QCOMPARE(refused.last->error().errorCase(), ProjectFileServiceError::Case::transport);

        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setAnswersHello(true);
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &) { socket->abort(); });
        Outcome<ProjectDirectoryResult> aborted;
        ProjectFileService::listDirectory(machineFor(server), project, {}, false, this, aborted.callback());
        QTRY_COMPARE_WITH_TIMEOUT(aborted.calls, 1, waitMs);
        QCOMPARE(aborted.last->error().errorCase(), ProjectFileServiceError::Case::transport);
        QTRY_COMPARE_WITH_TIMEOUT(server.openSocketCount(), 0, waitMs);
        QCOMPARE(aborted.calls, 1);
        // The refused request had the whole second exchange to call back again.
        QCOMPARE(refused.calls, 1);
    }

    void goneContextGetsNoCallbackAndTheSocketStillCloses()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        answerRequests(server, [](const QString &id) {
            return QJsonObject{
                {u"type"_s, u"project_files_list"_s}, {u"requestId"_s, id}, {u"entries"_s, QJsonArray{}}};
        });
        auto *context = new QObject;
        int calls = 0;
        ProjectFileService::listDirectory(machineFor(server), project, {}, false, context,
                                          [&calls](const auto &) { ++calls; });
        delete context;
        QTRY_COMPARE_WITH_TIMEOUT(server.closeCodes().size(), 1, waitMs);
        QCOMPARE(server.frames().size(), 2);
        QCOMPARE(calls, 0);
    }

    void mockModeIsChosenByEitherLaunchArgument()
    {
        QVERIFY(ProjectFileService::isUITestMockFilesEnabled({u"app"_s, u"UITestsMockFiles"_s}));
        QVERIFY(ProjectFileService::isUITestMockFilesEnabled({u"app"_s, u"UITestsMockChat"_s}));
        QVERIFY(!ProjectFileService::isUITestMockFilesEnabled({u"app"_s, u"UITestsMockFileConflict"_s}));
        QVERIFY(!ProjectFileService::isUITestMockFilesEnabled({u"app"_s}));
    }
};

QTEST_GUILESS_MAIN(tst_ProjectFileService)
#include "tst_ProjectFileService.moc"
