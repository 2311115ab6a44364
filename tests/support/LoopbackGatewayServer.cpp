#include "support/LoopbackGatewayServer.h"

#include "support/TestJson.h"

#include <QFile>
#include <QProcess>
#include <QSslKey>
#include <QTemporaryDir>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

LoopbackGatewayServer::LoopbackGatewayServer(const std::optional<QSslConfiguration> &tls)
    : m_server(new QWebSocketServer(u"loopback-gateway"_s,
                                    tls ? QWebSocketServer::SecureMode : QWebSocketServer::NonSecureMode, this))
{
    if (tls)
        m_server->setSslConfiguration(*tls);
    connect(m_server, &QWebSocketServer::newConnection, this, &LoopbackGatewayServer::acceptConnection);
}

LoopbackGatewayServer::~LoopbackGatewayServer()
{
    m_server->close();
}

bool LoopbackGatewayServer::listen()
{
    if (m_server->listen(QHostAddress::LocalHost, 0))
        return true;
    qWarning("loopback gateway cannot listen: %s", qPrintable(m_server->errorString()));
    return false;
}

std::optional<QSslConfiguration> LoopbackGatewayServer::selfSignedTls()
{
    QTemporaryDir dir;
    QProcess openssl;
    openssl.setWorkingDirectory(dir.path());
    openssl.start(
        u"openssl"_s,
        u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 -nodes -days 1 "
        u"-subj /CN=127.0.0.1 -addext subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem"_s.split(u' '));
    QFile key(dir.filePath(u"key.pem"_s));
    QFile certificate(dir.filePath(u"cert.pem"_s));
    if (!openssl.waitForFinished(30000) || openssl.exitCode() != 0 || !key.open(QIODevice::ReadOnly) ||
        !certificate.open(QIODevice::ReadOnly)) {
        qWarning("cannot make a test certificate with openssl: %s", openssl.readAllStandardError().constData());
        return std::nullopt;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(certificate.readAll()));
    tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
    return tls;
}

QUrl LoopbackGatewayServer::url() const
{
    const bool secure = m_server->secureMode() == QWebSocketServer::SecureMode;
    return QUrl((secure ? u"wss://127.0.0.1:%1"_s : u"ws://127.0.0.1:%1"_s).arg(m_server->serverPort()));
}

QList<QByteArray> LoopbackGatewayServer::framesOfType(const QString &type) const
{
    QList<QByteArray> matching;
    std::copy_if(m_frames.begin(), m_frames.end(), std::back_inserter(matching),
                 [&type](const QByteArray &frame) { return frameType(frame) == type; });
    return matching;
}

int LoopbackGatewayServer::openSocketCount() const
{
    return int(std::count_if(m_sockets.begin(), m_sockets.end(),
                             [](QWebSocket *socket) { return socket->state() == QAbstractSocket::ConnectedState; }));
}

void LoopbackGatewayServer::acceptConnection()
{
    while (QWebSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        m_sockets.append(socket);
        connect(socket, &QWebSocket::textMessageReceived, this, [this, socket](const QString &text) {
            const QByteArray frame = text.toUtf8();
            m_frames.append(frame);
            if (m_answersHello && frameType(frame) == "hello"_L1)
                socket->sendTextMessage(uR"({"type":"hello_ok","serverVersion":"loopback"})"_s);
            else if (m_handler)
                m_handler(socket, frame);
        });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { m_closeCodes.append(socket->closeCode()); });
    }
}

QString frameType(const QByteArray &frame)
{
    return parseObject(frame).value("type"_L1).toString();
}

QString frameRequestId(const QByteArray &frame)
{
    return parseObject(frame).value("requestId"_L1).toString();
}

} // namespace tessel::test
