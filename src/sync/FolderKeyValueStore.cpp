#include "sync/FolderKeyValueStore.h"

#include "storage/RegularFile.h"

#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

const QLatin1StringView valueSuffix = ".value"_L1;
// The document holds no secret; other programs (the sync tool) may read it.
constexpr unsigned valueFileMode = 0644;

bool isPlainNameCharacter(char character)
{
    return (character >= 'a' && character <= 'z') || (character >= 'A' && character <= 'Z') ||
        (character >= '0' && character <= '9') || character == '_' || character == '.';
}

int hexValue(QChar character)
{
    if (character >= u'0' && character <= u'9')
        return character.unicode() - u'0';
    if (character >= u'A' && character <= u'F')
        return character.unicode() - u'A' + 10;
    return -1;
}

} // namespace

FolderKeyValueStore::FolderKeyValueStore(QString folder, std::chrono::milliseconds debounce, QObject *parent)
    : ReplicatedKeyValueStore(parent)
    , m_folder(std::move(folder))
{
    m_debounce.setSingleShot(true);
    m_debounce.setInterval(debounce);
    connect(&m_debounce, &QTimer::timeout, this, &FolderKeyValueStore::rescan);
    connect(&m_watcher, &QFileSystemWatcher::directoryChanged, &m_debounce, qOverload<>(&QTimer::start));
    // Sync tools that rewrite a file in place change no folder entry; the file watch sees it.
    connect(&m_watcher, &QFileSystemWatcher::fileChanged, &m_debounce, qOverload<>(&QTimer::start));
    m_known = readAllValues();
    watchFolder();
}

QString FolderKeyValueStore::defaultFolder()
{
    const QString configured = qEnvironmentVariable("TESSEL_SYNC_DIR");
    if (!configured.isEmpty())
        return configured;
    return QStandardPaths::writableLocation(QStandardPaths::AppDataLocation) + "/sync"_L1;
}

QString FolderKeyValueStore::fileNameForKey(const QString &key)
{
    const QByteArray utf8 = key.toUtf8();
    QString name;
    for (qsizetype index = 0; index < utf8.size(); ++index) {
        const char character = utf8[index];
        // A leading "." would make a hidden file, which sync tools may skip.
        if (isPlainNameCharacter(character) && !(index == 0 && character == '.'))
            name.append(QLatin1Char(character));
        else
            name.append(u"%%1"_s.arg(uchar(character), 2, 16, QLatin1Char('0')).toUpper());
    }
    return name + valueSuffix;
}

std::optional<QString> FolderKeyValueStore::keyForFileName(const QString &fileName)
{
    if (!fileName.endsWith(valueSuffix) || fileName.size() == valueSuffix.size())
        return std::nullopt;
    const QStringView stem = QStringView(fileName).chopped(valueSuffix.size());
    QByteArray utf8;
    for (qsizetype index = 0; index < stem.size(); ++index) {
        const QChar character = stem[index];
        if (character == u'%' && index + 2 < stem.size() && hexValue(stem[index + 1]) >= 0 &&
            hexValue(stem[index + 2]) >= 0) {
            utf8.append(char(hexValue(stem[index + 1]) * 16 + hexValue(stem[index + 2])));
            index += 2;
        } else if (character.unicode() < 0x80 && isPlainNameCharacter(char(character.unicode()))) {
            utf8.append(char(character.unicode()));
        } else {
            return std::nullopt;
        }
    }
    const QString key = QString::fromUtf8(utf8);
    // Only the one canonical spelling counts, so two files never name the same key.
    if (fileNameForKey(key) != fileName)
        return std::nullopt;
    return key;
}

std::optional<QByteArray> FolderKeyValueStore::data(const QString &key) const
{
    return readValueFile(fileNameForKey(key));
}

void FolderKeyValueStore::setData(const QString &key, const QByteArray &value)
{
    if (value.size() > maxValueBytes || !QDir().mkpath(m_folder))
        return;
    // Whatever another computer put under this name (a link, a FIFO) is replaced, not written through.
    if (!RegularFile::replace(QDir(m_folder).filePath(fileNameForKey(key)), value, valueFileMode))
        return;
    // Known before the folder event arrives, so this write is not reported as someone else's.
    m_known.insert(key, value);
    watchFolder();
}

bool FolderKeyValueStore::synchronize()
{
    QDir().mkpath(m_folder);
    watchFolder();
    return hasIdentity();
}

bool FolderKeyValueStore::hasIdentity() const
{
    const QFileInfo folder(m_folder);
    return folder.isDir() && folder.isWritable();
}

void FolderKeyValueStore::watchFolder()
{
    if (!QFileInfo(m_folder).isDir())
        return;
    QStringList paths{m_folder};
    // A replaced file drops out of the watch; add the current ones again.
    for (auto key = m_known.keyBegin(); key != m_known.keyEnd(); ++key)
        paths.append(QDir(m_folder).filePath(fileNameForKey(*key)));
    const QStringList watched = m_watcher.files() + m_watcher.directories();
    // A watch follows links: only regular files, never a device or a FIFO some link points at.
    paths.removeIf([&watched, this](const QString &path) {
        return watched.contains(path) || (path != m_folder && !RegularFile::isRegularEntry(path));
    });
    if (!paths.isEmpty())
        m_watcher.addPaths(paths);
}

void FolderKeyValueStore::rescan()
{
    const QMap<QString, QByteArray> current = readAllValues();
    QStringList changed;
    for (auto entry = current.cbegin(); entry != current.cend(); ++entry) {
        const auto known = m_known.constFind(entry.key());
        if (known == m_known.cend() || *known != entry.value())
            changed.append(entry.key());
    }
    for (auto key = m_known.keyBegin(); key != m_known.keyEnd(); ++key) {
        if (!current.contains(*key))
            changed.append(*key);
    }
    m_known = current;
    watchFolder();
    if (!changed.isEmpty())
        Q_EMIT changedExternally(serverChange, changed);
}

QMap<QString, QByteArray> FolderKeyValueStore::readAllValues() const
{
    QMap<QString, QByteArray> values;
    // Every kind of entry, so that a link or a FIFO under a key's name is noticed and reported.
    const QStringList entries = QDir(m_folder).entryList(QDir::AllEntries | QDir::System | QDir::NoDotAndDotDot);
    for (const QString &fileName : entries) {
        const std::optional<QString> key = keyForFileName(fileName);
        if (!key)
            continue;
        if (const std::optional<QByteArray> value = readValueFile(fileName))
            values.insert(*key, *value);
    }
    return values;
}

std::optional<QByteArray> FolderKeyValueStore::readValueFile(const QString &fileName) const
{
    const QString path = QDir(m_folder).filePath(fileName);
    RegularFile::ReadResult result = RegularFile::read(path, maxValueBytes, RegularFile::Links::refuse);
    if (result.status == RegularFile::ReadResult::Status::notRegular && !m_reportedEntries.contains(fileName)) {
        m_reportedEntries.insert(fileName);
        qWarning("Ignoring %s in the sync folder: it is not a regular file.", qPrintable(path));
    }
    if (result.status != RegularFile::ReadResult::Status::read)
        return std::nullopt;
    return std::move(result.bytes);
}

} // namespace tessel
