#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/LoopbackGatewayServer.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QWebSocket>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::LoopbackGatewayServer;

namespace {

constexpr int waitMs = 5000;

// A message envelope whose encoding is exactly `bytes` long.
GatewayClientEnvelope envelopeOfSize(qint64 bytes)
{
    auto envelope = GatewayClientEnvelope::sendMessage(u"S"_s, QString());
    envelope.text = QString(bytes - envelope.toJson().size(), u'x');
    return envelope;
}

struct ClientSpies
{
    explicit ClientSpies(GatewayWebSocketClient &client)
        : messages(&client, &GatewayWebSocketClient::messageReceived)
        , failures(&client, &GatewayWebSocketClient::receiveFailed)
    { }
    GatewayClientError failure(int index) const { return failures.at(index).at(0).value<GatewayClientError>(); }
    GatewayServerEnvelope message(int index) const { return messages.at(index).at(0).value<GatewayServerEnvelope>(); }

    QSignalSpy messages;
    QSignalSpy failures;
};

} // namespace

class tst_GatewayWebSocketClient : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }

    void sendWithoutSocketFailsWithNotConnected()
    {
        GatewayWebSocketClient client;
        QCOMPARE(client.send(GatewayClientEnvelope::hello(u"t"_s)), GatewayClientError::notConnected());

        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        client.connectTo(server.url());
        client.disconnect();
        QCOMPARE(client.send(GatewayClientEnvelope::hello(u"t"_s)), GatewayClientError::notConnected());
        QCOMPARE(client.isConnected(), false);
    }

    void framesSentBeforeHandshakeArriveInOrder()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        GatewayWebSocketClient client;
        client.connectTo(server.url());
        QStringList sentIds;
        for (const auto &envelope : {GatewayClientEnvelope::hello(u"t"_s), GatewayClientEnvelope::listBackends(),
                                     GatewayClientEnvelope::abortSession(u"S"_s)}) {
            QCOMPARE(client.send(envelope), std::nullopt);
            sentIds.append(*envelope.requestId);
        }
        QTRY_COMPARE_WITH_TIMEOUT(server.frames().size(), 3, waitMs);
        QStringList receivedIds;
        for (const QByteArray &frame : server.frames())
            receivedIds.append(test::frameRequestId(frame));
        QCOMPARE(receivedIds, sentIds);
        QCOMPARE(test::frameType(server.frames().first()), u"hello"_s);
    }

    void sendLimitIsExactlyThreeMillionBytes()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        GatewayWebSocketClient client;
        client.connectTo(server.url());

        const auto tooLarge = client.send(envelopeOfSize(3'000'001));
        QVERIFY(tooLarge);
        QCOMPARE(*tooLarge, GatewayClientError::messageTooLarge(3'000'001, 3'000'000));
        QCOMPARE(tooLarge->message(),
                 u"This message is too large to send (3.000001 MB, limit 3 MB). Try fewer or smaller images."_s);

        QCOMPARE(client.send(envelopeOfSize(3'000'000)), std::nullopt);
        QTRY_COMPARE_WITH_TIMEOUT(server.frames().size(), 1, waitMs);
        QCOMPARE(server.frames().first().size(), 3'000'000);
    }

    void sizesAreWrittenInTheUsersLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString german = GatewayClientError::messageTooLarge(3'500'000, 3'000'000).message();
        const QString small = GatewayClientError::messageTooLarge(2'500, 3'000'000).message();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(german.contains(u"(3,5 MB, limit 3 MB)"_s), qPrintable(german));
        QVERIFY2(small.contains(u"(2,5 KB, "_s), qPrintable(small));
    }

    void decodesTextAndBinaryFrames()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &) {
            socket->sendTextMessage(uR"({"type":"hello_ok","serverVersion":"1.2"})"_s);
            socket->sendBinaryMessage(R"({"type":"assistant_delta","delta":"hi","itemId":"a"})");
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(server.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 2, waitMs);
        QCOMPARE(spies.message(0).serverVersion, u"1.2"_s);
        QCOMPARE(spies.message(1).delta, u"hi"_s);
        QCOMPARE(spies.failures.size(), 0);
        QVERIFY(client.isConnected());
    }

    void undecodableFramesAreReportedAndReadingGoesOn()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &) {
            socket->sendTextMessage(u"not json"_s);
            socket->sendTextMessage(uR"({"delta":"no type"})"_s);
            socket->sendTextMessage(uR"({"type":"session_status","state":"sleeping"})"_s);
            socket->sendTextMessage(uR"({"type":"session_status","state":"idle"})"_s);
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(server.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 1, waitMs);
        QCOMPARE(spies.failures.size(), 3);
        for (int i = 0; i < 3; ++i)
            QCOMPARE(spies.failure(i), GatewayClientError::decodingFailed());
        QCOMPARE(spies.message(0).state, SessionLifecycleState::idle);
        QVERIFY(client.isConnected());
    }

    void diagnosticLineShowsTheFirst320BytesOnOneLine()
    {
        QByteArray frame = "line one\nline two " + QByteArray(400, 'z');
        const QString line = GatewayWebSocketClient::decodeFailureDiagnostic(frame);
        QCOMPARE(line, u"Failed to decode gateway payload: line one line two "_s + QString(320 - 18, u'z'));

        // A cut through a multi-byte character and invalid bytes read as replacement characters.
        const QByteArray invalid = QByteArray(319, 'a') + "\xc3\xa9";
        QCOMPARE(GatewayWebSocketClient::decodeFailureDiagnostic(invalid).right(2), u"a\uFFFD"_s);
    }

    void nothingListeningGivesOneFailure()
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
        const quint16 port = probe.serverPort();
        probe.close();

        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(QUrl(u"ws://127.0.0.1:%1"_s.arg(port)));
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QVERIFY(spies.failures.wait(waitMs));
        QCOMPARE(spies.failure(0).errorCase(), GatewayClientError::Case::transport);
        QVERIFY(!spies.failure(0).message().isEmpty());
        QVERIFY(!spies.failures.wait(200));
        QCOMPARE(spies.messages.size(), 0);
        // The dead socket refuses further sends with its failure.
        QCOMPARE(client.send(GatewayClientEnvelope::listBackends()), spies.failure(0));
    }

    void nonWebsocketPeerGivesOneFailure()
    {
        QTcpServer garbage;
        QVERIFY(garbage.listen(QHostAddress::LocalHost, 0));
        connect(&garbage, &QTcpServer::newConnection, this, [&garbage] {
            QTcpSocket *peer = garbage.nextPendingConnection();
            peer->write("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\ngarbage");
            peer->disconnectFromHost();
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(QUrl(u"ws://127.0.0.1:%1"_s.arg(garbage.serverPort())));
        QVERIFY(spies.failures.wait(waitMs));
        QVERIFY(!spies.failures.wait(200));
        QCOMPARE(spies.failures.size(), 1);
        QCOMPARE(spies.messages.size(), 0);
    }

    void abruptCloseMidStreamEndsReadingOnce()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &) {
            socket->sendTextMessage(uR"({"type":"assistant_delta","delta":"par"})"_s);
            socket->flush();
            socket->abort();
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(server.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QVERIFY(spies.failures.wait(waitMs));
        QVERIFY(!spies.failures.wait(200));
        QCOMPARE(spies.failures.size(), 1);
        QCOMPARE(spies.failure(0).errorCase(), GatewayClientError::Case::transport);
        QCOMPARE(spies.messages.size(), 1);
    }

    void gatewayCloseIsReportedWithItsCode()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &) {
            socket->close(QWebSocketProtocol::CloseCodeGoingAway, u"restarting"_s);
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(server.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QVERIFY(spies.failures.wait(waitMs));
        QCOMPARE(spies.failure(0).message(), u"The websocket closed with code 1001: restarting"_s);
    }

    void oversizedIncomingMessageIsRefused()
    {
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([](QWebSocket *socket, const QByteArray &) {
            socket->sendBinaryMessage(QByteArray(GatewayWebSocketClient::defaultIncomingLimitBytes + 1, ' '));
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(server.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QVERIFY(spies.failures.wait(30000));
        QCOMPARE(spies.failure(0).errorCase(), GatewayClientError::Case::transport);
        QVERIFY2(spies.failure(0).message().contains(u"1009"_s), qPrintable(spies.failure(0).message()));
        QCOMPARE(spies.messages.size(), 0);
    }

    void reconnectClosesTheFirstSocketNormallyAndForgetsIt()
    {
        LoopbackGatewayServer first;
        LoopbackGatewayServer second;
        QVERIFY(first.listen());
        QVERIFY(second.listen());
        first.setAnswersHello(true);
        second.setAnswersHello(true);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(first.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 1, waitMs);

        client.connectTo(second.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(first.closeCodes().size(), 1, waitMs);
        QCOMPARE(first.closeCodes().first(), QWebSocketProtocol::CloseCodeNormal);
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 2, waitMs);
        QCOMPARE(spies.failures.size(), 0);
        QCOMPARE(second.frames().size(), 1);

        client.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(second.closeCodes().size(), 1, waitMs);
        QCOMPARE(second.closeCodes().first(), QWebSocketProtocol::CloseCodeNormal);
        QVERIFY(!spies.failures.wait(200));
    }
};

QTEST_GUILESS_MAIN(tst_GatewayWebSocketClient)
#include "tst_GatewayWebSocketClient.moc"
