#pragma once

#include <QByteArray>
#include <QString>

namespace tessel::RegularFile {

// Whether a symbolic link at the path itself is followed. Folders on the way are always
// followed: a sync folder may well be a link to where the sync tool keeps its files.
enum class Links { follow, refuse };

struct ReadResult
{
    enum class Status {
        read,
        absent,
        notRegular, // a link (when refused), directory, FIFO, socket or device
        tooLarge,
        unreadable,
    };

    Status status = Status::absent;
    QByteArray bytes; // only for `read`
    unsigned owner = 0; // the file's user id, only for `read`
};

// Reads the whole file when it is a regular file of at most `maxBytes` bytes. Never blocks on
// a FIFO, never reads a device, and never reads more than `maxBytes` + 1 bytes, whatever the
// file's reported size: a size check alone reads 0 for devices and misses growing files.
ReadResult read(const QString &path, qint64 maxBytes, Links links);

// True when the directory entry itself is a regular file (a link to one is not).
bool isRegularEntry(const QString &path);

// Replaces the directory entry `path` with a regular file holding `bytes` and the POSIX
// permission bits `mode`: the bytes go to a new file beside it, reach the disk, and the new
// file is renamed over the entry. A link there is replaced itself, never followed, and a
// reader sees either the old or the new file. False, with the entry untouched, on failure
// (also when the entry is a directory).
bool replace(const QString &path, const QByteArray &bytes, unsigned mode);

} // namespace tessel::RegularFile
