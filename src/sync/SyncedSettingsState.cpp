#include "sync/SyncedSettingsState.h"

#include "BuildInfo.h"
#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

#include <QHostInfo>
#include <QSysInfo>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using namespace json;

namespace {

template<typename T>
std::optional<T> optionalRecord(Object object, std::string_view key)
{
    if (const auto value = optionalField(object, key))
        return T::decode(*value);
    return std::nullopt;
}

std::optional<QString> nonEmpty(const char *text)
{
    if (QString value = QString::fromUtf8(text); !value.isEmpty())
        return value;
    return std::nullopt;
}

} // namespace

SyncedWriterInfo SyncedWriterInfo::current()
{
    QString deviceName = QHostInfo::localHostName();
    if (deviceName.isEmpty())
        deviceName = QSysInfo::machineHostName();
    QString deviceID = QSysInfo::machineHostName();
    if (deviceID.isEmpty())
        deviceID = deviceName;
    return {deviceID, deviceName, QSysInfo::prettyProductName(), nonEmpty(buildinfo::appVersion),
            nonEmpty(buildinfo::buildNumber)};
}

SyncedWriterInfo SyncedWriterInfo::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredString(object, "deviceID"), requiredString(object, "deviceName"),
            requiredString(object, "platform"), optionalString(object, "appVersion"),
            optionalString(object, "buildNumber")};
}

void SyncedWriterInfo::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("deviceID", deviceID);
    writer.field("deviceName", deviceName);
    writer.field("platform", platform);
    writer.field("appVersion", appVersion);
    writer.field("buildNumber", buildNumber);
    writer.endObject();
}

SyncedChatHandoff SyncedChatHandoff::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredUuid(object, "machineID"), requiredUuid(object, "projectID"),
            requiredEnum<BackendKind>(object, "backend"), optionalString(object, "backendSessionId"),
            ReferenceDate::decode(requiredField(object, "updatedAt"))};
}

void SyncedChatHandoff::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("machineID", machineID);
    writer.field("projectID", projectID);
    writer.field("backend", backend);
    writer.field("backendSessionId", backendSessionId);
    writer.field("updatedAt", updatedAt);
    writer.endObject();
}

SyncedSettingsState SyncedSettingsState::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredInt64(object, "schemaVersion"), ReferenceDate::decode(requiredField(object, "updatedAt")),
            optionalRecord<SyncedWriterInfo>(object, "writer"),
            asList<SyncedMachineProfile>(requiredField(object, "machines"), &SyncedMachineProfile::decode),
            optionalRecord<SyncedChatHandoff>(object, "handoff")};
}

void SyncedSettingsState::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("schemaVersion", schemaVersion);
    writer.field("updatedAt", updatedAt);
    writer.field("writer", this->writer);
    writer.field("machines", machines);
    writer.field("handoff", handoff);
    writer.endObject();
}

} // namespace tessel
