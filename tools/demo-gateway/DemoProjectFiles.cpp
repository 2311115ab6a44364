#include "DemoProjectFiles.h"

#include "files/ProjectFileLanguage.h"
#include "protocol/Utf8Text.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QSaveFile>

using namespace Qt::Literals::StringLiterals;

namespace tessel::demo {

namespace {

ProjectFileServiceError failure(const char *code, const QString &message)
{
    return ProjectFileServiceError::gateway(QString::fromLatin1(code), message);
}

ProjectFileServiceError outsideRoot()
{
    return failure("INVALID_PATH", u"The path leads outside the project directory."_s);
}

ProjectFileServiceError notFound()
{
    return failure("NOT_FOUND", u"The requested path does not exist."_s);
}

ProjectFileServiceError tooLarge()
{
    return failure("FILE_TOO_LARGE", u"This file is too large for mobile editing."_s);
}

ProjectFileServiceError binaryFile()
{
    return failure("UNSUPPORTED_FILE", u"Binary files are not editable in Tessel yet."_s);
}

QString isoText(const QDateTime &time)
{
    return time.toUTC().toString(Qt::ISODate);
}

QString revisionOf(const QByteArray &bytes)
{
    return QString::fromLatin1(QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
}

bool isMarkdown(const QFileInfo &info)
{
    const QString suffix = info.suffix().toLower();
    return suffix == "md"_L1 || suffix == "markdown"_L1;
}

// Text is valid UTF-8 without NUL bytes; anything else is treated as binary.
bool isText(QByteArrayView bytes)
{
    return !bytes.contains('\0') && bytes.isValidUtf8();
}

// Judges a file by its first 8 KB, cut back to a whole UTF-8 character, for listings.
bool looksLikeText(const QFileInfo &info)
{
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    QByteArray head = file.read(8192);
    if (file.bytesAvailable() > 0) {
        while (!head.isEmpty() && (static_cast<unsigned char>(head.back()) & 0xC0) == 0x80)
            head.chop(1);
        if (!head.isEmpty() && static_cast<unsigned char>(head.back()) >= 0xC0)
            head.chop(1);
    }
    return isText(head);
}

} // namespace

DemoProjectFiles::DemoProjectFiles(const QString &root)
    : m_root(QFileInfo(root).canonicalFilePath())
{ }

bool DemoProjectFiles::isInsideRoot(const QString &canonicalPath) const
{
    return !canonicalPath.isEmpty() && (canonicalPath == m_root || canonicalPath.startsWith(m_root + u'/'));
}

ProjectFileResult<DemoProjectFiles::Location> DemoProjectFiles::resolve(const QString &path) const
{
    if (path.contains(QChar(0)))
        return failure("INVALID_PATH", u"The path contains a NUL character."_s);
    if (path.startsWith(u'/'))
        return failure("INVALID_PATH", u"Use a path relative to the project directory."_s);
    QStringList parts;
    for (const QString &part : path.split(u'/', Qt::SkipEmptyParts)) {
        if (part == ".."_L1)
            return outsideRoot();
        if (part != "."_L1)
            parts.append(part);
    }
    const QString relative = parts.join(u'/');
    const QFileInfo info(relative.isEmpty() ? m_root : m_root + u'/' + relative);
    if (!info.exists())
        return notFound();
    // Symlinks are followed, but only as far as the root.
    if (!isInsideRoot(info.canonicalFilePath()))
        return outsideRoot();
    return Location{relative, QFileInfo(info.canonicalFilePath())};
}

std::optional<ProjectFileEntry> DemoProjectFiles::entry(const QString &directory, const QFileInfo &info) const
{
    if (!isInsideRoot(info.canonicalFilePath()))
        return std::nullopt;
    const bool isDirectory = info.isDir();
    ProjectFileEntry entry;
    entry.name = info.fileName();
    entry.path = directory.isEmpty() ? entry.name : directory + u'/' + entry.name;
    entry.kind = isDirectory ? ProjectFileKind::directory : ProjectFileKind::file;
    entry.size = isDirectory ? 0 : info.size();
    entry.modifiedAt = isoText(info.lastModified());
    entry.isHidden = entry.name.startsWith(u'.');
    entry.isText = !isDirectory && info.size() <= maxFileBytes && looksLikeText(info);
    entry.isMarkdown = !isDirectory && isMarkdown(info);
    return entry;
}

ProjectFileResult<ProjectDirectoryResult> DemoProjectFiles::list(const QString &path, bool includeHidden) const
{
    const auto location = resolve(path);
    if (!location.hasValue())
        return location.error();
    const auto &[relative, info] = location.value();
    if (!info.isDir())
        return failure("NOT_A_DIRECTORY", u"The requested path is not a directory."_s);
    QDir::Filters filters = QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System;
    if (includeHidden)
        filters |= QDir::Hidden;
    ProjectDirectoryResult result{relative, {}, includeHidden};
    const QFileInfoList children =
        QDir(info.filePath()).entryInfoList(filters, QDir::Name | QDir::DirsFirst | QDir::IgnoreCase);
    for (const QFileInfo &child : children) {
        if (const auto listed = entry(relative, child))
            result.entries.append(*listed);
    }
    return result;
}

ProjectFileResult<QByteArray> DemoProjectFiles::readText(const Location &location) const
{
    const QFileInfo &info = location.info;
    if (info.isDir())
        return failure("NOT_A_FILE", u"The requested path is a directory."_s);
    if (info.size() > maxFileBytes)
        return tooLarge();
    QFile file(info.filePath());
    if (!file.open(QIODevice::ReadOnly))
        return failure("READ_FAILED", file.errorString());
    const QByteArray bytes = file.readAll();
    if (!isText(bytes))
        return binaryFile();
    return bytes;
}

ProjectFileResult<ProjectFileDocumentSnapshot> DemoProjectFiles::read(const QString &path) const
{
    const auto location = resolve(path);
    if (!location.hasValue())
        return location.error();
    const auto bytes = readText(location.value());
    if (!bytes.hasValue())
        return bytes.error();
    const auto &[relative, info] = location.value();
    return ProjectFileDocumentSnapshot{relative,
                                       utf8Text(bytes.value()),
                                       revisionOf(bytes.value()),
                                       bytes.value().size(),
                                       isoText(info.lastModified()),
                                       ProjectFileLanguage::hint(relative),
                                       isMarkdown(info)};
}

ProjectFileResult<ProjectFileSaveResult> DemoProjectFiles::write(const QString &path, const QString &content,
                                                                 const std::optional<QString> &expectedRevision) const
{
    const auto location = resolve(path);
    if (!location.hasValue())
        return location.error();
    const auto current = readText(location.value());
    if (!current.hasValue())
        return current.error();
    if (expectedRevision && *expectedRevision != revisionOf(current.value()))
        return failure("CONFLICT", u"This file changed on disk after it was loaded. Reload it before saving again."_s);
    const QByteArray bytes = content.toUtf8();
    if (bytes.size() > maxFileBytes)
        return tooLarge();
    // Written through a temporary file so that a failed write leaves the old text intact.
    QSaveFile file(location.value().info.filePath());
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return failure("WRITE_FAILED", file.errorString());
    const QFileInfo written(file.fileName());
    return ProjectFileSaveResult{location.value().relativePath, revisionOf(bytes), bytes.size(),
                                 isoText(written.lastModified())};
}

} // namespace tessel::demo
