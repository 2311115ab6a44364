#include "protocol/GatewayClientEnvelope.h"

#include "protocol/JsonWriter.h"
#include "protocol/UuidText.h"

#include <QUuid>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

ClientMetadata ClientMetadata::thisClient()
{
    return {u"tessel_desktop_poc"_s, u"0.1.0"_s, u"macos"_s};
}

void ClientMetadata::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("name", name);
    writer.field("version", version);
    writer.field("platform", platform);
    writer.endObject();
}

QString newRequestId()
{
    return uuidText(QUuid::createUuid());
}

std::optional<QString> nonEmpty(const QString &text)
{
    if (text.isEmpty())
        return std::nullopt;
    return text;
}

QString trimmedCwd(const QString &directory)
{
    return directory.trimmed();
}

GatewayClientEnvelope GatewayClientEnvelope::request(const QString &type)
{
    GatewayClientEnvelope envelope;
    envelope.type = type;
    envelope.requestId = newRequestId();
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::hello(const QString &token)
{
    auto envelope = request(u"hello"_s);
    envelope.token = nonEmpty(token);
    envelope.client = ClientMetadata::thisClient();
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::listSessions(BackendKind backend, const QString &cwd)
{
    auto envelope = request(u"session_list"_s);
    envelope.backend = backend;
    envelope.cwd = nonEmpty(cwd);
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::listProjectFiles(const QString &cwd, const std::optional<QString> &path,
                                                              bool includeHidden)
{
    auto envelope = request(u"project_files_list"_s);
    envelope.cwd = nonEmpty(cwd);
    // Blank paths mean the project root; a real path goes out exactly as given.
    if (path && !path->trimmed().isEmpty())
        envelope.path = path;
    if (includeHidden)
        envelope.includeHidden = true;
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::readProjectFile(const QString &cwd, const QString &path)
{
    auto envelope = request(u"project_file_read"_s);
    envelope.cwd = nonEmpty(cwd);
    envelope.path = path;
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::listBackends()
{
    return request(u"list_backends"_s);
}

GatewayClientEnvelope GatewayClientEnvelope::createSession(BackendKind backend, const QString &cwd, bool forceNew)
{
    auto envelope = request(u"session_create"_s);
    envelope.backend = backend;
    envelope.cwd = nonEmpty(cwd);
    // Only ever sent as true: without it the gateway may reattach to a live session.
    if (forceNew)
        envelope.forceNew = true;
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::openSession(const GatewaySessionSummary &summary)
{
    auto envelope = request(u"session_create"_s);
    envelope.backend = summary.backend;
    envelope.cwd = nonEmpty(summary.cwd);
    envelope.backendSessionId = summary.backendSessionId;
    envelope.sessionId = summary.id;
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::sendMessage(const QString &sessionId, const QString &text)
{
    auto envelope = request(u"session_message"_s);
    envelope.sessionId = sessionId;
    envelope.text = text;
    envelope.delivery = u"default"_s;
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::abortSession(const QString &sessionId)
{
    auto envelope = request(u"session_abort"_s);
    envelope.sessionId = sessionId;
    return envelope;
}

GatewayClientEnvelope GatewayClientEnvelope::writeProjectFile(const QString &cwd, const QString &path,
                                                              const QString &content,
                                                              const std::optional<QString> &expectedRevision)
{
    auto envelope = request(u"project_file_write"_s);
    envelope.cwd = nonEmpty(cwd);
    envelope.path = path;
    envelope.content = content;
    envelope.expectedRevision = expectedRevision;
    return envelope;
}

void GatewayClientEnvelope::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("type", type);
    writer.field("requestId", requestId);
    writer.field("token", token);
    writer.field("client", client);
    writer.field("backend", backend);
    writer.field("cwd", cwd);
    writer.field("backendSessionId", backendSessionId);
    writer.field("sessionId", sessionId);
    writer.field("text", text);
    writer.field("command", command);
    writer.field("query", query);
    writer.field("displayText", displayText);
    writer.field("delivery", delivery);
    writer.field("forceNew", forceNew);
    writer.field("path", path);
    writer.field("includeHidden", includeHidden);
    writer.field("content", content);
    writer.field("expectedRevision", expectedRevision);
    writer.endObject();
}

QByteArray GatewayClientEnvelope::toJson() const
{
    JsonWriter writer;
    encode(writer);
    return writer.bytes();
}

} // namespace tessel
