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

// Sends standard output to a temporary file until bytes() returns what was written.
class StdoutCapture
{
public:
    StdoutCapture()
    {
        if (m_file.open() && std::fflush(stdout) == 0)
            dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~StdoutCapture()
    {
        bytes();
        close(m_saved);
    }
    QByteArray bytes()
    {
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        m_file.seek(0);
        return m_file.readAll();
    }

private:
    int m_saved = dup(STDOUT_FILENO);
    QTemporaryFile m_file;
};

// Makes the process trust a test server's certificate while it lives.
class TrustedCertificates
{
public:
    explicit TrustedCertificates(const std::optional<QSslConfiguration> &tls)
    {
        QSslConfiguration trusting = m_saved;
        if (tls)
            trusting.addCaCertificate(tls->localCertificate());
        QSslConfiguration::setDefaultConfiguration(trusting);
    }
    ~TrustedCertificates() { QSslConfiguration::setDefaultConfiguration(m_saved); }

private:
    QSslConfiguration m_saved = QSslConfiguration::defaultConfiguration();
};

// The peers a client can meet: a wire recorder playing a script, or one of these.
enum class Peer { scripted, trustedCertificate, nothingListening, untrustedCertificate, abortsMidStream };

// A short server frame: the first byte (FIN, opcode) and the payload.
QByteArray frame(char first, const QByteArray &payload)
{
    return first + QByteArray(1, char(payload.size())) + payload;
}

} // namespace

class tst_GatewayWebSocketClient : public QObject
{
    Q_OBJECT

    std::unique_ptr<LoopbackGatewayServer> m_server;
    std::unique_ptr<WireFrameRecorder> m_recorder;
    std::optional<TrustedCertificates> m_trusted;

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
        if (peer == Peer::trustedCertificate)
            m_trusted.emplace(tls);
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
    void cleanup() { m_trusted.reset(); }

    void sendWithoutSocketFailsWithNotConnected()
    {
        GatewayWebSocketClient client;
        QCOMPARE(client.send(hello()), GatewayClientError::notConnected());
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        client.connectTo(server.url());
        client.disconnect();
        QCOMPARE(client.send(hello()), GatewayClientError::notConnected());
        QVERIFY(!client.isConnected());
    }

    void eachMessageIsOneFrameUpToTheSendLimit_data()
    {
        QTest::addColumn<qint64>("bytes");
        row("small", qint64(200));
        row("past 512 KiB", qint64(600'000));
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
            QCOMPARE(recorder.frames().at(i).opcode, 1);
            QVERIFY(recorder.frames().at(i).final);
            QVERIFY(recorder.frames().at(i).payload == expected.at(i));
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

    void undecodableFramePrintsOneLineAndReadingGoesOn_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<bool>("binary");
        QTest::addColumn<QByteArray>("shown");
        row("not json", "not json"_ba, false, "not json"_ba);
        row("no type", R"({"delta":"no type"})"_ba, false, R"({"delta":"no type"})"_ba);
        const QByteArray unknownState = R"({"type":"session_status","state":"sleeping"})";
        row("unknown state", unknownState, false, unknownState);
        const QByteArray withNul = R"({"type":)" + QByteArray(1, '\0') + QByteArray(400, 'z');
        row("NUL inside, cut at 320 bytes", withNul, false, withNul.first(320));
        row("newlines become spaces", "line one\nline two\r" + QByteArray(400, 'z'), false,
            "line one line two " + QByteArray(302, 'z'));
        row("cut character and invalid bytes replaced", "\xff" + QByteArray(318, 'a') + "\xc3\xa9", true,
            "\xef\xbf\xbd" + QByteArray(318, 'a') + "\xef\xbf\xbd");
    }
    void undecodableFramePrintsOneLineAndReadingGoesOn()
    {
        QFETCH(QByteArray, frame);
        QFETCH(bool, binary);
        QFETCH(QByteArray, shown);
        LoopbackGatewayServer server;
        QVERIFY(server.listen());
        server.setFrameHandler([&](QWebSocket *socket, const QByteArray &) {
            binary ? socket->sendBinaryMessage(frame) : socket->sendTextMessage(QString::fromUtf8(frame));
            socket->sendTextMessage(uR"({"type":"session_status","state":"idle"})"_s);
        });
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        StdoutCapture capture;
        client.connectTo(server.url());
        QVERIFY(!client.send(hello()));
        const bool delivered = spies.messages.wait(waitMs);
        QCOMPARE(capture.bytes(), "Failed to decode gateway payload: " + shown + '\n');
        QVERIFY(delivered);
        QCOMPARE(spies.failures.size(), 1);
        QCOMPARE(spies.failure(0), GatewayClientError::decodingFailed());
        QCOMPARE(spies.message(0).state, SessionLifecycleState::idle);
        QVERIFY(client.isConnected());
    }

    // What a gateway may send beyond plain frames, and what it must not: the client answers
    // pings and closes, joins fragments, and ends reading once on anything else. `failure`
    // is the whole text, or after "…" a part of it; `reply` is the opcode and the start of
    // the payload of the frame the client answers with.
    void readingEnds_data()
    {
        QTest::addColumn<Peer>("peer");
        QTest::addColumn<QByteArray>("script");
        QTest::addColumn<QString>("failure");
        QTest::addColumn<int>("messages");
        QTest::addColumn<QByteArray>("reply");
        const QByteArray helloOk = R"({"type":"hello_ok"})", protocolError = "\x08\x03\xea"_ba;
        const auto scripted = Peer::scripted;
        row("text and binary frames", scripted,
            frame(char(0x81), helloOk) + frame(char(0x82), R"({"type":"assistant_delta","delta":"hi"})"), "", 2, ""_ba);
        // wss:// checks the gateway's certificate.
        row("trusted certificate", Peer::trustedCertificate, ""_ba, "", 1, ""_ba);
        row("untrusted certificate", Peer::untrustedCertificate, ""_ba, "…certificate", 0, ""_ba);
        row("fragments around a ping", scripted,
            frame(0x01, helloOk.left(8)) + frame(char(0x89), "p") + frame(char(0x80), helloOk.mid(8)), "", 1,
            "\x0A"
            "p"_ba);
        row("close with code and reason", scripted,
            frame(char(0x88),
                  "\x03\xe9"
                  "bye"_ba),
            "The websocket closed with code 1001: bye", 0, "\x08\x03\xe9"_ba);
        row("masked frame", scripted, "\x81\x80\0\0\0\0"_ba, "…code 1002", 0, protocolError);
        row("reserved bit", scripted, "\xc1\x00"_ba, "…code 1002", 0, protocolError);
        row("unknown opcode", scripted, "\x83\x00"_ba, "…code 1002", 0, protocolError);
        row("long control frame", scripted, "\x89\x7e\x00\x80"_ba + QByteArray(128, 'x'), "…code 1002", 0,
            protocolError);
        row("continuation without a start", scripted, "\x80\x00"_ba, "…code 1002", 0, protocolError);
        row("text that is not UTF-8", scripted, frame(char(0x81), "\xff"), "…code 1007", 0, "\x08\x03\xef"_ba);
        // Refused from its header, before anything is buffered.
        row("a message over the incoming limit", scripted, "\x82\x7f\0\0\0\0\x04\0\0\x01"_ba,
            "The websocket closed with code 1009: The gateway sent a message over the size limit.", 0,
            "\x08\x03\xf1"_ba);
        row("not a websocket", scripted, "HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\ngarbage"_ba,
            "The gateway did not accept the websocket upgrade: HTTP/1.1 200 OK", 0, ""_ba);
        row("wrong accept key", scripted,
            "HTTP/1.1 101 Switching Protocols\r\nUpgrade: websocket\r\nSec-WebSocket-Accept: AAAA\r\n\r\n"_ba,
            "The gateway's answer to the websocket upgrade has a wrong Sec-WebSocket-Accept key.", 0, ""_ba);
        // The socket's own words for a refusal, not a close code it never had.
        row("nothing listening", Peer::nothingListening, ""_ba, "Connection refused", 0, ""_ba);
        row("aborts mid-stream", Peer::abortsMidStream, ""_ba, "…closed", 1, ""_ba);
    }
    void readingEnds()
    {
        QFETCH(Peer, peer);
        QFETCH(QByteArray, script);
        QFETCH(QString, failure);
        QFETCH(int, messages);
        QFETCH(QByteArray, reply);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(startPeer(peer, script));
        QVERIFY(!client.send(hello()));
        if (failure.isEmpty()) {
            QVERIFY(spies.messages.wait(waitMs));
            QCOMPARE(spies.message(0).type, u"hello_ok"_s);
            QVERIFY(client.isConnected());
        } else {
            QVERIFY(spies.failures.wait(waitMs));
            const GatewayClientError error = spies.failure(0);
            QCOMPARE(error.errorCase(), GatewayClientError::Case::transport);
            if (failure.startsWith(u'…'))
                QVERIFY2(error.message().contains(failure.mid(1)), qPrintable(error.message()));
            else
                QCOMPARE(error.message(), failure);
            // The dead socket refuses further sends with its failure.
            QCOMPARE(client.send(GatewayClientEnvelope::listBackends()), error);
        }
        QVERIFY(!spies.failures.wait(200));
        QCOMPARE(spies.failures.size(), failure.isEmpty() ? 0 : 1);
        QCOMPARE(spies.messages.size(), messages);
        if (reply.isEmpty())
            return;
        QTRY_COMPARE_WITH_TIMEOUT(m_recorder->frames().size(), 2, waitMs);
        QCOMPARE(m_recorder->frames().last().opcode, int(reply.at(0)));
        QVERIFY(m_recorder->frames().last().payload.startsWith(reply.mid(1)));
    }

    void reconnectClosesTheFirstSocketNormallyAndForgetsIt()
    {
        LoopbackGatewayServer first, second;
        QVERIFY(first.listen() && second.listen());
        first.setAnswersHello(true);
        second.setAnswersHello(true);
        GatewayWebSocketClient client;
        ClientSpies spies(client);
        client.connectTo(first.url());
        QVERIFY(!client.send(hello()));
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 1, waitMs);

        client.connectTo(second.url());
        QVERIFY(!client.send(hello()));
        QTRY_COMPARE_WITH_TIMEOUT(first.closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal}, waitMs);
        QTRY_COMPARE_WITH_TIMEOUT(spies.messages.size(), 2, waitMs);
        QCOMPARE(second.frames().size(), 1);

        client.disconnect();
        QTRY_COMPARE_WITH_TIMEOUT(second.closeCodes(), QList{QWebSocketProtocol::CloseCodeNormal}, waitMs);
        QVERIFY(!spies.failures.wait(200));
        QCOMPARE(spies.failures.size(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_GatewayWebSocketClient)
#include "tst_GatewayWebSocketClient.moc"
