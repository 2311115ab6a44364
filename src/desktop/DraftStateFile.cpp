#include "desktop/DraftStateFile.h"

#include "app/ProcessInfo.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

namespace {

void report(const QString &path, const QString &problem)
{
    qWarning().noquote() << u"Drafts file %1: %2"_s.arg(path, problem);
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

// Closes a descriptor when it goes out of scope.
class Descriptor
{
public:
    explicit Descriptor(int fd)
        : m_fd(fd)
    { }
    ~Descriptor()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Creates `path` and the missing folders above it with mode 0700, as folders for state should be.
bool makeFolders(const QString &path)
{
    const QFileInfo info(path);
    if (info.exists() || info.isSymLink())
        return true;
    if (!makeFolders(info.absolutePath()))
        return false;
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || errno == EEXIST;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qint64 written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += count;
    }
    return true;
}

} // namespace

DraftStateFile::DraftStateFile(QString path)
    : m_path(std::move(path))
{ }

QString DraftStateFile::defaultPath(const ProcessInfo &processInfo)
{
    // Relative values are invalid and to be ignored.
    QString stateHome = processInfo.environment.value(u"XDG_STATE_HOME"_s);
    if (!QDir::isAbsolutePath(stateHome))
        stateHome = processInfo.homeDirectory + u"/.local/state"_s;
    return QDir::cleanPath(stateHome + u"/tessel-desktop/drafts.json"_s);
}

std::optional<QByteArray> DraftStateFile::read() const
{
    // No links, and no waiting on a pipe that has no writer.
    const Descriptor file(
        ::open(QFile::encodeName(m_path).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (file.get() < 0) {
        if (errno == ENOENT)
            return QByteArray();
        report(m_path,
               errno == ELOOP ? u"is a link; ignored"_s : u"cannot be read ("_s + systemError() + u"); ignored"_s);
        return std::nullopt;
    }
    struct stat status;
    if (::fstat(file.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        report(m_path, u"is not a regular file; ignored"_s);
        return std::nullopt;
    }
    if (status.st_uid != ::geteuid()) {
        report(m_path, u"belongs to another user; ignored"_s);
        return std::nullopt;
    }
    // Bounded by what is read, not by what the size claims.
    QByteArray bytes;
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(file.get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            report(m_path, u"cannot be read ("_s + systemError() + u"); ignored"_s);
            return std::nullopt;
        }
        if (count == 0)
            return bytes;
        if (bytes.size() + count > maxBytes) {
            report(m_path, u"is larger than %1 bytes; ignored"_s.arg(maxBytes));
            return std::nullopt;
        }
        bytes.append(buffer, count);
    }
}

bool DraftStateFile::prepareFolder() const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!makeFolders(folder)) {
        report(m_path, u"its folder cannot be made ("_s + systemError() + u")"_s);
        return false;
    }
    struct stat status;
    if (::lstat(QFile::encodeName(folder).constData(), &status) != 0 || !S_ISDIR(status.st_mode) ||
        status.st_uid != ::geteuid()) {
        report(m_path, u"its folder is not a folder of this user; nothing written"_s);
        return false;
    }
    if ((status.st_mode & 0777) != 0700 && ::chmod(QFile::encodeName(folder).constData(), 0700) != 0) {
        report(m_path, u"its folder cannot be made private ("_s + systemError() + u")"_s);
        return false;
    }
    return true;
}

bool DraftStateFile::write(const QByteArray &bytes) const
{
    if (bytes.size() > maxBytes || !prepareFolder())
        return false;
    const QByteArray target = QFile::encodeName(m_path);
    const QByteArray temporary = target + ".new-" + QByteArray::number(QRandomGenerator::global()->generate64(), 36);
    bool written = false;
    {
        const Descriptor file(
            ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        written = file.get() >= 0 && writeAll(file.get(), bytes) && ::fsync(file.get()) == 0;
    }
    // rename() replaces a link at the target itself, never what it points to.
    if (written && ::rename(temporary.constData(), target.constData()) == 0)
        return true;
    report(m_path, u"cannot be written ("_s + systemError() + u")"_s);
    ::unlink(temporary.constData());
    return false;
}

void DraftStateFile::remove() const
{
    ::unlink(QFile::encodeName(m_path).constData());
}

} // namespace tessel
