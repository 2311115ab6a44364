#include "files/UITestProjectFilesStore.h"

#include "files/ProjectFileLanguage.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFileInfo>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

QString isoText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

QDateTime now()
{
    const QDateTime current = QDateTime::currentDateTimeUtc();
    return current.addMSecs(-current.time().msec());
}

bool isMarkdownPath(const QString &path)
{
    return QFileInfo(path).suffix().toLower() == "md"_L1;
}

ProjectFileServiceError notFound()
{
    return ProjectFileServiceError::gateway(u"NOT_FOUND"_s, u"The requested path does not exist."_s);
}

ProjectFileServiceError unsupportedFile()
{
    return ProjectFileServiceError::gateway(u"UNSUPPORTED_FILE"_s, u"Binary files are not editable in Tessel yet."_s);
}

ProjectFileServiceError fileTooLarge()
{
    return ProjectFileServiceError::gateway(u"FILE_TOO_LARGE"_s, u"This file is too large for mobile editing."_s);
}

ProjectFileServiceError conflict()
{
    return ProjectFileServiceError::gateway(
        u"CONFLICT"_s, u"This file changed on disk after it was loaded. Reload it before saving again."_s);
}

const QString conflictPath = u"docs/roadmap/project-file-editor.md"_s;

} // namespace

UITestProjectFilesStore::UITestProjectFilesStore(const QStringList &arguments)
    : m_arguments(arguments)
{
    m_seedDate = QDateTime::fromString(u"2026-03-15T18:30:00Z"_s, Qt::ISODate);
    if (!m_seedDate.isValid())
        m_seedDate = now();
    reset();
}

UITestProjectFilesStore &UITestProjectFilesStore::shared()
{
    static UITestProjectFilesStore store(QCoreApplication::arguments());
    return store;
}

void UITestProjectFilesStore::reset()
{
    m_conflictSimulationPaths.clear();
    m_binaryFiles = {{u"assets/logo.png"_s, {32000, m_seedDate.addSecs(180)}}};
    m_textFiles = {
        {u"README.md"_s,
         {u"# Tessel\n\nA workspace for talking to coding agents and editing their project files.\n\n"
          "- Browse project directories\n- Preview Markdown\n- Edit source files\n"_s,
          m_seedDate}},
        {conflictPath,
         {u"# Project File Browser\n\nThis is a mocked roadmap document.\n\n```swift\n"
          "struct ProjectFileEditor {\n    static let isEnabled = true\n}\n```\n"_s,
          m_seedDate.addSecs(120)}},
        {u"packages/gateway/src/server.ts"_s,
         {u"export function greet(name: string): string {\n    return `Hello, ${name}!`;\n}\n"_s,
          m_seedDate.addSecs(240)}},
        {u"theme.css"_s,
         {u":root {\n  --accent: #3a7bd5;\n}\n\nbody {\n  color: var(--accent);\n}\n"_s, m_seedDate.addSecs(270)}},
        {u".env"_s, {u"TESSEL_TOKEN=mock-token\n"_s, m_seedDate.addSecs(300)}},
    };
}

QString UITestProjectFilesStore::revision(const QString &content)
{
    return QString::fromLatin1(QCryptographicHash::hash(content.toUtf8(), QCryptographicHash::Sha256).toHex());
}

QString UITestProjectFilesStore::normalizedPath(const QString &path)
{
    QString normalized = path.trimmed();
    normalized.replace(u'\\', u'/');
    qsizetype start = 0;
    qsizetype end = normalized.size();
    while (start < end && normalized.at(start) == u'/')
        ++start;
    while (end > start && normalized.at(end - 1) == u'/')
        --end;
    return normalized.mid(start, end - start);
}

bool UITestProjectFilesStore::hasDirectory(const QString &path) const
{
    if (path.isEmpty())
        return true;
    const QString prefix = path + u'/';
    const auto below = [&prefix](const QString &file) { return file.startsWith(prefix); };
    const QList<QString> textPaths = m_textFiles.keys();
    const QList<QString> binaryPaths = m_binaryFiles.keys();
    return std::any_of(textPaths.begin(), textPaths.end(), below) ||
        std::any_of(binaryPaths.begin(), binaryPaths.end(), below);
}

ProjectFileEntry UITestProjectFilesStore::fileEntry(const QString &path) const
{
    ProjectFileEntry entry;
    entry.path = path;
    entry.name = path.section(u'/', -1);
    entry.kind = ProjectFileKind::file;
    entry.isHidden = entry.name.startsWith(u'.');
    entry.isMarkdown = isMarkdownPath(path);
    if (const auto text = m_textFiles.constFind(path); text != m_textFiles.cend()) {
        entry.size = text->content.toUtf8().size();
        entry.modifiedAt = isoText(text->modifiedAt);
        entry.isText = true;
    } else {
        const MockBinaryFile &binary = m_binaryFiles[path];
        entry.size = binary.size;
        entry.modifiedAt = isoText(binary.modifiedAt);
    }
    return entry;
}

QList<ProjectFileEntry> UITestProjectFilesStore::entriesBelow(const QString &directory) const
{
    const QString prefix = directory.isEmpty() ? QString() : directory + u'/';
    QMap<QString, ProjectFileEntry> entriesByName;
    QStringList paths = m_textFiles.keys() + m_binaryFiles.keys();
    for (const QString &path : std::as_const(paths)) {
        if (!path.startsWith(prefix))
            continue;
        const QString rest = path.mid(prefix.size());
        const QString name = rest.section(u'/', 0, 0);
        if (!rest.contains(u'/')) {
            entriesByName.insert(name, fileEntry(path));
            continue;
        }
        // A directory stands for every file below it and shows the latest change among them.
        ProjectFileEntry &entry = entriesByName[name];
        const QString modifiedAt = fileEntry(path).modifiedAt;
        if (entry.path.isEmpty())
            entry = {name,  prefix + name, ProjectFileKind::directory, 0, modifiedAt, name.startsWith(u'.'),
                     false, false};
        entry.modifiedAt = qMax(entry.modifiedAt, modifiedAt);
    }
    return entriesByName.values();
}

ProjectFileResult<ProjectDirectoryResult> UITestProjectFilesStore::list(const QString &path, bool includeHidden) const
{
    const QString directory = normalizedPath(path);
    if (!hasDirectory(directory))
        return notFound();
    QList<ProjectFileEntry> entries = entriesBelow(directory);
    if (!includeHidden)
        entries.removeIf([](const ProjectFileEntry &entry) { return entry.name.startsWith(u'.'); });
    return ProjectDirectoryResult{directory, sortedForDisplay(entries), includeHidden};
}

ProjectFileResult<ProjectFileDocumentSnapshot> UITestProjectFilesStore::read(const QString &path) const
{
    const QString file = normalizedPath(path);
    const auto text = m_textFiles.constFind(file);
    if (text == m_textFiles.cend())
        return m_binaryFiles.contains(file) ? unsupportedFile() : notFound();
    return ProjectFileDocumentSnapshot{file,
                                       text->content,
                                       revision(text->content),
                                       text->content.toUtf8().size(),
                                       isoText(text->modifiedAt),
                                       ProjectFileLanguage::hint(file),
                                       isMarkdownPath(file)};
}

ProjectFileResult<ProjectFileSaveResult> UITestProjectFilesStore::write(const QString &path, const QString &content,
                                                                        const QString &expectedRevision)
{
    const QString file = normalizedPath(path);
    const auto text = m_textFiles.find(file);
    if (text == m_textFiles.end())
        return m_binaryFiles.contains(file) ? unsupportedFile() : notFound();
    if (shouldSimulateConflict(file)) {
        text->content += u"\nremote-update"_s;
        text->modifiedAt = now();
    }
    if (revision(text->content) != expectedRevision)
        return conflict();
    const qint64 size = content.toUtf8().size();
    if (size > maxWriteBytes)
        return fileTooLarge();
    *text = {content, now()};
    return ProjectFileSaveResult{file, revision(content), size, isoText(text->modifiedAt)};
}

bool UITestProjectFilesStore::shouldSimulateConflict(const QString &path)
{
    if (!m_arguments.contains("UITestsMockFileConflict"_L1) || path != conflictPath ||
        m_conflictSimulationPaths.contains(path))
        return false;
    m_conflictSimulationPaths.insert(path);
    return true;
}

} // namespace tessel
