#include "desktop/DraftStateFile.h"

#include "app/ProcessInfo.h"
#include "storage/RegularFile.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
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
    const auto result = RegularFile::read(m_path, maxBytes, RegularFile::Links::refuse);
    switch (result.status) {
    case RegularFile::ReadResult::Status::absent: return QByteArray();
    case RegularFile::ReadResult::Status::read:
        if (result.owner == ::geteuid())
            return result.bytes;
        report(m_path, u"belongs to another user; ignored"_s);
        return std::nullopt;
    case RegularFile::ReadResult::Status::notRegular:
        report(m_path, QFileInfo(m_path).isSymLink() ? u"is a link; ignored"_s : u"is not a regular file; ignored"_s);
        return std::nullopt;
    case RegularFile::ReadResult::Status::tooLarge:
        report(m_path, u"is larger than %1 bytes; ignored"_s.arg(maxBytes));
        return std::nullopt;
    case RegularFile::ReadResult::Status::unreadable: break;
    }
    report(m_path, u"cannot be read ("_s + systemError() + u"); ignored"_s);
    return std::nullopt;
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
    if (RegularFile::replace(m_path, bytes, 0600))
        return true;
    report(m_path, u"cannot be written ("_s + systemError() + u")"_s);
    return false;
}

void DraftStateFile::remove() const
{
    ::unlink(QFile::encodeName(m_path).constData());
}

} // namespace tessel
