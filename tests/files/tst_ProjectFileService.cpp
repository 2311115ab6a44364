#include "files/ProjectFileService.h"
#include "storage/MachineProfile.h"
#include "support/DataRow.h"
#include "support/LoopbackGatewayServer.h"
#include "support/TestJson.h"

#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;
using namespace std::chrono_literals;
using namespace tessel;
using tessel::test::LoopbackGatewayServer;
using tessel::test::row;

namespace {

constexpr int waitMs = 5000;
const QString helloOk = uR"({"type":"hello_ok"})"_s;

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

GatewayServerEnvelope decoded(const QByteArray &json)
{
    return decodeServerEnvelope(json).value_or(GatewayServerEnvelope{});
}

} // namespace

class tst_ProjectFileService : public QObject
{
    Q_OBJECT

    std::unique_ptr<LoopbackGatewayServer> m_server;
    const ProjectProfile m_project{QUuid::createUuid(), u"Demo"_s, u"  /srv/demo\n"_s};

    // The gateway answers the hello with `helloReplies` and the request with `requestReplies`,
    // in which "ID" stands for the request's id; a reply "abort" aborts the socket.
    void answer(const QStringList &helloReplies, const QStringList &requestReplies)
    {
        m_server->setFrameHandler([=](QWebSocket *socket, const QByteArray &frame) {
            for (const QString &reply : test::frameType(frame) == "hello"_L1 ? helloReplies : requestReplies) {
                if (reply == "abort"_L1)
                    return socket->abort();
                socket->sendTextMessage(QString(reply).replace(u"\"ID\""_s, u'"' + test::frameRequestId(frame) + u'"'));
            }
        });
    }
    MachineProfile machine(const QString &token = u"secret"_s) const
    {
        MachineProfile machine;
        machine.gatewayURL = u"  "_s + m_server->url().toString() + u"\n"_s;
        machine.gatewayToken = token;
        return machine;
    }
    void list(Outcome<ProjectDirectoryResult> &outcome, const QString &path = {}, bool hidden = false)
    {
        ProjectFileService::listDirectory(machine(), m_project, path, hidden, this, outcome.callback());
    }

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LoopbackGatewayServer>();
        QVERIFY(m_server->listen());
    }

    void invalidGatewayURLFailsWithoutOpeningASocket_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QString>("message");
        row("empty", QString(), "The gateway URL is invalid: ");
        row("blank", " \n ", "The gateway URL is invalid: ");
        row("spaces inside", " ws://bad host:1 ", "The gateway URL is invalid: ws://bad host:1");
    }
    void invalidGatewayURLFailsWithoutOpeningASocket()
    {
        QFETCH(QString, url);
        QFETCH(QString, message);
        MachineProfile machine;
        machine.gatewayURL = url;
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(machine, m_project, {}, false, this, outcome.callback());
        QCOMPARE(outcome.calls, 0); // never called back before returning
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->error().errorCase(), ProjectFileServiceError::Case::invalidGatewayURL);
        QCOMPARE(outcome.last->error().message(), message);
    }

    void sendsTheRequestOnceAfterTheFirstHelloOk()
    {
        const QString entry = uR"({"name":"%1","path":"%1","kind":"file","size":3,"modifiedAt":"t","isHidden":false,)"
                              uR"("isText":true,"isMarkdown":false})"_s;
        answer({helloOk, helloOk},
               {uR"({"type":"project_files_list","requestId":"ID","entries":[%1,%2]})"_s.arg(entry.arg(u"b.txt"_s),
                                                                                             entry.arg(u"a.txt"_s))});
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(machine({}), m_project, u"  "_s, true, this, outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->value().entries.first().path, u"b.txt"_s); // the gateway's order
        QCOMPARE(m_server->frames().size(), 2);
        QCOMPARE(test::sortedKeys(m_server->frames().at(0)), (QStringList{u"client"_s, u"requestId"_s, u"type"_s}));
        QCOMPARE(test::sortedKeys(m_server->frames().at(1)),
                 (QStringList{u"cwd"_s, u"includeHidden"_s, u"requestId"_s, u"type"_s}));
        QCOMPARE(test::parseObject(m_server->frames().at(1)).value("cwd"_L1).toString(), u"/srv/demo"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openSocketCount(), 0, waitMs);
        QCOMPARE(m_server->closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal});
    }

    void writeSendsContentAndExpectedRevision()
    {
        answer({helloOk},
               {uR"({"type":"project_file_write","requestId":"ID","revision":"r2","size":5,"modifiedAt":"now"})"_s});
        Outcome<ProjectFileSaveResult> outcome;
        ProjectFileService::writeDocument(machine(), m_project, u"a.txt"_s, u"hello"_s, u"r1"_s, this,
                                          outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->value(), (ProjectFileSaveResult{u"a.txt"_s, u"r2"_s, 5, u"now"_s}));
        const QJsonObject request = test::parseObject(m_server->frames().at(1));
        QCOMPARE(request.value("content"_L1).toString(), u"hello"_s);
        QCOMPARE(request.value("expectedRevision"_L1).toString(), u"r1"_s);
        QCOMPARE(request.value("path"_L1).toString(), u"a.txt"_s);
    }

    // A reply missing a required field is malformed; a listing's absent path and flag fall
    // back to what was asked for.
    void repliesMapOntoResults()
    {
        using namespace ProjectFileService;
        const QByteArray read = R"({"type":"project_file_read","content":"# Hi","revision":"r1","size":4,)"
                                R"("modifiedAt":"2026-01-01T00:00:00Z","languageHint":"markdown"})";
        QCOMPARE(documentSnapshot(decoded(read), u"README.md"_s).value(),
                 (ProjectFileDocumentSnapshot{u"README.md"_s, u"# Hi"_s, u"r1"_s, 4, u"2026-01-01T00:00:00Z"_s,
                                              u"markdown"_s, false}));
        for (const char *key : {"content", "revision", "size", "modifiedAt"}) {
            QJsonObject reply = test::parseObject(read);
            reply.insert(QLatin1StringView(key), QJsonValue::Null); // as good as missing
            QCOMPARE(documentSnapshot(decoded(QJsonDocument(reply).toJson()), {}).error(),
                     ProjectFileServiceError::malformedResponse());
            reply.remove(QLatin1StringView(key));
            QVERIFY(!documentSnapshot(decoded(QJsonDocument(reply).toJson()), {}).hasValue());
        }
        const auto bare = decoded(R"({"type":"project_files_list","entries":[]})");
        QCOMPARE(directoryResult(bare, u"  "_s, true).value(), (ProjectDirectoryResult{u"  "_s, {}, true}));
        const auto full = decoded(R"({"type":"project_files_list","path":"docs","includeHidden":false,"entries":[]})");
        QCOMPARE(directoryResult(full, u"docs/"_s, true).value(), (ProjectDirectoryResult{u"docs"_s, {}, false}));
        QCOMPARE(directoryResult(decoded(R"({"type":"project_files_list"})"), {}, false).error(),
                 ProjectFileServiceError::malformedResponse());
    }

    void repliesThatEndTheRequest_data()
    {
        QTest::addColumn<QStringList>("helloReplies");
        QTest::addColumn<QStringList>("requestReplies");
        QTest::addColumn<ProjectFileServiceError>("error");
        const auto undecodable = ProjectFileServiceError::transport(
            u"Received a gateway event this app does not understand yet. The session stayed connected."_s);
        row("other requests' messages pass, their errors do not", QStringList{helloOk},
            QStringList{uR"({"type":"assistant_delta","delta":"chat"})"_s,
                        uR"({"type":"project_files_list","requestId":"OTHER","entries":[]})"_s,
                        uR"({"type":"error","requestId":"OTHER","code":"CONFLICT","message":"Changed."})"_s},
            ProjectFileServiceError::gateway(u"CONFLICT"_s, u"Changed."_s));
        row("a gateway without project files", QStringList{helloOk},
            QStringList{uR"({"type":"error","code":"BAD_REQUEST","message":"Request validation failed"})"_s},
            ProjectFileServiceError::unsupportedGateway());
        row("wrongly typed reply with the right id", QStringList{helloOk},
            QStringList{uR"({"type":"session_list","requestId":"ID"})"_s},
            ProjectFileServiceError::transport(u"Unexpected gateway response: session_list"_s));
        row("garbage", QStringList{helloOk}, QStringList{u"%%garbage%%"_s}, undecodable);
        row("entries of the wrong type", QStringList{helloOk},
            QStringList{uR"({"type":"project_files_list","requestId":"ID","entries":"x"})"_s}, undecodable);
        row("entry missing a key", QStringList{helloOk},
            QStringList{uR"({"type":"project_files_list","requestId":"ID","entries":[{"name":"a"}]})"_s}, undecodable);
        // The request has ended before its socket closes: it must not be sent.
        row("hello_ok after the end",
            QStringList{uR"({"type":"error","requestId":"OTHER","code":"DENIED","message":"No."})"_s, helloOk},
            QStringList{}, ProjectFileServiceError::gateway(u"DENIED"_s, u"No."_s));
        row("socket aborted", QStringList{helloOk}, QStringList{u"abort"_s},
            ProjectFileServiceError::transport(u"The remote host closed the connection"_s));
    }
    void repliesThatEndTheRequest()
    {
        QFETCH(QStringList, helloReplies);
        QFETCH(QStringList, requestReplies);
        QFETCH(ProjectFileServiceError, error);
        answer(helloReplies, requestReplies);
        Outcome<ProjectDirectoryResult> outcome;
        list(outcome);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->error(), error);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openSocketCount(), 0, waitMs);
        QCOMPARE(m_server->frames().size(), requestReplies.isEmpty() ? 1 : 2);
        QCOMPARE(outcome.calls, 1);
    }

    void silentGatewayTimesOutFromTheStartAndClosesTheSocket()
    {
        Outcome<GatewayServerEnvelope> outcome;
        QElapsedTimer clock;
        clock.start();
        ProjectFileService::performRequest(machine(), GatewayClientEnvelope::readProjectFile({}, u"a"_s),
                                           {u"project_file_read"_s}, this, outcome.callback(), 300ms);
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QVERIFY(clock.elapsed() >= 300);
        QCOMPARE(outcome.last->error().message(), u"The gateway did not respond in time."_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes().size(), 1, waitMs);
        QCOMPARE(m_server->frames().size(), 1); // the hello only
    }

    void refusedSocketEndsTheRequestOnce()
    {
        const MachineProfile refused = machine();
        m_server.reset();
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(refused, m_project, {}, false, this, outcome.callback());
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->error(), ProjectFileServiceError::transport(u"Connection refused"_s));
        QVERIFY(!QTest::qWaitFor([&] { return outcome.calls > 1; }, 200));
    }

    void goneContextGetsNoCallbackAndTheSocketStillCloses()
    {
        answer({helloOk}, {uR"({"type":"project_files_list","requestId":"ID","entries":[]})"_s});
        auto *context = new QObject;
        int calls = 0;
        ProjectFileService::listDirectory(machine(), m_project, {}, false, context,
                                          [&calls](const auto &) { ++calls; });
        delete context;
        QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes().size(), 1, waitMs);
        QCOMPARE(m_server->frames().size(), 2);
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
