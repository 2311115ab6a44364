#pragma once

#include "protocol/WireEnum.h"

#include <QList>
#include <QString>

#include <optional>

namespace simdjson::dom {
class element;
}

namespace tessel {

class JsonWriter;

enum class ProjectFileKind { file, directory };
template<>
struct WireNames<ProjectFileKind>
{
    static constexpr std::array<std::string_view, 2> names{"file", "directory"};
};

// One entry of a directory listing as the gateway sends it. All eight keys are required.
struct ProjectFileEntry
{
    QString name;
    // Relative to the project directory, "/"-separated; also the entry's identity.
    QString path;
    ProjectFileKind kind = ProjectFileKind::file;
    qint64 size = 0;
    // Kept exactly as received, never parsed.
    QString modifiedAt;
    bool isHidden = false;
    bool isText = false;
    bool isMarkdown = false;

    const QString &id() const { return path; }
    static ProjectFileEntry decode(const simdjson::dom::element &value);
    void encode(JsonWriter &writer) const;
    friend bool operator==(const ProjectFileEntry &, const ProjectFileEntry &) = default;
};

struct ProjectDirectoryResult
{
    // Empty means the project directory itself.
    QString path;
    // In the gateway's order; sortedForDisplay() gives the order shown.
    QList<ProjectFileEntry> entries;
    bool includeHidden = false;

    friend bool operator==(const ProjectDirectoryResult &, const ProjectDirectoryResult &) = default;
};

struct ProjectFileDocumentSnapshot
{
    QString path;
    QString content;
    // Opaque; sent back as the expected revision when saving.
    QString revision;
    qint64 size = 0;
    QString modifiedAt;
    std::optional<QString> languageHint;
    bool isMarkdown = false;

    friend bool operator==(const ProjectFileDocumentSnapshot &, const ProjectFileDocumentSnapshot &) = default;
};

struct ProjectFileSaveResult
{
    QString path;
    QString revision;
    qint64 size = 0;
    QString modifiedAt;

    friend bool operator==(const ProjectFileSaveResult &, const ProjectFileSaveResult &) = default;
};

enum class ProjectWorkspaceTab { chat, files };
template<>
struct WireNames<ProjectWorkspaceTab>
{
    static constexpr std::array<std::string_view, 2> names{"chat", "files"};
};
// "Chat" or "Files", as the workspace picker shows it.
QString title(ProjectWorkspaceTab tab);

// Directories first, then files; names compared case-insensitively in the user's locale;
// entries that compare equal keep the gateway's order.
QList<ProjectFileEntry> sortedForDisplay(QList<ProjectFileEntry> entries);

} // namespace tessel
