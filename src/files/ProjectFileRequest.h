#pragma once

#include "files/ProjectFileResult.h"
#include "protocol/GatewayClientEnvelope.h"
#include "protocol/GatewayServerEnvelope.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <chrono>

namespace tessel {

class GatewayClientError;
class GatewayWebSocketClient;
struct MachineProfile;

// One project file request on a socket of its own: hello with the machine's token, the
// request after the first "hello_ok", then the reply with the same request id. It finishes
// exactly once, by the first of: an accepted reply, an "error", a reply of another type
// with this id, a socket failure, or the time limit (counted from start()). Then it closes
// its socket, calls back (unless `context` is gone) and deletes itself.
class ProjectFileRequest : public QObject
{
    Q_OBJECT

public:
    using Callback = ProjectFileCallback<GatewayServerEnvelope>;

    static void start(const MachineProfile &machine, const GatewayClientEnvelope &request,
                      const QStringList &responseTypes, std::chrono::milliseconds timeout, QObject *context,
                      Callback callback);

private:
    ProjectFileRequest(GatewayClientEnvelope request, QStringList responseTypes, QObject *context, Callback callback);

    void open(const QUrl &url, const QString &token, std::chrono::milliseconds timeout);
    void handleMessage(const GatewayServerEnvelope &envelope);
    void handleFailure(const GatewayClientError &error);
    void sendOrFinish(const GatewayClientEnvelope &envelope);
    void finish(const ProjectFileResult<GatewayServerEnvelope> &outcome);

    GatewayClientEnvelope m_request;
    QStringList m_responseTypes;
    QPointer<QObject> m_context;
    Callback m_callback;
    GatewayWebSocketClient *m_client = nullptr;
    QTimer m_timeout;
    bool m_requestSent = false;
    bool m_finished = false;
};

} // namespace tessel
