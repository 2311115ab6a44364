#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace tessel {

struct ProcessInfo;

// The file that keeps unsaved drafts across crashes and restarts: owner-only (mode 0600 in
// a folder of mode 0700) and local to this computer. Writes are atomic (a new file beside
// it, renamed over it), so a crash at any moment leaves the old or the new content; a
// link, device or other non-regular file at its place is never followed, read or written
// through. Problems are reported with one line on standard error and otherwise ignored.
class DraftStateFile
{
public:
    // Anything larger is refused when reading and never written.
    static constexpr qint64 maxBytes = 16 * 1024 * 1024;

    explicit DraftStateFile(QString path);

    // $XDG_STATE_HOME (when set to an absolute path, else ~/.local/state) + "/tessel-desktop/drafts.json".
    static QString defaultPath(const ProcessInfo &processInfo);
    const QString &path() const { return m_path; }

    // The file's content; empty when there is no file. Nothing (after a line on standard
    // error) when the file is unsafe or unreadable or larger than `maxBytes`.
    std::optional<QByteArray> read() const;
    // Replaces the file with `bytes`, creating its folder when needed. False (after a line
    // on standard error) when it could not be written; the previous file then stays.
    bool write(const QByteArray &bytes) const;
    // Removes the file (a link there is removed, not its target).
    void remove() const;

private:
    bool prepareFolder() const;

    QString m_path;
};

} // namespace tessel
