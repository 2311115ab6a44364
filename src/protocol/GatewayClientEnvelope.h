#pragma once

#include "protocol/GatewayProtocolValues.h"
#include "protocol/ProtocolEnums.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessel {

class JsonWriter;

// Who is connecting; sent with every "hello". The values are what gateways know this
// client by, not the application's own version.
struct ClientMetadata
{
    QString name;
    QString version;
    QString platform;

    static ClientMetadata thisClient();
    void encode(JsonWriter &writer) const;
    friend bool operator==(const ClientMetadata &, const ClientMetadata &) = default;
};

// Every message this client sends to a gateway. Only ever encoded: `type` is always
// written, every other field only when present, so each request carries exactly its keys.
struct GatewayClientEnvelope
{
    QString type;
    std::optional<QString> requestId;
    std::optional<QString> token;
    std::optional<ClientMetadata> client;
    std::optional<BackendKind> backend;
    std::optional<QString> cwd;
    std::optional<QString> backendSessionId;
    std::optional<QString> sessionId;
    std::optional<QString> text;
    std::optional<QString> command;
    std::optional<QString> query;
    std::optional<QString> displayText;
    std::optional<QString> delivery;
    std::optional<bool> forceNew;
    std::optional<QString> path;
    std::optional<bool> includeHidden;
    std::optional<QString> content;
    std::optional<QString> expectedRevision;

    // A request of kind `type` with a fresh request id and nothing else set.
    static GatewayClientEnvelope request(const QString &type);

    static GatewayClientEnvelope hello(const QString &token);
    static GatewayClientEnvelope listSessions(BackendKind backend, const QString &cwd);
    static GatewayClientEnvelope listProjectFiles(const QString &cwd, const std::optional<QString> &path,
                                                  bool includeHidden);
    static GatewayClientEnvelope readProjectFile(const QString &cwd, const QString &path);

    // The other request kinds. As above, `cwd` is sent only when non-empty; callers pass
    // the project directory through trimmedCwd().
    static GatewayClientEnvelope listBackends();
    static GatewayClientEnvelope createSession(BackendKind backend, const QString &cwd, bool forceNew);
    static GatewayClientEnvelope openSession(const GatewaySessionSummary &summary);
    static GatewayClientEnvelope sendMessage(const QString &sessionId, const QString &text);
    static GatewayClientEnvelope abortSession(const QString &sessionId);
    static GatewayClientEnvelope writeProjectFile(const QString &cwd, const QString &path, const QString &content,
                                                  const std::optional<QString> &expectedRevision);

    void encode(JsonWriter &writer) const;
    QByteArray toJson() const;
    friend bool operator==(const GatewayClientEnvelope &, const GatewayClientEnvelope &) = default;
};

// A fresh random UUID as upper-case 36-character text; every request gets its own.
QString newRequestId();

// The present value when it is non-empty, else nothing.
std::optional<QString> nonEmpty(const QString &text);

// A project directory as requests carry it: without surrounding white space and newlines.
QString trimmedCwd(const QString &directory);

} // namespace tessel
