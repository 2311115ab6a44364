#pragma once

#include "files/ProjectFileResult.h"
#include "protocol/ProjectFileTypes.h"

#include <QDateTime>
#include <QMap>
#include <QSet>
#include <QStringList>

namespace tessel {

// An in-memory stand-in for a gateway's project files, used in mock mode: a fixed seeded
// tree, SHA-256 revisions, the 1,048,576-byte write limit, stale-revision conflicts, and
// (with "UITestsMockFileConflict") one simulated change on disk behind the editor's back.
// Nothing is written to disk. GUI thread only.
class UITestProjectFilesStore
{
public:
    static constexpr qint64 maxWriteBytes = 1'048'576;

    explicit UITestProjectFilesStore(const QStringList &arguments);

    // The process's one store, created on first use with the launch arguments.
    static UITestProjectFilesStore &shared();

    ProjectFileResult<ProjectDirectoryResult> list(const QString &path, bool includeHidden) const;
    ProjectFileResult<ProjectFileDocumentSnapshot> read(const QString &path) const;
    ProjectFileResult<ProjectFileSaveResult> write(const QString &path, const QString &content,
                                                   const QString &expectedRevision);
    // Restores the seeded files and forgets produced conflicts.
    void reset();

    // SHA-256 of the UTF-8 bytes as 64 lower-case hex digits.
    static QString revision(const QString &content);
    // Trimmed, "\" turned into "/", without leading or trailing "/".
    static QString normalizedPath(const QString &path);

private:
    struct MockTextFile
    {
        QString content;
        QDateTime modifiedAt;
    };
    struct MockBinaryFile
    {
        qint64 size = 0;
        QDateTime modifiedAt;
    };

    bool hasDirectory(const QString &path) const;
    bool shouldSimulateConflict(const QString &path);
    QList<ProjectFileEntry> entriesBelow(const QString &directory) const;
    ProjectFileEntry fileEntry(const QString &path) const;

    QStringList m_arguments;
    QMap<QString, MockTextFile> m_textFiles;
    QMap<QString, MockBinaryFile> m_binaryFiles;
    QSet<QString> m_conflictSimulationPaths;
    QDateTime m_seedDate;
};

} // namespace tessel
