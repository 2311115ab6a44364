#include "DemoGatewayServer.h"

#include "DemoReply.h"
#include "DemoRequestDecoder.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>

#include <cstdio>

using namespace Qt::Literals::StringLiterals;

namespace tessel::demo {

namespace {

// Clients send at most 3,000,000 bytes; anything much larger is not a client of ours.
constexpr quint64 maxIncomingBytes = 8 * 1024 * 1024;
// Flood replies pause while a socket has this much unwritten.
constexpr qint64 maxBacklogBytes = 1024 * 1024;

bool sameToken(const QString &given, const QString &expected)
{
    // Compared in full whatever the first difference, so timing tells nothing.
    const QByteArray a = given.toUtf8();
    const QByteArray b = expected.toUtf8();
    unsigned difference = a.size() == b.size() ? 0 : 1;
    for (qsizetype i = 0; i < b.size(); ++i)
        difference |= unsigned((i < a.size() ? a.at(i) : 0) ^ b.at(i));
    return difference == 0;
}

} // namespace

DemoGatewayServer::DemoGatewayServer(const DemoGatewayOptions &options, QObject *parent)
    : QObject(parent)
    , m_options(options)
    , m_server(new QWebSocketServer(u"tessel-demo-gateway"_s, QWebSocketServer::NonSecureMode, this))
    , m_files(options.root)
    , m_chat(m_files, {options.piUnavailableReason, options.deltaInterval})
{
    m_chat.setCanSend([this](const QString &sessionId) { return canSend(sessionId); });
    connect(&m_chat, &DemoChat::sessionEvent, this, &DemoGatewayServer::broadcast);
    connect(m_server, &QWebSocketServer::newConnection, this, &DemoGatewayServer::accept);
}

bool DemoGatewayServer::listen(QString *error)
{
    if (m_server->listen(m_options.listenAddress, m_options.port))
        return true;
    *error = m_server->errorString();
    return false;
}

quint16 DemoGatewayServer::port() const
{
    return m_server->serverPort();
}

void DemoGatewayServer::accept()
{
    while (QWebSocket *socket = m_server->nextPendingConnection()) {
        socket->setParent(this);
        socket->setMaxAllowedIncomingFrameSize(maxIncomingBytes);
        socket->setMaxAllowedIncomingMessageSize(maxIncomingBytes);
        m_connections.insert(socket, {});
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString &text) { handleFrame(socket, text); });
        connect(socket, &QWebSocket::bytesWritten, this,
                [this, socket](qint64 bytes) { handleWritten(socket, bytes); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] {
            m_connections.remove(socket);
            socket->deleteLater();
        });
    }
}

void DemoGatewayServer::handleFrame(QWebSocket *socket, const QString &text)
{
    QString error;
    const auto request = decodeClientEnvelope(text.toUtf8(), &error);
    if (!request) {
        send(socket, DemoReply::error(std::nullopt, u"BAD_REQUEST"_s, u"The request is not valid: "_s + error));
        return;
    }
    if (m_options.logRequests)
        logRequest(text);
    if (request->type != "hello"_L1 && !m_connections.value(socket).authenticated) {
        send(
            socket,
            DemoReply::error(request->requestId, u"UNAUTHORIZED"_s, u"Send \"hello\" with the gateway token first."_s));
        return;
    }
    const Handler handler = handlers().value(request->type);
    if (!handler) {
        send(socket,
             DemoReply::error(request->requestId, u"BAD_REQUEST"_s, u"Unknown request type: "_s + request->type));
        return;
    }
    (this->*handler)(socket, *request);
}

void DemoGatewayServer::logRequest(const QString &text)
{
    const QJsonObject object = QJsonDocument::fromJson(text.toUtf8()).object();
    QStringList keys = object.keys();
    keys.sort();
    const QString line = u"request "_s + object.value(u"type"_s).toString() + u" keys="_s + keys.join(u',');
    std::printf("%s\n", line.toUtf8().constData());
    std::fflush(stdout);
}

void DemoGatewayServer::handleWritten(QWebSocket *socket, qint64 bytes)
{
    const auto found = m_connections.find(socket);
    if (found == m_connections.end())
        return;
    const bool wasFull = found->backlog >= maxBacklogBytes;
    found->backlog = qMax<qint64>(0, found->backlog - bytes);
    if (wasFull && found->backlog < maxBacklogBytes)
        m_chat.resumeSession(found->sessionId);
}

void DemoGatewayServer::hello(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    if (!sameToken(request.token.value_or(QString()), m_options.token)) {
        send(socket,
             DemoReply::error(request.requestId, u"UNAUTHORIZED"_s, u"The gateway token is missing or wrong."_s));
        return;
    }
    m_connections[socket].authenticated = true;
    const GatewayFeatures features{false, false, {u"none"_s, false, std::nullopt}};
    send(socket,
         DemoReply("hello_ok", request.requestId)
             .field("serverVersion", "tessel-demo-gateway 0.1.0")
             .field("authRequired", true)
             .field("features", features)
             .bytes());
}

void DemoGatewayServer::listBackends(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    m_chat.listBackends(request, replyTo(socket));
}

void DemoGatewayServer::listSessions(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    m_chat.listSessions(request, replyTo(socket));
}

void DemoGatewayServer::createSession(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    if (const auto sessionId = m_chat.createSession(request, replyTo(socket)))
        m_connections[socket].sessionId = *sessionId;
}

void DemoGatewayServer::sendMessage(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    m_chat.sendMessage(request, replyTo(socket));
}

void DemoGatewayServer::abortSession(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    m_chat.abort(request, replyTo(socket));
}

void DemoGatewayServer::listFiles(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    const auto result = m_files.list(request.path.value_or(QString()), request.includeHidden.value_or(false));
    if (!result.hasValue())
        return sendError(socket, request, result.error());
    send(socket,
         DemoReply("project_files_list", request.requestId)
             .field("path", result.value().path)
             .field("includeHidden", result.value().includeHidden)
             .field("entries", result.value().entries)
             .bytes());
}

void DemoGatewayServer::readFile(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    const auto result = m_files.read(request.path.value_or(QString()));
    if (!result.hasValue())
        return sendError(socket, request, result.error());
    const ProjectFileDocumentSnapshot &document = result.value();
    send(socket,
         DemoReply("project_file_read", request.requestId)
             .field("path", document.path)
             .field("content", document.content)
             .field("revision", document.revision)
             .field("size", document.size)
             .field("modifiedAt", document.modifiedAt)
             .field("languageHint", document.languageHint)
             .field("isMarkdown", document.isMarkdown)
             .bytes());
}

void DemoGatewayServer::writeFile(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    if (m_options.fileWriteDelay.count() > 0) {
        // A socket that closes meanwhile takes its write with it.
        QTimer::singleShot(m_options.fileWriteDelay, socket, [this, socket, request] { applyWrite(socket, request); });
        return;
    }
    applyWrite(socket, request);
}

void DemoGatewayServer::applyWrite(QWebSocket *socket, const GatewayClientEnvelope &request)
{
    const auto result =
        m_files.write(request.path.value_or(QString()), request.content.value_or(QString()), request.expectedRevision);
    if (!result.hasValue())
        return sendError(socket, request, result.error());
    send(socket,
         DemoReply("project_file_write", request.requestId)
             .field("path", result.value().path)
             .field("revision", result.value().revision)
             .field("size", result.value().size)
             .field("modifiedAt", result.value().modifiedAt)
             .bytes());
}

void DemoGatewayServer::send(QWebSocket *socket, const QByteArray &frame, int count)
{
    m_connections[socket].backlog += frame.size() * count;
    const QString text = QString::fromUtf8(frame);
    for (int i = 0; i < count; ++i)
        socket->sendTextMessage(text);
}

void DemoGatewayServer::sendError(QWebSocket *socket, const GatewayClientEnvelope &request,
                                  const ProjectFileServiceError &error)
{
    send(socket, DemoReply::error(request.requestId, error.code(), error.message()));
}

void DemoGatewayServer::broadcast(const QString &sessionId, const QByteArray &frame, int count)
{
    QList<QWebSocket *> attached;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (it->authenticated && it->sessionId == sessionId)
            attached.append(it.key());
    }
    for (QWebSocket *socket : std::as_const(attached))
        send(socket, frame, count);
}

bool DemoGatewayServer::canSend(const QString &sessionId) const
{
    return std::none_of(m_connections.cbegin(), m_connections.cend(), [&sessionId](const Connection &connection) {
        return connection.sessionId == sessionId && connection.backlog >= maxBacklogBytes;
    });
}

DemoChat::Reply DemoGatewayServer::replyTo(QWebSocket *socket)
{
    return [this, socket](const QByteArray &frame) { send(socket, frame); };
}

const QHash<QString, DemoGatewayServer::Handler> &DemoGatewayServer::handlers()
{
    static const QHash<QString, Handler> table{
        {u"hello"_s, &DemoGatewayServer::hello},
        {u"list_backends"_s, &DemoGatewayServer::listBackends},
        {u"session_list"_s, &DemoGatewayServer::listSessions},
        {u"session_create"_s, &DemoGatewayServer::createSession},
        {u"session_message"_s, &DemoGatewayServer::sendMessage},
        {u"session_abort"_s, &DemoGatewayServer::abortSession},
        {u"project_files_list"_s, &DemoGatewayServer::listFiles},
        {u"project_file_read"_s, &DemoGatewayServer::readFile},
        {u"project_file_write"_s, &DemoGatewayServer::writeFile},
    };
    return table;
}

} // namespace tessel::demo
