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
        return [this](const ProjectFileResult<T> &result) { ++calls, last.emplace(result); };
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

private Q_SLOTS:
    void init()
    {
        m_server = std::make_unique<LoopbackGatewayServer>();
        QVERIFY(m_server->listen());
    }

    // A request goes out once, after the first "hello_ok", with the project's directory
    // trimmed; the reply comes back as the result and the socket closes normally. Writing and
    // reading through the service against the demo gateway: tst_ModelEndToEnd.
    void requestsGoOutOnceAfterTheFirstHelloOk()
    {
        const QString entry = uR"({"name":"%1","path":"%1","kind":"file","size":3,"modifiedAt":"t","isHidden":false,)"
                              uR"("isText":true,"isMarkdown":false})"_s;
        answer({helloOk, helloOk},
               {uR"({"type":"project_files_list","requestId":"ID","entries":[%1,%2]})"_s.arg(entry.arg(u"b.txt"_s),
                                                                                             entry.arg(u"a.txt"_s))});
        Outcome<ProjectDirectoryResult> listed; // without a token, hello has none
        ProjectFileService::listDirectory(machine({}), m_project, u"  "_s, true, this, listed.callback());
        QTRY_COMPARE_WITH_TIMEOUT(listed.calls, 1, waitMs);
        QCOMPARE(listed.last->value().entries.first().path, u"b.txt"_s); // the gateway's order
        QStringList sent;
        for (const QByteArray &frame : m_server->frames()) {
            QJsonObject object = test::parseObject(frame);
            object.remove(u"requestId"_s), object.remove(u"client"_s);
            sent << QString::fromUtf8(QJsonDocument(object).toJson(QJsonDocument::Compact));
        }
        QCOMPARE(sent,
                 (QStringList{uR"({"type":"hello"})"_s,
                              uR"({"cwd":"/srv/demo","includeHidden":true,"type":"project_files_list"})"_s}));
        QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal}, waitMs);
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
            reply.remove(QLatin1StringView(key));
            QCOMPARE(documentSnapshot(decoded(QJsonDocument(reply).toJson()), {}).error(),
                     ProjectFileServiceError::malformedResponse());
        }
        const auto bare = decoded(R"({"type":"project_files_list","entries":[]})");
        QCOMPARE(directoryResult(bare, u"  "_s, true).value(), (ProjectDirectoryResult{u"  "_s, {}, true}));
        const auto full = decoded(R"({"type":"project_files_list","path":"docs","includeHidden":false,"entries":[]})");
        QCOMPARE(directoryResult(full, u"docs/"_s, true).value(), (ProjectDirectoryResult{u"docs"_s, {}, false}));
        QCOMPARE(directoryResult(decoded(R"({"type":"project_files_list"})"), {}, false).error(),
                 ProjectFileServiceError::malformedResponse());
    }

    // `url` is empty for the loopback gateway and "refused" for it once closed.
    void requestsThatEnd_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<QStringList>("helloReplies");
        QTest::addColumn<QStringList>("requestReplies");
        QTest::addColumn<ProjectFileServiceError>("error");
        QTest::addColumn<int>("frames");
        const QStringList none, hello{helloOk};
        const auto undecodable = ProjectFileServiceError::transport(
            u"Received a gateway event this app does not understand yet. The session stayed connected."_s);
        row("invalid URL", " ws://bad host:1 ", none, none,
            ProjectFileServiceError::invalidGatewayURL(u"ws://bad host:1"_s), 0);
        row("refused", "refused", none, none, ProjectFileServiceError::transport(u"Connection refused"_s), 0);
        row("other requests' messages pass, their errors do not", "", hello,
            QStringList{uR"({"type":"assistant_delta","delta":"chat"})"_s,
                        uR"({"type":"project_files_list","requestId":"OTHER","entries":[]})"_s,
                        uR"({"type":"error","requestId":"OTHER","code":"CONFLICT","message":"Changed."})"_s},
            ProjectFileServiceError::gateway(u"CONFLICT"_s, u"Changed."_s), 2);
        row("a gateway without project files", "", hello,
            QStringList{uR"({"type":"error","code":"BAD_REQUEST","message":"Request validation failed"})"_s},
            ProjectFileServiceError::unsupportedGateway(), 2);
        row("wrongly typed reply with the right id", "", hello,
            QStringList{uR"({"type":"session_list","requestId":"ID"})"_s},
            ProjectFileServiceError::transport(u"Unexpected gateway response: session_list"_s), 2);
        row("garbage", "", hello, QStringList{u"%%garbage%%"_s}, undecodable, 2);
        // The request has ended before its socket closes: it must not be sent.
        row("hello_ok after the end", "",
            QStringList{uR"({"type":"error","requestId":"OTHER","code":"DENIED","message":"No."})"_s, helloOk}, none,
            ProjectFileServiceError::gateway(u"DENIED"_s, u"No."_s), 1);
        row("socket aborted", "", hello, QStringList{u"abort"_s},
            ProjectFileServiceError::transport(u"The remote host closed the connection"_s), 2);
    }
    void requestsThatEnd()
    {
        QFETCH(QString, url);
        QFETCH(QStringList, helloReplies);
        QFETCH(QStringList, requestReplies);
        QFETCH(ProjectFileServiceError, error);
        QFETCH(int, frames);
        answer(helloReplies, requestReplies);
        MachineProfile gateway = machine();
        if (url == "refused"_L1)
            m_server = std::make_unique<LoopbackGatewayServer>(); // not listening
        else if (!url.isEmpty())
            gateway.gatewayURL = url;
        Outcome<ProjectDirectoryResult> outcome;
        ProjectFileService::listDirectory(gateway, m_project, {}, false, this, outcome.callback());
        QCOMPARE(outcome.calls, 0); // never called back before returning
        QTRY_COMPARE_WITH_TIMEOUT(outcome.calls, 1, waitMs);
        QCOMPARE(outcome.last->error(), error);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->openSocketCount(), 0, waitMs);
        QCOMPARE(m_server->frames().size(), frames);
        QVERIFY(!QTest::qWaitFor([&] { return outcome.calls > 1; }, 100));
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
