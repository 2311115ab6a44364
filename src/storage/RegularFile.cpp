#include "storage/RegularFile.h"

#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

using namespace Qt::Literals::StringLiterals;

namespace tessel::RegularFile {

namespace {

constexpr qint64 readChunkBytes = 64 * 1024;

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

ReadResult::Status statusForOpenError(int error)
{
    switch (error) {
    case ENOENT:
    case ENOTDIR: return ReadResult::Status::absent;
    case ELOOP: // O_NOFOLLOW met a link
    case ENXIO: // a socket, or a device without a driver
        return ReadResult::Status::notRegular;
    default: return ReadResult::Status::unreadable;
    }
}

// Up to `limit` bytes from the descriptor; nothing on a read error.
std::optional<QByteArray> readAtMost(int fd, qint64 limit)
{
    QByteArray bytes;
    while (bytes.size() < limit) {
        const qsizetype start = bytes.size();
        bytes.resize(start + qsizetype(std::min(readChunkBytes, limit - start)));
        const ssize_t count = ::read(fd, bytes.data() + start, std::size_t(bytes.size() - start));
        if (count < 0 && errno == EINTR) {
            bytes.resize(start);
            continue;
        }
        if (count < 0)
            return std::nullopt;
        bytes.resize(start + qsizetype(count));
        if (count == 0)
            break;
    }
    return bytes;
}

bool writeAll(int fd, const QByteArray &bytes)
{
    qsizetype written = 0;
    while (written < bytes.size()) {
        const ssize_t count = ::write(fd, bytes.constData() + written, std::size_t(bytes.size() - written));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            return false;
        written += qsizetype(count);
    }
    return true;
}

} // namespace

ReadResult read(const QString &path, qint64 maxBytes, Links links)
{
    const int flags = O_RDONLY | O_NONBLOCK | O_CLOEXEC | (links == Links::refuse ? O_NOFOLLOW : 0);
    const Descriptor file(::open(QFile::encodeName(path).constData(), flags));
    if (file.get() < 0)
        return {statusForOpenError(errno), {}};
    struct stat status
    {
    };
    if (::fstat(file.get(), &status) != 0)
        return {ReadResult::Status::unreadable, {}};
    if (!S_ISREG(status.st_mode))
        return {ReadResult::Status::notRegular, {}};
    std::optional<QByteArray> bytes = readAtMost(file.get(), maxBytes + 1);
    if (!bytes)
        return {ReadResult::Status::unreadable, {}};
    if (bytes->size() > maxBytes)
        return {ReadResult::Status::tooLarge, {}};
    return {ReadResult::Status::read, std::move(*bytes), unsigned(status.st_uid)};
}

bool isRegularEntry(const QString &path)
{
    struct stat status
    {
    };
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 && S_ISREG(status.st_mode);
}

bool replace(const QString &path, const QByteArray &bytes, unsigned mode)
{
    const QFileInfo entry(path);
    // A hidden name that is not the entry's: folder scans skip it while it exists.
    QByteArray temporary = QFile::encodeName(entry.absolutePath() + "/."_L1 + entry.fileName() + ".XXXXXX"_L1);
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0)
        return false;
    bool written = writeAll(fd, bytes) && ::fchmod(fd, mode_t(mode)) == 0 && ::fsync(fd) == 0;
    written = ::close(fd) == 0 && written;
    if (written && ::rename(temporary.constData(), QFile::encodeName(entry.absoluteFilePath()).constData()) == 0)
        return true;
    ::unlink(temporary.constData());
    return false;
}

} // namespace tessel::RegularFile
