#include "storage/MachineProfile.h"

#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

#include <QUrl>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using namespace json;

static_assert(GatewayMachineDescriptor<MachineProfile>);
static_assert(GatewayMachineDescriptor<StoredMachineProfile>);

QString ProjectProfile::displayName() const
{
    if (const QString trimmedName = name.trimmed(); !trimmedName.isEmpty())
        return trimmedName;
    const QStringList pieces = directory.split(u'/', Qt::SkipEmptyParts);
    if (!pieces.isEmpty()) {
        if (const QString last = pieces.last().trimmed(); !last.isEmpty())
            return last;
    }
    return u"Untitled Project"_s;
}

ProjectProfile ProjectProfile::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredUuid(object, "id"), requiredString(object, "name"), requiredString(object, "directory")};
}

void ProjectProfile::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("id", id);
    writer.field("name", name);
    writer.field("directory", directory);
    writer.endObject();
}

QString MachineProfile::displayName() const
{
    if (const QString trimmedName = name.trimmed(); !trimmedName.isEmpty())
        return trimmedName;
    const QUrl url(gatewayURL, QUrl::StrictMode);
    if (url.isValid()) {
        if (const QString host = url.host().trimmed(); !host.isEmpty())
            return host;
    }
    return u"Unnamed Machine"_s;
}

namespace {

QList<ProjectProfile> decodeProjects(Object object)
{
    return asList<ProjectProfile>(requiredField(object, "projects"),
                                  [](Element item) { return ProjectProfile::decode(item); });
}

} // namespace

MachineProfile MachineProfile::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredUuid(object, "id"), requiredString(object, "name"), requiredString(object, "gatewayURL"),
            requiredString(object, "gatewayToken"), decodeProjects(object)};
}

void MachineProfile::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("id", id);
    writer.field("name", name);
    writer.field("gatewayURL", gatewayURL);
    writer.field("gatewayToken", gatewayToken);
    writer.field("projects", projects);
    writer.endObject();
}

StoredMachineProfile StoredMachineProfile::from(const MachineProfile &machine)
{
    return {machine.id, machine.name, machine.gatewayURL, machine.projects};
}

MachineProfile StoredMachineProfile::toMachineProfile(const QString &token) const
{
    return {id, name, gatewayURL, token, projects};
}

StoredMachineProfile StoredMachineProfile::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredUuid(object, "id"), requiredString(object, "name"), requiredString(object, "gatewayURL"),
            decodeProjects(object)};
}

void StoredMachineProfile::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("id", id);
    writer.field("name", name);
    writer.field("gatewayURL", gatewayURL);
    writer.field("projects", projects);
    writer.endObject();
}

} // namespace tessel
