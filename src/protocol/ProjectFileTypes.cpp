#include "protocol/ProjectFileTypes.h"

#include "protocol/JsonReader.h"
#include "protocol/JsonWriter.h"

#include <QCollator>

#include <algorithm>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using namespace json;

ProjectFileEntry ProjectFileEntry::decode(const simdjson::dom::element &value)
{
    const Object object = asObject(value);
    return {requiredString(object, "name"),
            requiredString(object, "path"),
            requiredEnum<ProjectFileKind>(object, "kind"),
            requiredInt64(object, "size"),
            requiredString(object, "modifiedAt"),
            requiredBool(object, "isHidden"),
            requiredBool(object, "isText"),
            requiredBool(object, "isMarkdown")};
}

void ProjectFileEntry::encode(JsonWriter &writer) const
{
    writer.beginObject();
    writer.field("name", name);
    writer.field("path", path);
    writer.field("kind", kind);
    writer.field("size", size);
    writer.field("modifiedAt", modifiedAt);
    writer.field("isHidden", isHidden);
    writer.field("isText", isText);
    writer.field("isMarkdown", isMarkdown);
    writer.endObject();
}

QString title(ProjectWorkspaceTab tab)
{
    switch (tab) {
    case ProjectWorkspaceTab::chat: return u"Chat"_s;
    case ProjectWorkspaceTab::files: return u"Files"_s;
    }
    Q_UNREACHABLE();
    return {};
}

QList<ProjectFileEntry> sortedForDisplay(QList<ProjectFileEntry> entries)
{
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::stable_sort(entries.begin(), entries.end(), [&collator](const ProjectFileEntry &a, const ProjectFileEntry &b) {
        if (a.kind != b.kind)
            return a.kind == ProjectFileKind::directory;
        return collator.compare(a.name, b.name) < 0;
    });
    return entries;
}

} // namespace tessel
