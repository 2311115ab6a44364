#include "desktop/DesktopNotifications.h"
#include "desktop/TurnNotifier.h"
#include "support/FakeNotificationServer.h"
#include "support/LoopbackGatewayServer.h"
#include "support/ModelHarness.h"
#include "support/PrivateDBusDaemon.h"

#include <QDBusPendingCallWatcher>
#include <QSignalSpy>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::FakeNotificationServer;

constexpr int timeoutMs = 5000;

// Turn notifications against a fake notification service on a private bus, with the model
// fed by a scripted gateway.
class tst_TurnNotifier : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();
    void notifiesOncePerTurnEndedWhileInactive_data();
    void notifiesOncePerTurnEndedWhileInactive();
    void bodyIsPlainTextForEveryService_data();
    void bodyIsPlainTextForEveryService();
    void namesAnUnnamedSessionAfterItsProject();
    void clickReturnsToTheSession();
    void missingServiceIsIgnoredUntilOneAppears();

private:
    void startSession(const QString &sessionName);
    void sendFromGateway(const QString &json);
    // One turn: running, a streamed reply, then idle; or an error while running, then idle.
    void runTurn(const QString &reply, bool endsWithError = false);
    bool registerService();
    // Returns once the bus has answered a call made now on the notifications' connection,
    // and so every call they made before.
    void busRoundTrip();

    std::unique_ptr<test::PrivateDBusDaemon> m_bus;
    std::unique_ptr<FakeNotificationServer> m_service;
    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<test::LoopbackGatewayServer> m_gateway;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::unique_ptr<TurnNotifier> m_notifier;
    TesselDesktopPOCModel *m_model = nullptr;
    int m_connections = 0;
    QString m_clientName;
};

void tst_TurnNotifier::init()
{
    m_bus = std::make_unique<test::PrivateDBusDaemon>();
    QVERIFY2(m_bus->start(), qPrintable(m_bus->error()));
    m_service = std::make_unique<FakeNotificationServer>();
    m_harness = std::make_unique<test::ModelHarness>();
    m_model = &m_harness->start();
    m_gateway = std::make_unique<test::LoopbackGatewayServer>();
    QVERIFY(m_gateway->listen());
    m_gateway->setAnswersHello(true);
    m_model->updateSelectedGatewayURL(m_gateway->url().toString());
    m_model->updateSelectedProjectDirectory(u"/srv/parser"_s);
    m_model->updateSelectedProjectName(u"parser"_s);
    m_clientName = u"client-%1"_s.arg(++m_connections);
    const QDBusConnection client = QDBusConnection::connectToBus(m_bus->address(), m_clientName);
    m_notifications = std::make_unique<DesktopNotifications>(client, u"Tessel Desktop POC"_s, u"dev.tessel.test"_s);
    m_notifier = std::make_unique<TurnNotifier>(*m_model, m_harness->settings, *m_notifications);
}

void tst_TurnNotifier::cleanup()
{
    m_notifier.reset();
    m_notifications.reset();
    m_model = nullptr;
    m_harness.reset();
    m_gateway.reset();
    m_service.reset();
    m_bus.reset();
}

bool tst_TurnNotifier::registerService()
{
    return m_service->registerOn(QDBusConnection::connectToBus(m_bus->address(), u"service-%1"_s.arg(++m_connections)));
}

void tst_TurnNotifier::busRoundTrip()
{
    const QDBusMessage call = QDBusMessage::createMethodCall(u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s,
                                                             u"org.freedesktop.DBus"_s, u"GetId"_s);
    QDBusPendingCallWatcher watcher(QDBusConnection(m_clientName).asyncCall(call));
    QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
    QVERIFY(finished.wait(timeoutMs));
}

void tst_TurnNotifier::startSession(const QString &sessionName)
{
    m_model->connect();
    QTRY_COMPARE_WITH_TIMEOUT(m_gateway->framesOfType(u"session_create"_s).size(), 1, timeoutMs);
    sendFromGateway(
        uR"({"type":"session_created","sessionId":"S1","sessionName":"%1","state":"idle"})"_s.arg(sessionName));
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);
}

void tst_TurnNotifier::sendFromGateway(const QString &json)
{
    // The chat's socket; file requests open sockets of their own.
    m_gateway->sockets().first()->sendTextMessage(json);
}

void tst_TurnNotifier::runTurn(const QString &reply, bool endsWithError)
{
    const qsizetype items = m_model->transcript()->items().size();
    QSignalSpy states(m_model, &TesselDesktopPOCModel::currentSessionStateChanged);
    sendFromGateway(uR"({"type":"session_status","state":"running"})"_s);
    sendFromGateway(uR"({"type":"assistant_delta","itemId":"%1","delta":"%2"})"_s.arg(items).arg(reply));
    sendFromGateway(endsWithError ? uR"({"type":"error","code":"SESSION_BUSY","message":"Still busy.\nRetry."})"_s
                                  : uR"({"type":"assistant_complete","itemId":"%1"})"_s.arg(items));
    sendFromGateway(uR"({"type":"session_status","state":"idle"})"_s);
    // Running, then idle again.
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, timeoutMs);
}

void tst_TurnNotifier::notifiesOncePerTurnEndedWhileInactive_data()
{
    // One letter a turn: I inactive, A active, E inactive and ended by an error, O inactive
    // with notifications turned off. Turn n replies "Reply n".
    QTest::addColumn<QString>("turns");
    QTest::addColumn<QStringList>("bodies");
    QTest::newRow("inactive") << u"I"_s << QStringList{u"Reply 1"_s};
    QTest::newRow("active, then inactive") << u"AI"_s << QStringList{u"Reply 2"_s};
    QTest::newRow("an error ends the turn once")
        << u"EI"_s << QStringList{u"SESSION_BUSY: Still busy."_s, u"Reply 2"_s};
    QTest::newRow("turned off, then on") << u"OI"_s << QStringList{u"Reply 2"_s};
}

void tst_TurnNotifier::notifiesOncePerTurnEndedWhileInactive()
{
    QFETCH(QString, turns);
    QFETCH(QStringList, bodies);
    QVERIFY(registerService());
    startSession(u"Fix the parser"_s);
    for (qsizetype turn = 0; turn < turns.size(); ++turn) {
        m_notifier->setWindowActive(turns[turn] == u'A');
        m_harness->settings.setValue(QString::fromLatin1(TurnNotifier::settingsKey), turns[turn] != u'O');
        runTurn(u"\\n  Reply %1  \\nand more"_s.arg(turn + 1), turns[turn] == u'E');
    }
    // Notifications go out in order: once the last has arrived, any earlier one would have.
    QTRY_COMPARE_WITH_TIMEOUT(m_service->received.size(), bodies.size(), timeoutMs);
    QStringList received;
    for (const auto &notification : std::as_const(m_service->received)) {
        received << notification.body;
        QCOMPARE(notification.summary, u"Fix the parser"_s);
        QCOMPARE(notification.applicationName, u"Tessel Desktop POC"_s);
        QCOMPARE(notification.actions.first(), u"default"_s);
        QCOMPARE(notification.hints.value(u"desktop-entry"_s).toString(), u"dev.tessel.test"_s);
    }
    QCOMPARE(received, bodies);
}

void tst_TurnNotifier::bodyIsPlainTextForEveryService_data()
{
    QTest::addColumn<QStringList>("capabilities");
    QTest::addColumn<QString>("body");
    const QString reply = u"if a < b && c > d: <b>x</b>"_s;
    QTest::newRow("renders markup") << QStringList{u"body"_s, u"body-markup"_s}
                                    << u"if a &lt; b &amp;&amp; c &gt; d: &lt;b&gt;x&lt;/b&gt;"_s;
    QTest::newRow("shows text as sent") << QStringList{u"body"_s} << reply;
}

void tst_TurnNotifier::bodyIsPlainTextForEveryService()
{
    QFETCH(QStringList, capabilities);
    QFETCH(QString, body);
    m_service->capabilities = capabilities;
    QVERIFY(registerService());
    startSession(u"A <very> long name "_s.repeated(8));
    runTurn(u"if a < b && c > d: <b>x</b>"_s);
    runTurn(u"x"_s.repeated(500));
    QTRY_COMPARE_WITH_TIMEOUT(m_service->received.size(), 2, timeoutMs);
    QCOMPARE(m_service->received[0].body, body);
    // Bounded, and the summary is never markup.
    QCOMPARE(m_service->received[0].summary.size(), TurnNotifier::maxSummaryLength);
    QVERIFY(m_service->received[0].summary.startsWith(u"A <very> long name A <very>"_s));
    QVERIFY(m_service->received[0].summary.endsWith(u'\u2026'));
    QCOMPARE(m_service->received[1].body.size(), TurnNotifier::maxBodyLength);
}

void tst_TurnNotifier::namesAnUnnamedSessionAfterItsProject()
{
    QVERIFY(registerService());
    startSession(u"  "_s);
    runTurn(QString());
    QTRY_COMPARE_WITH_TIMEOUT(m_service->received.size(), 1, timeoutMs);
    QCOMPARE(m_service->received[0].summary, u"Codex session in parser"_s);
    QCOMPARE(m_service->received[0].body, u"Finished without a reply."_s);
}

void tst_TurnNotifier::clickReturnsToTheSession()
{
    QVERIFY(registerService());
    m_gateway->setFrameHandler([this](QWebSocket *socket, const QByteArray &frame) {
        if (test::frameType(frame) == "session_list"_L1)
            socket->sendTextMessage(
                uR"({"type":"session_list","sessions":[{"id":"S1","backend":"codex","cwd":"/srv/parser",)"
                R"("sessionKey":"k1","title":"Fix the parser","source":"live","state":"idle","lastUpdatedAt":"t"},)"
                R"({"id":"S2","backend":"codex","cwd":"/srv/parser","sessionKey":"k2","title":"Other",)"
                R"("source":"live","state":"idle","lastUpdatedAt":"t"}]})"_s);
    });
    startSession(u"Fix the parser"_s);
    runTurn(u"Done."_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->received.size(), 1, timeoutMs);

    // Meanwhile the person has moved to another session and tab.
    sendFromGateway(uR"({"type":"session_created","sessionId":"S2","state":"idle"})"_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S2"_s, timeoutMs);
    QTRY_COMPARE_WITH_TIMEOUT(m_model->sessions().size(), 2, timeoutMs);
    m_model->setWorkspaceTab(ProjectWorkspaceTab::files);
    QSignalSpy windowRequests(m_notifier.get(), &TurnNotifier::windowRequested);
    const qsizetype opened = m_gateway->framesOfType(u"session_create"_s).size();
    m_service->click(m_service->received[0].id);
    QVERIFY(windowRequests.wait(timeoutMs));
    QCOMPARE(windowRequests.first().first().toString(), u"token-1"_s);
    QCOMPARE(m_model->workspaceTab(), ProjectWorkspaceTab::chat);
    QTRY_COMPARE_WITH_TIMEOUT(m_gateway->framesOfType(u"session_create"_s).size(), opened + 1, timeoutMs);
    QVERIFY(m_gateway->framesOfType(u"session_create"_s).last().contains(R"("sessionId":"S1")"));
}

void tst_TurnNotifier::missingServiceIsIgnoredUntilOneAppears()
{
    startSession(u"Fix the parser"_s);
    runTurn(u"Lost."_s);
    // The question for the capabilities fails, then the notification itself.
    for (int call = 0; call < 2; ++call)
        busRoundTrip();
    QVERIFY(registerService());
    runTurn(u"Shown."_s);
    QTRY_COMPARE_WITH_TIMEOUT(m_service->received.size(), 1, timeoutMs);
    QCOMPARE(m_service->received[0].body, u"Shown."_s);
}

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_TurnNotifier)
#include "tst_TurnNotifier.moc"
