#pragma once

#include "files/ProjectFileResult.h"
#include "protocol/ProjectFileTypes.h"

#include <QFileInfo>
#include <QString>

#include <optional>

namespace tessel::demo {

// The project files a demo gateway serves: everything below one root directory, nothing
// outside it. Paths are relative and "/"-separated; absolute paths, ".." and symlinks that
// lead outside the root are refused. Revisions are SHA-256 of the bytes on disk. Errors
// are gateway errors with the codes and texts a live gateway uses.
class DemoProjectFiles
{
public:
    static constexpr qint64 maxFileBytes = 1'048'576;

    // `root` must be an existing directory.
    explicit DemoProjectFiles(const QString &root);

    const QString &root() const { return m_root; }

    ProjectFileResult<ProjectDirectoryResult> list(const QString &path, bool includeHidden) const;
    ProjectFileResult<ProjectFileDocumentSnapshot> read(const QString &path) const;
    // Replaces an existing text file; never creates one. Without an expected revision the
    // write is unconditional.
    ProjectFileResult<ProjectFileSaveResult> write(const QString &path, const QString &content,
                                                   const std::optional<QString> &expectedRevision) const;

private:
    struct Location
    {
        QString relativePath;
        QFileInfo info;
    };
    ProjectFileResult<Location> resolve(const QString &path) const;
    bool isInsideRoot(const QString &canonicalPath) const;
    std::optional<ProjectFileEntry> entry(const QString &directory, const QFileInfo &info) const;
    ProjectFileResult<QByteArray> readText(const Location &location) const;

    QString m_root;
};

} // namespace tessel::demo
