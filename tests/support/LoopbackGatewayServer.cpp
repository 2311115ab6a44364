#include "support/LoopbackGatewayServer.h"

#include "support/TestJson.h"

#include <QFile>
#include <QHostAddress>
#include <QJsonObject>
#include <QProcess>
#include <QSslKey>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>
#include <QWebSocketServer>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

LoopbackGatewayServer::LoopbackGatewayServer(QObject *parent)
    : QObject(parent)
    , m_server(new QWebSocketServer(u"loopback-gateway"_s, QWebSocketServer::NonSecureMode, this))
{
    connect(m_server, &QWebSocketServer::newConnection, this, &LoopbackGatewayServer::acceptConnection);
}

LoopbackGatewayServer::LoopbackGatewayServer(const QSslConfiguration &tls, QObject *parent)
    : QObject(parent)
    , m_server(new QWebSocketServer(u"loopback-gateway"_s, QWebSocketServer::SecureMode, this))
{
    m_server->setSslConfiguration(tls);
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
    openssl.start(u"openssl"_s,
                  {u"req"_s, u"-x509"_s, u"-newkey"_s, u"ec"_s, u"-pkeyopt"_s, u"ec_paramgen_curve:prime256v1"_s,
                   u"-nodes"_s, u"-days"_s, u"1"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-addext"_s,
                   u"subjectAltName=IP:127.0.0.1"_s, u"-keyout"_s, u"key.pem"_s, u"-out"_s, u"cert.pem"_s});
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
    for (const QByteArray &frame : m_frames) {
        if (frameType(frame) == type)
            matching.append(frame);
    }
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
            Q_EMIT frameReceived(frame);
        });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            m_closeCodes.append(socket->closeCode());
            Q_EMIT clientClosed();
        });
        Q_EMIT clientConnected();
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
