#include "connection/GatewayClientError.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/DataRow.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"
#include "support/TestJson.h"

#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::row;
using test::transcriptLines;

constexpr int timeoutMs = 5000;

// The model against a scripted gateway on a loopback socket.
class tst_ModelConnection : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<test::LoopbackGatewayServer> m_server;
    TesselDesktopPOCModel *m_model = nullptr;

    void connectAndAuthenticate()
    {
        QVERIFY(m_harness->connectTo(*m_server));
        QCOMPARE(m_model->connectionState(), ConnectionState::connected());
    }
    void send(const char *json) { m_server->sockets().last()->sendTextMessage(QString::fromUtf8(json)); }
    QJsonObject lastFrame(const QString &type) const { return test::parseObject(m_server->framesOfType(type).last()); }

private Q_SLOTS:
    void init()
    {
        m_harness = std::make_unique<test::ModelHarness>();
        m_server = std::make_unique<test::LoopbackGatewayServer>();
        QVERIFY(m_server->listen());
        m_server->setAnswersHello(true);
        m_model = &m_harness->start();
        m_model->updateSelectedGatewayURL(m_server->url().toString());
        m_model->updateSelectedGatewayToken(u" tok "_s);
        m_model->updateSelectedProjectDirectory(u"  /srv/app\n"_s);
    }
    void cleanup()
    {
        m_harness.reset();
        m_server.reset();
    }

    void validationFailuresOpenNoSocket()
    {
        m_model->updateSelectedGatewayURL(u"   "_s);
        m_model->connect();
        QCOMPARE(m_model->connectionState(), ConnectionState::failed(u"Enter a valid websocket URL."_s));
        m_model->updateSelectedGatewayURL(m_server->url().toString());
        m_model->updateSelectedProjectDirectory(u" \n"_s);
        m_model->connect();
        QCOMPARE(m_model->connectionState(), ConnectionState::failed(u"Enter a project path to scope the session."_s));
        QCOMPARE(m_server->sockets().size(), 0);
    }

    // One session from the handshake to the project change that ends it.
    void sessionFromHelloToProjectChange()
    {
        const QString url = m_server->url().toString();
        m_model->connect();
        QCOMPARE(m_model->connectionSummary(), u"Opening websocket to "_s + url);
        QCOMPARE(transcriptLines(*m_model), QStringList{u"System: Connecting to "_s + url});
        QCOMPARE(m_model->currentSessionState(), SessionLifecycleState::starting);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_create"_s).size(), 1, timeoutMs);
        QCOMPARE(m_model->connectionSummary(), u"Connected to 127.0.0.1"_s);
        // Token and folder go out trimmed; the request keys and their order are checked end to end.
        QCOMPARE(lastFrame(u"hello"_s).value(u"token"_s), u"tok"_s);
        QCOMPARE(lastFrame(u"session_list"_s).value(u"cwd"_s), u"/srv/app"_s);

        send(R"({"type":"backend_catalog","backends":[{"kind":"codex","label":"Codex CLI","available":true}]})");
        send(R"({"type":"session_created","sessionId":"S1","backendSessionId":"B1","resumed":true,)"
             R"("contextUsage":{"usedTokens":950,"totalTokens":200000},"transcript":[)"
             R"({"role":"user","title":"You","body":"hi"},{"role":"thinking","title":"Thinking","body":"hm"}]})");
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);
        QCOMPARE(transcriptLines(*m_model),
                 (QStringList{u"You: hi"_s, u"Thinking: hm"_s, u"System: Reattached to existing session."_s}));
        QCOMPARE(m_model->selectedSessionID(), u"S1"_s);
        QCOMPARE(m_model->selectedBackendAvailabilityText(), u"Codex CLI is available on this gateway."_s);
        // Every session_created is followed by a new session list request.
        QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_list"_s).size(), 2, timeoutMs);

        // Deltas join one item, a tool item is replaced by its completion, unknown events and a
        // status without a state change nothing.
        for (const char *event :
             {R"({"type":"session_status","state":"running"})", R"({"type":"assistant_delta","itemId":"r1","delta":"Hel"})",
              R"({"type":"assistant_delta","itemId":"r1","delta":"lo"})",
              R"({"type":"tool_event","itemId":"t1","toolName":"shell","phase":"started"})",
              R"({"type":"tool_event","itemId":"t1","summary":"ls -la","phase":"completed"})",
              R"({"type":"voice_ready","anything":1})", R"({"type":"session_status"})",
              R"({"type":"session_metadata","sessionName":"Refactor","contextUsage":{"usedTokens":1500,"totalTokens":2000000}})",
              R"({"type":"assistant_complete","itemId":"r1","text":"Hello there."})"})
            send(event);
        QTRY_COMPARE_WITH_TIMEOUT(transcriptLines(*m_model).mid(3),
                                  (QStringList{u"Codex: Hello there."_s, u"Tool: Finished: ls -la"_s}), timeoutMs);
        QCOMPARE(m_model->currentSessionState(), SessionLifecycleState::running);
        QCOMPARE(m_model->currentSessionName(), u"Refactor"_s);
        QCOMPARE(m_model->currentBackendSessionID(), u"B1"_s);
        QCOMPARE(m_model->contextUsageText(), u"1.5k / 2m"_s);

        // Choosing another project ends the session and closes its socket.
        m_model->addProject();
        QCOMPARE(m_model->connectionState(), ConnectionState::disconnected());
        QCOMPARE(m_model->connectionSummary(), u"Selected project changed. Reconnect to open its chat."_s);
        QVERIFY(m_model->transcript()->items().isEmpty());
        QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes().size(), 1, timeoutMs);
    }

    void errorsFailOnlyTheHandshake()
    {
        m_server->setAnswersHello(false);
        m_server->setFrameHandler([](QWebSocket *socket, const QByteArray &frame) {
            if (test::frameType(frame) == "hello"_L1)
                socket->sendTextMessage(uR"({"type":"error","code":"UNAUTHORIZED","message":"Bad token."})"_s);
        });
        m_model->connect();
        QTRY_COMPARE_WITH_TIMEOUT(m_model->connectionState(), ConnectionState::failed(u"Bad token."_s), timeoutMs);
        QCOMPARE(m_model->connectionSummary(), u"Bad token."_s);
        QCOMPARE(transcriptLines(*m_model).last(), u"UNAUTHORIZED: Bad token."_s);

        // After it, neither a gateway error nor a frame that does not decode ends the connection.
        m_server->setAnswersHello(true);
        m_server->setFrameHandler({});
        connectAndAuthenticate();
        send("{not json");
        send(R"({"type":"error"})");
        QTRY_COMPARE_WITH_TIMEOUT(m_model->connectionSummary(), u"Unknown gateway error."_s, timeoutMs);
        QCOMPARE(transcriptLines(*m_model).filter(QRegularExpression(u"^(Decode|Gateway) Error:"_s)).size(), 2);
        QCOMPARE(m_model->connectionState(), ConnectionState::connected());
    }

    void reconnectThenTransportFailure()
    {
        connectAndAuthenticate();
        // A second connect drops the first client: what it still receives changes nothing.
        QWebSocket *first = m_server->sockets().first();
        m_model->connect();
        QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal}, timeoutMs);
        first->sendTextMessage(uR"({"type":"session_created","sessionId":"OLD"})"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_create"_s).size(), 2, timeoutMs);
        QCOMPARE(m_model->currentSessionID(), std::nullopt);

        // A lost socket fails the connection once, with one message in summary and transcript.
        send(R"({"type":"assistant_delta","itemId":"r1","delta":"partial"})");
        QTRY_COMPARE_WITH_TIMEOUT(transcriptLines(*m_model).last(), u"Codex: partial …"_s, timeoutMs);
        m_server->sockets().last()->abort();
        QTRY_COMPARE_WITH_TIMEOUT(m_model->connectionState().kind(), ConnectionState::Kind::failed, timeoutMs);
        const QString message = m_model->connectionState().failureMessage();
        QVERIFY2(message.startsWith(u"Could not connect to "_s + m_server->url().toString() + u": "_s),
                 qPrintable(message));
        QCOMPARE(m_model->connectionSummary(), message);
        QCOMPARE(transcriptLines(*m_model).count(u"Transport Error: "_s + message), 1);
    }

    void sendingTheComposer_data()
    {
        QTest::addColumn<QString>("draft");
        QTest::addColumn<bool>("sent");
        QTest::addColumn<QString>("last");
        row("trimmed and echoed", "  Fix the build \n", true, "You: Fix the build");
        row("blank stays in the composer", "   \n", false, "System: Session ready.");
        // Its JSON is just over 3,000,000 bytes; nothing may be lost or torn down for it.
        const QString oversized(3'000'000, u'x');
        const qint64 bytes = GatewayClientEnvelope::sendMessage(u"S1"_s, oversized).toJson().size();
        row("too large to send", oversized, false,
            u"Message Not Sent: "_s + GatewayClientError::messageTooLarge(bytes, 3'000'000).message());
    }
    void sendingTheComposer()
    {
        QFETCH(QString, draft);
        QFETCH(bool, sent);
        QFETCH(QString, last);
        connectAndAuthenticate();
        send(R"({"type":"session_created","sessionId":"S1"})");
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);

        m_model->setComposerText(draft);
        QCOMPARE(m_model->canSendMessage(), !draft.trimmed().isEmpty());
        m_model->sendComposerMessage();
        QCOMPARE(m_model->composerText(), sent ? QString() : draft);
        QCOMPARE(transcriptLines(*m_model).last(), last);

        // Whatever happened, the connection still carries the next message, and only that one
        // and the first when it was sent reach the gateway.
        m_model->setComposerText(u"next"_s);
        m_model->sendComposerMessage();
        const QStringList expected = sent ? QStringList{draft.trimmed(), u"next"_s} : QStringList{u"next"_s};
        QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_message"_s).size(), expected.size(), timeoutMs);
        QStringList texts;
        for (const QByteArray &frame : m_server->framesOfType(u"session_message"_s))
            texts << test::parseObject(frame).value(u"text"_s).toString();
        QCOMPARE(texts, expected);
        QCOMPARE(m_model->connectionState(), ConnectionState::connected());
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelConnection)
#include "tst_ModelConnection.moc"
