#pragma once

#include "sync/ReplicatedKeyValueStore.h"

#include <QFileSystemWatcher>
#include <QMap>
#include <QSet>
#include <QTimer>

#include <chrono>

namespace tessel {

// A replicated key-value store made of one file per key in a folder that the user's
// folder-sync tool (Syncthing, Nextcloud, Dropbox...) replicates. What arrives there is
// another computer's input: only regular files are read (bounded by `maxValueBytes`); a link,
// FIFO, device or folder under a key's name reads as absent, with one line on stderr per
// entry and run. Writes replace the key's directory entry atomically, never a link's target. The folder is watched;
// after a quiet `debounce` the files are compared with what this object last knew, and keys whose bytes really changed
// are reported. Files of sync tools (temporary files, conflict copies) and anything not named like a key are ignored.
// Used from the main thread.
class FolderKeyValueStore : public ReplicatedKeyValueStore
{
    Q_OBJECT

public:
    static constexpr std::chrono::milliseconds defaultDebounce{150};
    // Larger files are not values of ours and read as absent.
    static constexpr qint64 maxValueBytes = 16 * 1024 * 1024;

    explicit FolderKeyValueStore(QString folder, std::chrono::milliseconds debounce = defaultDebounce,
                                 QObject *parent = nullptr);

    // $TESSEL_SYNC_DIR when set, else "sync" under the application's data location.
    static QString defaultFolder();
    // The file of a key: letters, digits, "_" and inner "." kept, every other byte of
    // its UTF-8 as %XX, then ".value". Names of sync tools' files never decode.
    static QString fileNameForKey(const QString &key);
    static std::optional<QString> keyForFileName(const QString &fileName);

    std::optional<QByteArray> data(const QString &key) const override;
    void setData(const QString &key, const QByteArray &value) override;
    // Creates the folder when missing; true when it is a writable folder.
    bool synchronize() override;
    // The folder exists and is writable.
    bool hasIdentity() const override;

    const QString &folder() const { return m_folder; }

private:
    void watchFolder();
    void rescan();
    QMap<QString, QByteArray> readAllValues() const;
    std::optional<QByteArray> readValueFile(const QString &fileName) const;

    QString m_folder;
    QFileSystemWatcher m_watcher;
    QTimer m_debounce;
    // Last known bytes of every key, so only real changes by others are reported.
    QMap<QString, QByteArray> m_known;
    // Entries already reported as not regular files, so a rescan does not repeat the line.
    mutable QSet<QString> m_reportedEntries;
};

} // namespace tessel
