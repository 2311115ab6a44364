#include "desktop/DesktopNotifications.h"
#include "desktop/TurnNotifier.h"
#include "support/DataRow.h"
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

using test::row;

constexpr int timeoutMs = 5000;

// Turn notifications against a fake notification service on a private bus, with the model
// fed by a scripted gateway.
class tst_TurnNotifier : public QObject
{
    Q_OBJECT

    std::unique_ptr<test::PrivateDBusDaemon> m_bus;
    std::unique_ptr<test::FakeNotificationServer> m_service;
    std::unique_ptr<test::ModelHarness> m_harness;
    std::unique_ptr<test::LoopbackGatewayServer> m_gateway;
    std::unique_ptr<DesktopNotifications> m_notifications;
    std::unique_ptr<TurnNotifier> m_notifier;
    TesselDesktopPOCModel *m_model = nullptr;
    int m_connections = 0;
    QString m_clientName; // the notifications' connection

    QDBusConnection newConnection()
    {
        return QDBusConnection::connectToBus(m_bus->address(), u"bus-%1"_s.arg(++m_connections));
    }
    bool registerService() { return m_service->registerOn(newConnection()); }
    // The chat's socket; file requests open sockets of their own.
    void send(const QString &json) { m_gateway->sockets().first()->sendTextMessage(json); }
    void startSession(const QString &sessionName)
    {
        QVERIFY(m_harness->connectTo(*m_gateway));
        send(uR"({"type":"session_created","sessionId":"S1","sessionName":"%1","state":"idle"})"_s.arg(sessionName));
        QTRY_COMPARE_WITH_TIMEOUT(m_model->currentSessionID(), u"S1"_s, timeoutMs);
    }
    // One turn: running, a streamed reply, then idle; or an error while running, then idle.
    void runTurn(const QString &reply, bool endsWithError = false)
    {
        const qsizetype item = m_model->transcript()->items().size();
        QSignalSpy states(m_model, &TesselDesktopPOCModel::currentSessionStateChanged);
        send(uR"({"type":"session_status","state":"running"})"_s);
        send(uR"({"type":"assistant_delta","itemId":"%1","delta":"%2"})"_s.arg(item).arg(reply));
        send(endsWithError ? uR"({"type":"error","code":"SESSION_BUSY","message":"Still busy.\nRetry."})"_s
                           : uR"({"type":"assistant_complete","itemId":"%1"})"_s.arg(item));
        send(uR"({"type":"session_status","state":"idle"})"_s);
        QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, timeoutMs); // running, then idle again
    }
    QStringList bodies() const
    {
        QStringList values;
        for (const auto &notification : std::as_const(m_service->received))
            values << notification.body;
        return values;
    }

private Q_SLOTS:
    void init()
    {
        m_bus = std::make_unique<test::PrivateDBusDaemon>();
        QVERIFY2(m_bus->start(), qPrintable(m_bus->error()));
        m_service = std::make_unique<test::FakeNotificationServer>();
        m_harness = std::make_unique<test::ModelHarness>();
        m_model = &m_harness->start();
        m_gateway = std::make_unique<test::LoopbackGatewayServer>();
        QVERIFY(m_gateway->listen());
        m_gateway->setAnswersHello(true);
        m_model->updateSelectedProjectDirectory(u"/srv/parser"_s);
        const QDBusConnection client = newConnection();
        m_clientName = client.name();
        m_notifications = std::make_unique<DesktopNotifications>(client, u"Tessel Desktop POC"_s, u"dev.tessel.test"_s);
        m_notifier = std::make_unique<TurnNotifier>(*m_model, m_harness->settings, *m_notifications);
    }
    void cleanup()
    {
        m_notifier.reset();
        m_notifications.reset();
        m_harness.reset();
        m_gateway.reset();
        m_service.reset();
        m_bus.reset();
    }

    void notifiesOncePerTurnEndedWhileInactive_data()
    {
        // One letter a turn: I inactive, A active, E inactive and ended by an error, O inactive
        // with notifications turned off. Turn n replies "Reply n".
        QTest::addColumn<QString>("turns");
        QTest::addColumn<QStringList>("bodies");
        row("inactive", "I", QStringList{u"Reply 1"_s});
        row("active, then inactive", "AI", QStringList{u"Reply 2"_s});
        row("an error ends the turn once", "EI", QStringList{u"SESSION_BUSY: Still busy."_s, u"Reply 2"_s});
        row("turned off, then on", "OI", QStringList{u"Reply 2"_s});
    }
    void notifiesOncePerTurnEndedWhileInactive()
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
        QCOMPARE(this->bodies(), bodies);
        const auto &last = m_service->received.last();
        QCOMPARE(QStringList({last.summary, last.applicationName, last.actions.first(),
                              last.hints.value(u"desktop-entry"_s).toString()}),
                 QStringList({u"Fix the parser"_s, u"Tessel Desktop POC"_s, u"default"_s, u"dev.tessel.test"_s}));
    }

    // The summary and body are bounded; the summary is never markup, the body is escaped for
    // services that render it. An unnamed session is named after its project.
    void textIsPlainAndBounded_data()
    {
        QTest::addColumn<QStringList>("capabilities");
        QTest::addColumn<QString>("sessionName");
        QTest::addColumn<QString>("summary");
        QTest::addColumn<QString>("body");
        const QString longName = u"A <very> long name "_s.repeated(8);
        const QString shortened = longName.left(TurnNotifier::maxSummaryLength - 1) + u'\u2026';
        row("renders markup", QStringList{u"body"_s, u"body-markup"_s}, longName, shortened,
            "if a &lt; b &amp;&amp; c &gt; d: &lt;b&gt;x&lt;/b&gt;");
        row("shows text as sent", QStringList{u"body"_s}, longName, shortened, "if a < b && c > d: <b>x</b>");
        row("unnamed session", QStringList{u"body"_s}, "  ", "Codex session in parser", "Finished without a reply.");
    }
    void textIsPlainAndBounded()
    {
        QFETCH(QStringList, capabilities);
        QFETCH(QString, sessionName);
        QFETCH(QString, summary);
        QFETCH(QString, body);
        m_service->capabilities = capabilities;
        QVERIFY(registerService());
        startSession(sessionName);
        runTurn(body.startsWith(u"Finished"_s) ? QString() : u"if a < b && c > d: <b>x</b>"_s);
        runTurn(u"x"_s.repeated(500));
        QTRY_COMPARE_WITH_TIMEOUT(m_service->received.size(), 2, timeoutMs);
        QCOMPARE(m_service->received[0].summary, summary);
        QCOMPARE(m_service->received[0].body, body);
        QCOMPARE(m_service->received[1].body.size(), TurnNotifier::maxBodyLength);
    }

    void clickReturnsToTheSession()
    {
        QVERIFY(registerService());
        m_gateway->setFrameHandler([](QWebSocket *socket, const QByteArray &frame) {
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
        send(uR"({"type":"session_created","sessionId":"S2","state":"idle"})"_s);
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

    void missingServiceIsIgnoredUntilOneAppears()
    {
        startSession(u"Fix the parser"_s);
        runTurn(u"Lost."_s);
        // The question for the capabilities fails, then the notification itself: two round
        // trips on the notifications' connection see both answered.
        for (int call = 0; call < 2; ++call) {
            QDBusPendingCallWatcher watcher(QDBusConnection(m_clientName).asyncCall(QDBusMessage::createMethodCall(
                u"org.freedesktop.DBus"_s, u"/org/freedesktop/DBus"_s, u"org.freedesktop.DBus"_s, u"GetId"_s)));
            QSignalSpy finished(&watcher, &QDBusPendingCallWatcher::finished);
            QVERIFY(finished.wait(timeoutMs));
        }
        QVERIFY(registerService());
        runTurn(u"Shown."_s);
        QTRY_COMPARE_WITH_TIMEOUT(bodies(), QStringList{u"Shown."_s}, timeoutMs);
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_TurnNotifier)
#include "tst_TurnNotifier.moc"
