#include "connection/GatewayWebSocketClient.h"
#include "protocol/GatewayClientEnvelope.h"
#include "support/DataRow.h"
#include "support/LoopbackGatewayServer.h"
#include "support/WireFrameRecorder.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTemporaryFile>
#include <QTest>
#include <QWebSocket>

#include <cstdio>
#include <functional>
#include <memory>

#include <unistd.h>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::LoopbackGatewayServer;
using tessel::test::row;
using tessel::test::WireFrameRecorder;

namespace {

constexpr int waitMs = 5000;
const auto hello = [] { return GatewayClientEnvelope::hello(u"t"_s); };

// The spies of a client's two signals.
struct ClientSpies
{
    explicit ClientSpies(GatewayWebSocketClient &client)
        : messages(&client, &GatewayWebSocketClient::messageReceived)
        , failures(&client, &GatewayWebSocketClient::receiveFailed)
    { }
    QSignalSpy messages;
    QSignalSpy failures;
};

// What `work` writes to standard output, caught in a temporary file.
QByteArray capturedStdout(const std::function<void()> &work)
{
    QTemporaryFile file;
    const int saved = dup(STDOUT_FILENO);
    if (file.open() && std::fflush(stdout) == 0)
        dup2(file.handle(), STDOUT_FILENO);
    work();
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    file.seek(0);
    return file.readAll();
}

// The peers a client can meet: a wire recorder playing a script, or one of these.
enum class Peer { scripted, trustedCertificate, nothingListening, untrustedCertificate, abortsMidStream };

// A final server frame: the first byte (FIN, opcode), the length and the payload.
QByteArray frame(char first, const QByteArray &payload)
{
    QByteArray bytes;
    test::appendServerTextFrame(bytes, payload);
    bytes[0] = first;
    return bytes;
}

} // namespace

class tst_GatewayWebSocketClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<LoopbackGatewayServer> m_server;
    std::unique_ptr<WireFrameRecorder> m_recorder;
    const QSslConfiguration m_defaultTls = QSslConfiguration::defaultConfiguration();

    // Starts `peer` (with `script` for a recorder) and returns its URL.
    QUrl startPeer(Peer peer, const QByteArray &script)
    {
        if (peer == Peer::scripted) {
            m_recorder = std::make_unique<WireFrameRecorder>();
            if (script.startsWith("HTTP/"))
                m_recorder->setUpgradeAnswer(script);
            else
                m_recorder->setScript(script);
            return m_recorder->listen() ? m_recorder->url() : QUrl();
        }
        const bool secure = peer == Peer::trustedCertificate || peer == Peer::untrustedCertificate;
        const auto tls = secure ? LoopbackGatewayServer::selfSignedTls() : std::nullopt;
        if (peer == Peer::trustedCertificate && tls) { // until cleanup()
            QSslConfiguration trusting = m_defaultTls;
            trusting.addCaCertificate(tls->localCertificate());
            QSslConfiguration::setDefaultConfiguration(trusting);
        }
        m_server = std::make_unique<LoopbackGatewayServer>(tls);
        m_server->setAnswersHello(peer == Peer::trustedCertificate);
        if (secure != tls.has_value() || !m_server->listen())
            return {};
        const QUrl url = m_server->url();
        if (peer == Peer::nothingListening)
            m_server.reset();
        if (peer == Peer::abortsMidStream) {
            m_server->setFrameHandler([](QWebSocket *socket, const QByteArray &) {
                socket->sendTextMessage(uR"({"type":"assistant_delta","delta":"par"})"_s);
                socket->flush();
                socket->abort();
            });
        }
        return url;
    }

private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates)); }
    void cleanup() { QSslConfiguration::setDefaultConfiguration(m_defaultTls); }

    void eachMessageIsOneFrameUpToTheSendLimit_data()
    {
        QTest::addColumn<qint64>("bytes");
        row("small", qint64(200));
        row("exactly the limit", qint64(3'000'000));
        row("one byte over", qint64(3'000'001));
    }
    // Recorded frame by frame on the wire: a message the gateway must read as one frame is
    // never split, one over the limit sends nothing at all, and what is sent before the
    // handshake has finished goes out after it in order.
    void eachMessageIsOneFrameUpToTheSendLimit()
    {
        QFETCH(qint64, bytes);
        WireFrameRecorder recorder;
        QVERIFY(recorder.listen());
        GatewayWebSocketClient client;
        client.connectTo(recorder.url());
        auto envelope = GatewayClientEnvelope::sendMessage(u"S"_s, QString());
        envelope.text = QString(bytes - envelope.toJson().size(), u'x');
        const auto refused = client.send(envelope);
        const GatewayClientEnvelope marker = GatewayClientEnvelope::listBackends();
        QCOMPARE(client.send(marker), std::nullopt);
        QList<QByteArray> expected = {marker.toJson()};
        if (bytes <= GatewayWebSocketClient::sendLimitBytes)
            expected.prepend(envelope.toJson());
        else
            QCOMPARE(refused->message(),
                     u"This message is too large to send (3.000001 MB, limit 3 MB). Try fewer or smaller images."_s);
        QTRY_COMPARE_WITH_TIMEOUT(recorder.frames().size(), expected.size(), waitMs);
        for (qsizetype i = 0; i < expected.size(); ++i) {
            const auto &sent = recorder.frames().at(i);
            QVERIFY(sent.opcode == 1 && sent.final && sent.payload == expected.at(i));
        }
    }

    void sizesAreWrittenInTheUsersLocale()
    {
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
        const QString text = GatewayClientError::messageTooLarge(3'500'000, 2'500).message();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        QVERIFY2(text.contains(u"(3,5 MB, limit 2,5 KB)"_s), qPrintable(text));
    }

    // What a gateway may send, and what it must not: the client answers pings and closes,
    // joins fragments, prints one line for a frame it cannot decode and reads on, and ends
    // reading once on anything else. `failure` is the whole text of the one failure, or
    // after "…" a part of it; `reply` is the opcode and the start of the payload of the frame
    // the client answers with; `printed` what follows "Failed to decode gateway payload: ".
    void reading_data()
    {
        QTest::addColumn<Peer>("peer");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("messages");
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QByteArray>("printed");
        const QByteArray helloOk = R"({"type":"hello_ok"})", protocolError = "\x08\x03\xea"_ba, none;
        const auto scripted = Peer::scripted;
        const QString undecodable =
            u"Received a gateway event this app does not understand yet. The session stayed connected."_s;
        row("text and binary frames", scripted,
            frame(char(0x81), helloOk) + frame(char(0x82), R"({"type":"assistant_delta","delta":"hi"})"), "", 2, none,
            none);
        // wss:// checks the gateway's certificate.
        row("trusted certificate", Peer::trustedCertificate, none, "", 1, none, none);
        row("untrusted certificate", Peer::untrustedCertificate, none, "…certificate", 0, none, none);
        // The diagnostic is written by length, so a NUL does not end it; it is one line.
        row("undecodable text: 320 bytes, NUL kept, one line", scripted,
            frame(char(0x81), R"({"type":)" + QByteArray(1, '\0') + "line one\nline two\r" + QByteArray(400, 'z')) +
                frame(char(0x81), helloOk),
            undecodable, 1, none, R"({"type":)" + QByteArray(1, '\0') + "line one line two " + QByteArray(293, 'z'));
        row("undecodable binary: cut character and invalid bytes replaced", scripted,
            frame(char(0x82), "\xff" + QByteArray(318, 'a') + "\xc3\xa9") + frame(char(0x81), helloOk), undecodable, 1,
            none, "\xef\xbf\xbd" + QByteArray(318, 'a') + "\xef\xbf\xbd");
        row("fragments around a ping", scripted,
            frame(0x01, helloOk.left(8)) + frame(char(0x89), "p") + frame(char(0x80), helloOk.mid(8)), "", 1,
            "\x0Ap"_ba, none);
        row("close with code and reason", scripted, frame(char(0x88), "\003\351bye"_ba),
            "The websocket closed with code 1001: bye", 0, "\x08\x03\xe9"_ba, none);
        row("masked frame", scripted, "\x81\x80\0\0\0\0"_ba, "…code 1002", 0, protocolError, none);
        row("unknown opcode", scripted, "\x83\x00"_ba, "…code 1002", 0, protocolError, none);
        row("long control frame", scripted, frame(char(0x89), QByteArray(128, 'x')), "…code 1002", 0, protocolError,
            none);
        row("continuation without a start", scripted, "\x80\x00"_ba, "…code 1002", 0, protocolError, none);
        row("text that is not UTF-8", scripted, frame(char(0x81), "\xff"), "…code 1007", 0, "\x08\x03\xef"_ba, none);
        // Refused from its header, before anything is buffered.
        row("a message over the incoming limit", scripted, "\x82\x7f\0\0\0\0\x04\0\0\x01"_ba,
            "The websocket closed with code 1009: The gateway sent a message over the size limit.", 0,
            "\x08\x03\xf1"_ba, none);
        row("not a websocket", scripted, "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\ngarbage"_ba,
            "The gateway did not accept the websocket upgrade: HTTP/1.1 200 OK", 0, none, none);
        row("wrong accept key", scripted,
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nSec-WebSocket-Accept: AAAA\r\n\r\n"_ba,
            "The gateway's answer to the websocket upgrade has a wrong Sec-WebSocket-Accept key.", 0, none, none);
        // The socket's own words for a refusal, not a close code it never had.
        row("nothing listening", Peer::nothingListening, none, "Connection refused", 0, none, none);
        row("aborts mid-stream", Peer::abortsMidStream, none, "…closed", 1, none, none);
    }
    void reading()
    {
        QFETCH(Peer, peer);
        QFETCH(QByteArray, script);
        QFETCH(QString, failure);
        QFETCH(int, messages);
        QFETCH(QByteArray, reply);
        QFETCH(QByteArray, printed);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        const int failures = failure.isEmpty() ? 0 : 1;
        const QByteArray written = capturedStdout([&] {
            client.connectTo(startPeer(peer, script));
            QVERIFY(!client.send(hello()));
            QTRY_VERIFY_WITH_TIMEOUT(spies.messages.size() == messages && spies.failures.size() == failures, waitMs);
            QVERIFY(!spies.failures.wait(200));
        });
        QVERIFY(spies.messages.size() == messages && spies.failures.size() == failures);
        QCOMPARE(written, printed.isEmpty() ? QByteArray() : "Failed to decode gateway payload: " + printed + '\n');
        // Only a frame it cannot decode leaves the socket open; a dead one refuses sends with
        // its failure.
        QCOMPARE(client.isConnected(), failure.isEmpty() || !printed.isEmpty());
        if (failures) {
            const auto error = spies.failures.at(0).at(0).value<GatewayClientError>();
            if (failure.startsWith(u'…'))
                QVERIFY2(error.message().contains(failure.mid(1)), qPrintable(error.message()));
            else
                QCOMPARE(error.message(), failure);
            QCOMPARE(client.send(GatewayClientEnvelope::listBackends()),
                     client.isConnected() ? std::nullopt : std::optional(error));
        }
        if (reply.isEmpty())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->frames().size(), 2, waitMs);
        QCOMPARE(m_recorder->frames().last().opcode, int(reply.at(0)));
        QVERIFY(m_recorder->frames().last().payload.startsWith(reply.mid(1)));
    }

    // A new connection closes the first socket normally and forgets it; without a socket,
    // before any and after disconnect(), sends fail as not connected.
    void reconnectAndDisconnect()
    {
        LoopbackGatewayServer first, second;
        QVERIFY(first.listen() && second.listen());
        first.setAnswersHello(true);
        second.setAnswersHello(true);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        QCOMPARE(client.send(hello()), GatewayClientError::notConnected());
        client.connectTo(first.url());
        QVERIFY(!client.send(hello()));
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 1, waitMs);

        client.connectTo(second.url());
        QVERIFY(!client.send(hello()));
        QTRY_COMPARE_WITH_TIMEOUT(first.closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal}, waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 2, waitMs);
        QCOMPARE(second.frames().size(), 1);

        client.disconnect();
        QCOMPARE(client.send(hello()), GatewayClientError::notConnected());
        QVERIFY(!client.isConnected());
        QTRY_COMPARE_WITH_TIMEOUT(second.closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal}, waitMs);
        QVERIFY(!spies.failures.wait(200) && spies.failures.isEmpty());
    }
};

QTEST_GUILESS_MAIN(tst_GatewayWebSocketClient)
#include "tst_GatewayWebSocketClient.moc"
