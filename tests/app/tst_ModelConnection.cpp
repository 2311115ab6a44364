#include "connection/GatewayClientError.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"
#include "support/TestJson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::LoopbackGatewayServer;
using test::ModelHarness;

constexpr int timeoutMs = 5000;

class tst_ModelConnection : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void validationFailuresOpenNoSocket();
    void helloStartsTheSessionSequence();
    void gatewayEventsUpdateStateAndTranscript();
    void errorsFailOnlyTheHandshake();
    void undecodableFrameKeepsTheConnection();
    void transportFailureLeavesOneConsistentState();
    void reconnectingDropsTheOldClientsMessages();
    void selectingAnotherProjectEndsTheSession();
    void sendingTheComposer_data();
    void sendingTheComposer();
    void openingAListedSessionSwitchesBackend();

private:
    // Connects the model to the loopback server and waits for the post-hello requests.
    void connectAndAuthenticate();
    void sendFromGateway(const QByteArray &json);
    QStringList transcriptBodies() const;

    std::unique_ptr<ModelHarness> m_harness;
    std::unique_ptr<LoopbackGatewayServer> m_server;
    TesselDesktopPOCModel *m_model = nullptr;
};

void tst_ModelConnection::init()
{
    m_harness = std::make_unique<ModelHarness>();
    m_server = std::make_unique<LoopbackGatewayServer>();
    QVERIFY(m_server->listen());
    m_server->setAnswersHello(true);
    m_model = &m_harness->start();
    m_model->updateSelectedGatewayURL(m_server->url().toString());
    m_model->updateSelectedGatewayToken(u" tok "_s);
    m_model->updateSelectedProjectDirectory(u"  /srv/app\n"_s);
}

void tst_ModelConnection::cleanup()
{
    m_model = nullptr;
    m_harness.reset();
    m_server.reset();
}

void tst_ModelConnection::connectAndAuthenticate()
{
    m_model->connect();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_create"_s).size(), 1, timeoutMs);
    QCOMPARE(m_model->connectionState(), ConnectionState::connected());
}

void tst_ModelConnection::sendFromGateway(const QByteArray &json)
{
    m_server->sockets().last()->sendTextMessage(QString::fromUtf8(json));
    m_server->sockets().last()->flush();
}

QStringList tst_ModelConnection::transcriptBodies() const
{
    QStringList bodies;
    for (const auto &item : m_model->transcript()->items())
        bodies << item.body;
    return bodies;
}

void tst_ModelConnection::validationFailuresOpenNoSocket()
{
    m_model->updateSelectedGatewayURL(u"   "_s);
    m_model->connect();
    QCOMPARE(m_model->connectionState(), ConnectionState::failed(u"Enter a valid websocket URL."_s));
    m_model->updateSelectedGatewayURL(m_server->url().toString());
    m_model->updateSelectedProjectDirectory(u" \n"_s);
    m_model->connect();
    QCOMPARE(m_model->connectionState(), ConnectionState::failed(u"Enter a project path to scope the session."_s));
    QCOMPARE(m_model->connectionSummary(), u"Selected project changed. Reconnect to open its chat."_s);
    QCOMPARE(m_server->sockets().size(), 0);
}

void tst_ModelConnection::helloStartsTheSessionSequence()
{
    const QString url = m_server->url().toString();
    m_model->connect();
    QCOMPARE(m_model->connectionState(), ConnectionState::connecting());
    QCOMPARE(m_model->connectionSummary(), u"Opening websocket to "_s + url);
    QCOMPARE(transcriptBodies(), QStringList{u"Connecting to "_s + url});
    QCOMPARE(m_model->currentSessionState(), SessionLifecycleState::starting);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_create"_s).size(), 1, timeoutMs);

    QCOMPARE(m_model->connectionSummary(), u"Connected to 127.0.0.1"_s);
    QCOMPARE(m_model->serverVersion(), u"loopback"_s);
    QCOMPARE(transcriptBodies().last(), u"Authenticated with gateway loopback"_s);
    const QJsonObject hello = test::parseObject(m_server->framesOfType(u"hello"_s).first());
    QCOMPARE(hello.value(u"token"_s).toString(), u"tok"_s);
    const QJsonObject list = test::parseObject(m_server->framesOfType(u"session_list"_s).first());
    QCOMPARE(list.value(u"cwd"_s).toString(), u"/srv/app"_s);
    QCOMPARE(list.value(u"backend"_s).toString(), u"codex"_s);
    QCOMPARE(m_server->framesOfType(u"list_backends"_s).size(), 1);
    const QByteArray create = m_server->framesOfType(u"session_create"_s).first();
    QCOMPARE(test::sortedKeys(create), (QStringList{u"backend"_s, u"cwd"_s, u"requestId"_s, u"type"_s}));
    // The automatic session request follows the backend list on the wire.
    QVERIFY(m_server->frames().indexOf(create) >
            m_server->frames().indexOf(m_server->framesOfType(u"list_backends"_s).first()));
}

void tst_ModelConnection::gatewayEventsUpdateStateAndTranscript()
{
    connectAndAuthenticate();
    sendFromGateway(R"({"type":"backend_catalog","backends":[{"kind":"codex","label":"Codex CLI","available":true}]})");
    sendFromGateway(R"({"type":"session_created","sessionId":"S1","backendSessionId":"B1","resumed":true,)"
                    R"("contextUsage":{"usedTokens":950,"totalTokens":200000},"transcript":[)"
                    R"({"role":"user","title":"You","body":"hi"},{"role":"thinking","title":"Thinking","body":"hm"},)"
                    R"({"role":"assistant","title":"Codex","body":"hello","itemId":"a0"}]})");
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);
    QCOMPARE(m_model->transcript()->items().size(), 4);
    QCOMPARE(transcriptBodies().last(), u"Reattached to existing session."_s);
    QCOMPARE(m_model->selectedSessionID(), u"S1"_s);
    QCOMPARE(m_model->currentSessionState(), SessionLifecycleState::ready);
    QCOMPARE(m_model->contextUsageText(), u"950 / 200k"_s);
    QCOMPARE(m_model->selectedBackendAvailabilityText(), u"Codex CLI is available on this gateway."_s);
    // Every session_created is followed by a new session list request.
    QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_list"_s).size(), 2, timeoutMs);

    sendFromGateway(R"({"type":"session_status","state":"running"})");
    sendFromGateway(R"({"type":"assistant_delta","itemId":"r1","delta":"Hel"})");
    sendFromGateway(R"({"type":"assistant_delta","itemId":"r1","delta":"lo"})");
    sendFromGateway(R"({"type":"tool_event","itemId":"t1","toolName":"shell","phase":"started"})");
    sendFromGateway(R"({"type":"tool_event","itemId":"t1","summary":"ls -la","phase":"completed"})");
    sendFromGateway(R"({"type":"voice_ready","anything":1})");
    sendFromGateway(R"({"type":"session_status"})");
    sendFromGateway(
        R"({"type":"session_metadata","sessionName":"Refactor","contextUsage":{"usedTokens":1500,"totalTokens":2000000}})");
    sendFromGateway(R"({"type":"assistant_complete","itemId":"r1","text":"Hello there."})");
    QTRY_COMPARE_WITH_TIMEOUT(m_model->transcript()->items().size(), 6, timeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(!m_model->transcript()->items()[4].isStreaming, timeoutMs);
    const auto &items = m_model->transcript()->items();
    QCOMPARE(items[4].body, u"Hello there."_s);
    QCOMPARE(items[4].title, u"Codex"_s);
    QCOMPARE(items[5].role, DesktopTranscriptRole::tool);
    QCOMPARE(items[5].body, u"Finished: ls -la"_s);
    QVERIFY(!items[5].isStreaming);
    QCOMPARE(m_model->currentSessionState(), SessionLifecycleState::running);
    QVERIFY(m_model->canAbort());
    QCOMPARE(m_model->currentSessionName(), u"Refactor"_s);
    QCOMPARE(m_model->currentBackendSessionID(), u"B1"_s);
    QCOMPARE(m_model->contextUsageText(), u"1.5k / 2m"_s);
    QCOMPARE(m_model->connectionState(), ConnectionState::connected());
}

void tst_ModelConnection::errorsFailOnlyTheHandshake()
{
    m_server->setAnswersHello(false);
    m_server->setFrameHandler([](QWebSocket *socket, const QByteArray &frame) {
        if (test::frameType(frame) == "hello"_L1)
            socket->sendTextMessage(uR"({"type":"error","code":"UNAUTHORIZED","message":"Bad token."})"_s);
    });
    m_model->connect();
    QTRY_COMPARE_WITH_TIMEOUT(m_model->connectionState(), ConnectionState::failed(u"Bad token."_s), timeoutMs);
    QCOMPARE(m_model->connectionSummary(), u"Bad token."_s);
    QCOMPARE(m_model->transcript()->items().last().title, u"UNAUTHORIZED"_s);

    m_server->setAnswersHello(true);
    m_server->setFrameHandler({});
    connectAndAuthenticate();
    sendFromGateway(R"({"type":"error"})");
    QTRY_COMPARE_WITH_TIMEOUT(m_model->connectionSummary(), u"Unknown gateway error."_s, timeoutMs);
    QCOMPARE(m_model->transcript()->items().last().title, u"Gateway Error"_s);
    QCOMPARE(m_model->connectionState(), ConnectionState::connected());
}

void tst_ModelConnection::undecodableFrameKeepsTheConnection()
{
    connectAndAuthenticate();
    sendFromGateway("{not json");
    sendFromGateway(R"({"type":"session_status","state":"idle"})");
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionState(), SessionLifecycleState::idle, timeoutMs);
    int decodeErrors = 0;
    for (const auto &item : m_model->transcript()->items())
        decodeErrors += item.title == "Decode Error"_L1;
    QCOMPARE(decodeErrors, 1);
    QCOMPARE(m_model->connectionState(), ConnectionState::connected());
}

void tst_ModelConnection::transportFailureLeavesOneConsistentState()
{
    connectAndAuthenticate();
    sendFromGateway(R"({"type":"assistant_delta","itemId":"r1","delta":"partial"})");
    QTRY_COMPARE_WITH_TIMEOUT(transcriptBodies().last(), u"partial"_s, timeoutMs);
    m_server->sockets().last()->abort();
    QTRY_COMPARE_WITH_TIMEOUT(m_model->connectionState().kind(), ConnectionState::Kind::failed, timeoutMs);
    const QString message = m_model->connectionState().failureMessage();
    QVERIFY2(message.startsWith(u"Could not connect to "_s + m_server->url().toString() + u": "_s),
             qPrintable(message));
    QCOMPARE(m_model->connectionSummary(), message);
    int transportErrors = 0;
    for (const auto &item : m_model->transcript()->items())
        transportErrors += item.title == "Transport Error"_L1 && item.body == message;
    QCOMPARE(transportErrors, 1);
}

void tst_ModelConnection::reconnectingDropsTheOldClientsMessages()
{
    connectAndAuthenticate();
    QWebSocket *first = m_server->sockets().first();
    m_model->connect();
    QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes().size(), 1, timeoutMs);
    QCOMPARE(m_server->closeCodes().first(), QWebSocketProtocol::CloseCodeNormal);
    first->sendTextMessage(uR"({"type":"session_created","sessionId":"OLD"})"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_create"_s).size(), 2, timeoutMs);
    QCOMPARE(m_model->currentSessionID(), std::nullopt);
    QVERIFY(transcriptBodies().first().startsWith(u"Connecting to "_s));
}

void tst_ModelConnection::selectingAnotherProjectEndsTheSession()
{
    connectAndAuthenticate();
    m_model->addProject();
    QCOMPARE(m_model->connectionState(), ConnectionState::disconnected());
    QCOMPARE(m_model->connectionSummary(), u"Selected project changed. Reconnect to open its chat."_s);
    QVERIFY(m_model->transcript()->items().isEmpty());
    QTRY_COMPARE_WITH_TIMEOUT(m_server->closeCodes().size(), 1, timeoutMs);
}

void tst_ModelConnection::sendingTheComposer_data()
{
    QTest::addColumn<QString>("draft");
    QTest::addColumn<bool>("sent");
    QTest::addColumn<QString>("lastTitle");
    QTest::addColumn<QString>("lastBody");
    QTest::newRow("trimmed and echoed") << u"  Fix the build \n"_s << true << u"You"_s << u"Fix the build"_s;
    QTest::newRow("blank stays in the composer") << u"   \n"_s << false << u"System"_s << u"Session ready."_s;
    // Its JSON is just over 3,000,000 bytes; nothing may be lost or torn down for it.
    const QString oversized(3'000'000, u'x');
    const qint64 bytes = GatewayClientEnvelope::sendMessage(u"S1"_s, oversized).toJson().size();
    QTest::newRow("too large to send") << oversized << false << u"Message Not Sent"_s
                                       << GatewayClientError::messageTooLarge(bytes, 3'000'000).message();
}

void tst_ModelConnection::sendingTheComposer()
{
    QFETCH(QString, draft);
    QFETCH(bool, sent);
    QFETCH(QString, lastTitle);
    QFETCH(QString, lastBody);
    connectAndAuthenticate();
    sendFromGateway(R"({"type":"session_created","sessionId":"S1"})");
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);

    m_model->setComposerText(draft);
    QCOMPARE(m_model->canSendMessage(), !draft.trimmed().isEmpty());
    m_model->sendComposerMessage();
    QCOMPARE(m_model->composerText(), sent ? QString() : draft);
    QCOMPARE(m_model->transcript()->items().last().title, lastTitle);
    QCOMPARE(m_model->transcript()->items().last().body, lastBody);

    // Whatever happened, the connection still carries the next message, and only that one
    // and the first when it was sent reach the gateway.
    m_model->setComposerText(u"next"_s);
    m_model->sendComposerMessage();
    const QStringList expected = sent ? QStringList{draft.trimmed(), u"next"_s} : QStringList{u"next"_s};
    QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_message"_s).size(), expected.size(), timeoutMs);
    QStringList texts;
    for (const QByteArray &frame : m_server->framesOfType(u"session_message"_s)) {
        const QJsonObject message = test::parseObject(frame);
        QCOMPARE(message.value(u"delivery"_s).toString(), u"default"_s);
        QCOMPARE(message.value(u"sessionId"_s).toString(), u"S1"_s);
        texts << message.value(u"text"_s).toString();
    }
    QCOMPARE(texts, expected);
    QCOMPARE(m_model->connectionState(), ConnectionState::connected());
}

void tst_ModelConnection::openingAListedSessionSwitchesBackend()
{
    connectAndAuthenticate();
    sendFromGateway(
        R"({"type":"session_list","sessions":[)"
        R"({"id":"P1","source":"saved","backend":"pi","cwd":"","sessionKey":"k","state":"idle","title":"Old pi chat","lastUpdatedAt":"t"}]})");
    QTRY_COMPARE_WITH_TIMEOUT(m_model->sessions().size(), 1, timeoutMs);
    QCOMPARE(m_model->selectedSessionID(), u"P1"_s);
    QVERIFY(m_model->canOpenSelectedSession());
    m_model->openSelectedSession();
    QCOMPARE(m_model->backend(), BackendKind::pi);
    QCOMPARE(m_model->selectedSessionID(), std::nullopt);
    QCOMPARE(transcriptBodies(), QStringList{u"Reattaching to session Old pi chat"_s});
    QTRY_COMPARE_WITH_TIMEOUT(m_server->framesOfType(u"session_create"_s).size(), 2, timeoutMs);
    const QByteArray open = m_server->framesOfType(u"session_create"_s).last();
    QCOMPARE(test::sortedKeys(open), (QStringList{u"backend"_s, u"requestId"_s, u"sessionId"_s, u"type"_s}));
    // The backend change asks for that backend's sessions.
    QTRY_VERIFY_WITH_TIMEOUT(
        test::parseObject(m_server->framesOfType(u"session_list"_s).last()).value(u"backend"_s).toString() == u"pi"_s,
        timeoutMs);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_ModelConnection)
#include "tst_ModelConnection.moc"
