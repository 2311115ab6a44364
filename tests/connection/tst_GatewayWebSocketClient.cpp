#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/LoopbackGatewayServer.h"
#include "support/WireFrameRecorder.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryFile>
#include <QTest>
#include <QWebSocket>

#include <cstdio>
#include <memory>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::LoopbackGatewayServer;
using tessel::test::WireFrameRecorder;

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

// Sends standard output to a temporary file while it lives; bytes() is what was written.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        if (!m_file.open())
            return;
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture() { restore(); }
    QByteArray bytes()
    {
        restore();
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

// Makes the process trust a test server's certificate while it lives.
class TrustedCertificates
{
public:
    explicit TrustedCertificates(const std::optional<QSslConfiguration> &tls)
    {
        if (!tls)
            return;
        QSslConfiguration trusting = m_saved;
        trusting.addCaCertificate(tls->localCertificate());
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustedCertificates() { QSslConfiguration::setDefaultConfiguration(m_saved); }

private:
    QSslConfiguration m_saved = QSslConfiguration::defaultConfiguration();
};

// The peers a client can meet, each ending its reading in its own way.
enum class Peer {
    nothingListening,
    notAWebsocket,
    untrustedCertificate,
    abortsMidStream,
    closesWithCode,
    sendsTooMuch
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

    void eachMessageIsOneFrameUpToTheSendLimit_data()
    {
        QTest::addColumn<qint64>("bytes");
        QTest::newRow("small") << qint64(200);
        QTest::newRow("past 512 KiB") << qint64(600'000);
        QTest::newRow("exactly the limit") << qint64(3'000'000);
        QTest::newRow("one byte over") << qint64(3'000'001);
    }

    // Recorded frame by frame on the wire: a message the gateway must read as one frame is
    // never split, and one over the limit sends nothing at all.
    void eachMessageIsOneFrameUpToTheSendLimit()
    {
        QFETCH(qint64, bytes);
        WireFrameRecorder recorder;
        QVERIFY(recorder.listen());
        GatewayWebSocketClient client;
        client.connectTo(recorder.url());
        const GatewayClientEnvelope envelope = envelopeOfSize(bytes);
        const auto refused = client.send(envelope);
        const bool fits = bytes <= GatewayWebSocketClient::sendLimitBytes;
        if (!fits) {
            QCOMPARE(refused, GatewayClientError::messageTooLarge(bytes, 3'000'000));
            QCOMPARE(refused->message(),
                     u"This message is too large to send (3.000001 MB, limit 3 MB). Try fewer or smaller images."_s);
        }
        const GatewayClientEnvelope marker = GatewayClientEnvelope::listBackends();
        QCOMPARE(client.send(marker), std::nullopt);

        QList<QByteArray> expected = {marker.toJson()};
        if (fits)
            expected.prepend(envelope.toJson());
        QTRY_COMPARE_WITH_TIMEOUT(recorder.frames().size(), expected.size(), waitMs);
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const test::WireFrame &frame = recorder.frames().at(i);
            QCOMPARE(frame.opcode, 1);
            QVERIFY(frame.final);
            QCOMPARE(frame.payload.size(), expected.at(i).size());
            QVERIFY(frame.payload == expected.at(i));
        }
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

    void decodesTextAndBinaryFrames_data()
    {
        QTest::addColumn<bool>("secure");
        QTest::newRow("ws") << false;
        QTest::newRow("wss") << true;
    }
    void decodesTextAndBinaryFrames()
    {
        QFETCH(bool, secure);
        const auto tls = secure ? LoopbackGatewayServer::selfSignedTls() : std::nullopt;
        QVERIFY(!secure || tls);
        const TrustedCertificates trusted(tls);
        auto server = tls ? std::make_unique<LoopbackGatewayServer>(*tls) : std::make_unique<LoopbackGatewayServer>();
        QVERIFY(server->listen());
        server->setFrameHandler([](QWebSocket *socket, const QByteArray &) {
            socket->sendTextMessage(uR"({"type":"hello_ok","serverVersion":"1.2"})"_s);
            socket->sendBinaryMessage(R"({"type":"assistant_delta","delta":"hi","itemId":"a"})");
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(server->url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 2, waitMs);
        QCOMPARE(spies.message(0).serverVersion, u"1.2"_s);
        QCOMPARE(spies.message(1).delta, u"hi"_s);
        QCOMPARE(spies.failures.size(), 0);
        QVERIFY(client.isConnected());
    }

    void undecodableFramePrintsOneLineAndReadingGoesOn_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("shown");
        QTest::newRow("not json") << QByteArray("not json") << false << QByteArray("not json");
        QTest::newRow("no type") << QByteArray(R"({"delta":"no type"})") << false
                                 << QByteArray(R"({"delta":"no type"})");
        QTest::newRow("unknown state") << QByteArray(R"({"type":"session_status","state":"sleeping"})") << false
                                       << QByteArray(R"({"type":"session_status","state":"sleeping"})");
        const QByteArray withNul = R"({"type":)" + QByteArray(1, '\0') + QByteArray(400, 'z');
        QTest::newRow("NUL inside, cut at 320 bytes") << withNul << false << withNul.first(320);
        QTest::newRow("newlines become spaces") << QByteArray("line one\nline two\r" + QByteArray(400, 'z')) << false
                                                << QByteArray("line one line two " + QByteArray(302, 'z'));
        QTest::newRow("cut character and invalid bytes replaced")
            << QByteArray("\xff" + QByteArray(318, 'a') + "\xc3\xa9") << true
            << QByteArray("\xef\xbf\xbd" + QByteArray(318, 'a') + "\xef\xbf\xbd");
    }

    void undecodableFramePrintsOneLineAndReadingGoesOn()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, binary);
        QFETCH(QByteArray, shown);
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([&](QWebSocket *socket, const QByteArray &) {
            if (binary)
                socket->sendBinaryMessage(frame);
            else
                socket->sendTextMessage(QString::fromUtf8(frame));
            socket->sendTextMessage(uR"({"type":"session_status","state":"idle"})"_s);
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        StdoutCapture capture;
        client.connectTo(server.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        const bool delivered = spies.messages.wait(waitMs);
        const QByteArray printed = capture.bytes();
        QVERIFY(delivered);
        QCOMPARE(printed, "Failed to decode gateway payload: " + shown + '\n');
        QCOMPARE(spies.failures.size(), 1);
        QCOMPARE(spies.failure(0), GatewayClientError::decodingFailed());
        QCOMPARE(spies.message(0).state, SessionLifecycleState::idle);
        QVERIFY(client.isConnected());
    }

    void oneFailureEndsReading_data()
    {
        QTest::addColumn<Peer>("peer");
        QTest::addColumn<QString>("expected");
        QTest::addColumn<bool>("exact");
        QTest::addColumn<int>("messagesBefore");
        // The socket's own words for a refusal, not a close code it never had.
        QTest::newRow("nothing listening") << Peer::nothingListening << u"Connection refused"_s << true << 0;
        QTest::newRow("not a websocket") << Peer::notAWebsocket << u"200"_s << false << 0;
        // wss:// checks the gateway's certificate.
        QTest::newRow("untrusted certificate") << Peer::untrustedCertificate << u"certificate"_s << false << 0;
        QTest::newRow("aborts mid-stream") << Peer::abortsMidStream << u"closed"_s << false << 1;
        QTest::newRow("closes with a code")
            << Peer::closesWithCode << u"The websocket closed with code 1001: restarting"_s << true << 0;
        QTest::newRow("sends too much") << Peer::sendsTooMuch << u"1009"_s << false << 0;
    }

    void oneFailureEndsReading()
    {
        QFETCH(Peer, peer);
        QFETCH(QString, expected);
        QFETCH(bool, exact);
        QFETCH(int, messagesBefore);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(startPeer(peer));
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        QVERIFY(spies.failures.wait(peer == Peer::sendsTooMuch ? 30000 : waitMs));
        QVERIFY(!spies.failures.wait(200));
        QCOMPARE(spies.failures.size(), 1);
        QCOMPARE(spies.messages.size(), messagesBefore);
        const GatewayClientError failure = spies.failure(0);
        QCOMPARE(failure.errorCase(), GatewayClientError::Case::transport);
        if (exact)
            QCOMPARE(failure.message(), expected);
        else
            QVERIFY2(failure.message().contains(expected), qPrintable(failure.message()));
        // The dead socket refuses further sends with its failure.
        QCOMPARE(client.send(GatewayClientEnvelope::listBackends()), failure);
    }

    void gatewayProtocol_data()
    {
        QTest::addColumn<QByteArray>("upgradeAnswer");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("replyOpcode");
        QTest::addColumn<QByteArray>("replyStart");
        // A short server frame: the first byte (FIN, opcode) and the payload.
        const auto frame = [](int first, const QByteArray &payload) -> QByteArray {
            return QByteArray(1, char(first)) + char(payload.size()) + payload;
        };
        const QByteArray hello = R"({"type":"hello_ok"})";
        const QByteArray protocolError("\x03\xea", 2);
        QTest::newRow("fragments around a ping")
            << QByteArray() << QByteArray(frame(0x01, hello.left(8)) + frame(0x89, "p") + frame(0x80, hello.mid(8)))
            << QString() << 0xA << QByteArray("p");
        QTest::newRow("close with code and reason")
            << QByteArray()
            << frame(0x88,
                     QByteArray("\x03\xe9"
                                "bye",
                                5))
            << u"The websocket closed with code 1001: bye"_s << 0x8 << QByteArray("\x03\xe9", 2);
        QTest::newRow("masked frame") << QByteArray() << QByteArray("\x81\x80\0\0\0\0", 6) << u"code 1002"_s << 0x8
                                      << protocolError;
        QTest::newRow("reserved bit") << QByteArray() << QByteArray("\xc1\x00", 2) << u"code 1002"_s << 0x8
                                      << protocolError;
        QTest::newRow("unknown opcode") << QByteArray() << QByteArray("\x83\x00", 2) << u"code 1002"_s << 0x8
                                        << protocolError;
        QTest::newRow("long control frame")
            << QByteArray() << QByteArray(QByteArray("\x89\x7e\x00\x80", 4) + QByteArray(128, 'x')) << u"code 1002"_s
            << 0x8 << protocolError;
        QTest::newRow("continuation without a start")
            << QByteArray() << QByteArray("\x80\x00", 2) << u"code 1002"_s << 0x8 << protocolError;
        QTest::newRow("text that is not UTF-8")
            << QByteArray() << frame(0x81, "\xff") << u"code 1007"_s << 0x8 << QByteArray("\x03\xef", 2);
        QTest::newRow("upgrade refused") << QByteArray("HTTP/1.1 403 Forbidden\r\n\r\n") << QByteArray()
                                         << u"did not accept the websocket upgrade: HTTP/1.1 403 Forbidden"_s << -1
                                         << QByteArray();
        QTest::newRow("wrong accept key")
            << QByteArray("HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                          "Sec-WebSocket-Accept: AAAA\r\n\r\n")
            << QByteArray() << u"wrong Sec-WebSocket-Accept key"_s << -1 << QByteArray();
    }

    // What a gateway may send beyond plain frames, and what it must not: the client answers
    // pings and closes, joins fragments, and ends the connection on anything else.
    void gatewayProtocol()
    {
        QFETCH(QByteArray, upgradeAnswer);
        QFETCH(QByteArray, script);
        QFETCH(QString, failure);
        QFETCH(int, replyOpcode);
        QFETCH(QByteArray, replyStart);
        WireFrameRecorder gateway;
        QVERIFY(gateway.listen());
        gateway.setUpgradeAnswer(upgradeAnswer);
        gateway.setScript(script);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(gateway.url());
        QVERIFY(!client.send(GatewayClientEnvelope::hello(u"t"_s)));
        if (failure.isEmpty()) {
            QVERIFY(spies.messages.wait(waitMs));
            QCOMPARE(spies.message(0).type, u"hello_ok"_s);
            QCOMPARE(spies.failures.size(), 0);
        } else {
            QVERIFY(spies.failures.wait(waitMs));
            QVERIFY2(spies.failure(0).message().contains(failure), qPrintable(spies.failure(0).message()));
            QCOMPARE(spies.messages.size(), 0);
        }
        if (replyOpcode < 0)
            return;
        QTRY_COMPARE_WITH_TIMEOUT(gateway.frames().size(), 2, waitMs);
        QCOMPARE(gateway.frames().last().opcode, replyOpcode);
        QVERIFY(gateway.frames().last().payload.startsWith(replyStart));
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

private:
    QUrl startPeer(Peer peer)
    {
        const auto tls = peer == Peer::untrustedCertificate ? LoopbackGatewayServer::selfSignedTls() : std::nullopt;
        m_server = tls ? std::make_unique<LoopbackGatewayServer>(*tls) : std::make_unique<LoopbackGatewayServer>();
        m_tcpServer = std::make_unique<QTcpServer>();
        if (!m_server->listen() || !m_tcpServer->listen(QHostAddress::LocalHost, 0))
            return {};
        const QUrl tcpURL(u"ws://127.0.0.1:%1"_s.arg(m_tcpServer->serverPort()));
        switch (peer) {
        case Peer::nothingListening: m_tcpServer->close(); return tcpURL;
        case Peer::notAWebsocket:
            connect(m_tcpServer.get(), &QTcpServer::newConnection, this, [this] {
                QTcpSocket *socket = m_tcpServer->nextPendingConnection();
                socket->write("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\ngarbage");
                socket->disconnectFromHost();
            });
            return tcpURL;
        case Peer::untrustedCertificate: break;
        case Peer::abortsMidStream:
            m_server->setFrameHandler([](QWebSocket *socket, const QByteArray &) {
                socket->sendTextMessage(uR"({"type":"assistant_delta","delta":"par"})"_s);
                socket->flush();
                socket->abort();
            });
            break;
        case Peer::closesWithCode:
            m_server->setFrameHandler([](QWebSocket *socket, const QByteArray &) {
                socket->close(QWebSocketProtocol::CloseCodeGoingAway, u"restarting"_s);
            });
            break;
        case Peer::sendsTooMuch:
            m_server->setFrameHandler([](QWebSocket *socket, const QByteArray &) {
                socket->sendBinaryMessage(QByteArray(GatewayWebSocketClient::defaultIncomingLimitBytes + 1, ' '));
            });
            break;
        }
        return m_server->url();
    }

    std::unique_ptr<LoopbackGatewayServer> m_server;
    std::unique_ptr<QTcpServer> m_tcpServer;
};

QTEST_GUILESS_MAIN(tst_GatewayWebSocketClient)
#include "tst_GatewayWebSocketClient.moc"
