#pragma once

#include "DemoChat.h"
#include "DemoGatewayOptions.h"
#include "DemoProjectFiles.h"

#include <QHash>
#include <QObject>

class QWebSocket;
class QWebSocketServer;

namespace tessel::demo {

// A small but real gateway: a websocket server that requires the token in "hello" before
// it serves anything else, then answers the chat requests (DemoChat) and the project file
// requests (DemoProjectFiles) on every socket.
class DemoGatewayServer : public QObject
{
    Q_OBJECT

public:
    explicit DemoGatewayServer(const DemoGatewayOptions &options, QObject *parent = nullptr);

    // False with the reason in `error` when the address or port cannot be used.
    bool listen(QString *error);
    quint16 port() const;

private:
    struct Connection
    {
        bool authenticated = false;
        // The session whose events this socket receives.
        QString sessionId;
        // Bytes handed to the socket and not yet written, for flood pacing.
        qint64 backlog = 0;
    };
    using Handler = void (DemoGatewayServer::*)(QWebSocket *, const GatewayClientEnvelope &);

    static const QHash<QString, Handler> &handlers();

    void accept();
    void handleFrame(QWebSocket *socket, const QString &text);
    void logRequest(const QString &text);
    void handleWritten(QWebSocket *socket, qint64 bytes);
    void hello(QWebSocket *socket, const GatewayClientEnvelope &request);
    void listBackends(QWebSocket *socket, const GatewayClientEnvelope &request);
    void listSessions(QWebSocket *socket, const GatewayClientEnvelope &request);
    void createSession(QWebSocket *socket, const GatewayClientEnvelope &request);
    void sendMessage(QWebSocket *socket, const GatewayClientEnvelope &request);
    void abortSession(QWebSocket *socket, const GatewayClientEnvelope &request);
    void listFiles(QWebSocket *socket, const GatewayClientEnvelope &request);
    void readFile(QWebSocket *socket, const GatewayClientEnvelope &request);
    void writeFile(QWebSocket *socket, const GatewayClientEnvelope &request);
    void applyWrite(QWebSocket *socket, const GatewayClientEnvelope &request);

    void send(QWebSocket *socket, const QByteArray &frame, int count = 1);
    void sendError(QWebSocket *socket, const GatewayClientEnvelope &request, const ProjectFileServiceError &error);
    void broadcast(const QString &sessionId, const QByteArray &frame, int count);
    bool canSend(const QString &sessionId) const;
    DemoChat::Reply replyTo(QWebSocket *socket);

    DemoGatewayOptions m_options;
    QWebSocketServer *m_server;
    DemoProjectFiles m_files;
    DemoChat m_chat;
    QHash<QWebSocket *, Connection> m_connections;
};

} // namespace tessel::demo
