#include "storage/RegularFile.h"
#include "sync/FolderKeyValueStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

const QString key = u"TesselShell.syncedState"_s;

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// Every key reported by the spy's signals so far.
QStringList reportedKeys(const QSignalSpy &spy)
{
    QStringList keys;
    for (const QList<QVariant> &arguments : spy)
        keys += arguments.at(1).toStringList();
    keys.sort();
    keys.removeDuplicates();
    return keys;
}

} // namespace

enum class ForeignEntry { linkToUserFile, linkToDevice, fifo, directory };

class tst_FolderKeyValueStore : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_root;
    QString m_folder;
    int m_folderCount = 0;

    QString pathOf(const QString &fileName) const { return QDir(m_folder).filePath(fileName); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_root.isValid());
        m_folder = m_root.filePath(u"sync-%1"_s.arg(++m_folderCount));
    }

    void namesFilesAfterKeysAndRejectsForeignNames_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("fileName");
        QTest::newRow("plain") << key << u"TesselShell.syncedState.value"_s;
        QTest::newRow("leading dot") << u".hidden"_s << u"%2Ehidden.value"_s;
        QTest::newRow("slash, dash, space") << u"a/b-c d"_s << u"a%2Fb%2Dc%20d.value"_s;
        QTest::newRow("non-ASCII") << u"ü"_s << u"%C3%BC.value"_s;
    }

    void namesFilesAfterKeysAndRejectsForeignNames()
    {
        QFETCH(QString, key);
        QFETCH(QString, fileName);
        QCOMPARE(FolderKeyValueStore::fileNameForKey(key), fileName);
        QCOMPARE(FolderKeyValueStore::keyForFileName(fileName), key);
        for (const QString &foreign :
             {u"TesselShell.syncedState.sync-conflict-20240101-101010-ABCDEFG.value"_s,
              u".syncthing.TesselShell.syncedState.value.tmp"_s, u"~syncthing~TesselShell.syncedState.value.tmp"_s,
              u"TesselShell.syncedState (conflicted copy 2024-01-01 101010).value"_s,
              u"TesselShell.syncedState (Anna's conflicted copy).value"_s, u"TesselShell.syncedState.value.AbC123"_s,
              u"%2ehidden.value"_s, u"%ZZ.value"_s, u"%C3.value"_s, u".value"_s, u"notes.txt"_s})
            QVERIFY2(!FolderKeyValueStore::keyForFileName(foreign), qPrintable(foreign));
    }

    void writesAtomicallyAndReadsBack()
    {
        FolderKeyValueStore store(m_folder);
        QCOMPARE(store.data(key), std::nullopt);
        store.setData(key, "first");
        store.setData(key, QByteArray("\x00second", 7));
        QCOMPARE(store.data(key), QByteArray("\x00second", 7));
        QCOMPARE(QDir(m_folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"TesselShell.syncedState.value"_s});
        QCOMPARE(FolderKeyValueStore(m_folder).data(key), QByteArray("\x00second", 7));
    }

    void reportsOnlyRealChangesByOthers()
    {
        FolderKeyValueStore mine(m_folder);
        QVERIFY(mine.synchronize());
        FolderKeyValueStore theirs(m_folder);
        QSignalSpy mineChanged(&mine, &ReplicatedKeyValueStore::changedExternally);
        QSignalSpy theirsChanged(&theirs, &ReplicatedKeyValueStore::changedExternally);

        mine.setData(u"a"_s, "1");
        QVERIFY(theirsChanged.wait(2000));
        QCOMPARE(reportedKeys(theirsChanged), QStringList{u"a"_s});
        QCOMPARE(theirsChanged.first().at(0).toInt(), int(ReplicatedKeyValueStore::serverChange));

        // Rewriting the same bytes, and foreign files, are no change; the next real one is.
        theirs.setData(u"a"_s, "1");
        QVERIFY(writeFile(pathOf(u"a.sync-conflict-20240101-101010-ABCDEFG.value"_s), "x"));
        QVERIFY(writeFile(pathOf(u".syncthing.a.value.tmp"_s), "x"));
        QVERIFY(writeFile(pathOf(u"a (conflicted copy 2024-01-01).value"_s), "x"));
        theirs.setData(u"b"_s, "2");
        QTRY_COMPARE_WITH_TIMEOUT(reportedKeys(mineChanged), QStringList{u"b"_s}, 2000);

        QVERIFY(QFile::remove(pathOf(u"b.value"_s)));
        QVERIFY(theirsChanged.wait(2000));
        QCOMPARE(theirsChanged.last().at(1).toStringList(), QStringList{u"b"_s});
        QCOMPARE(theirs.data(u"b"_s), std::nullopt);
    }

    void seesInPlaceRewritesOfAFile()
    {
        FolderKeyValueStore writer(m_folder);
        writer.setData(key, "v1");
        FolderKeyValueStore reader(m_folder);
        QSignalSpy changed(&reader, &ReplicatedKeyValueStore::changedExternally);
        QVERIFY(writeFile(pathOf(FolderKeyValueStore::fileNameForKey(key)), "v2 rewritten in place"));
        QVERIFY(changed.wait(2000));
        QCOMPARE(reader.data(key), QByteArray("v2 rewritten in place"));
    }

    void foreignEntriesAreIgnoredAndReplacedNeverFollowed_data()
    {
        QTest::addColumn<ForeignEntry>("entry");
        QTest::addColumn<bool>("replaceable");
        QTest::newRow("link to a user file") << ForeignEntry::linkToUserFile << true;
        QTest::newRow("link to /dev/zero") << ForeignEntry::linkToDevice << true;
        QTest::newRow("FIFO") << ForeignEntry::fifo << true;
        // Replacing a folder would mean deleting whatever is inside: it stays, unwritable.
        QTest::newRow("directory") << ForeignEntry::directory << false;
    }

    void foreignEntriesAreIgnoredAndReplacedNeverFollowed()
    {
        QFETCH(ForeignEntry, entry);
        QFETCH(bool, replaceable);
        QVERIFY(QDir().mkpath(m_folder));
        const QString path = pathOf(FolderKeyValueStore::fileNameForKey(key));
        const QString userFile = m_root.filePath(u"user-notes.txt"_s);
        QVERIFY(writeFile(userFile, "the user's own notes"));
        switch (entry) {
        case ForeignEntry::linkToUserFile: QVERIFY(QFile::link(userFile, path)); break;
        case ForeignEntry::linkToDevice: QVERIFY(QFile::link(u"/dev/zero"_s, path)); break;
        case ForeignEntry::fifo: QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0); break;
        case ForeignEntry::directory: QVERIFY(QDir().mkpath(path)); break;
        }

        // One line per entry and run: neither reading again nor a rescan repeats it.
        const QRegularExpression notice(u"^Ignoring .*/TesselShell.syncedState.value in the sync folder: it is not "
                                        "a regular file.$"_s);
        QTest::ignoreMessage(QtWarningMsg, notice);
        QTest::failOnWarning(notice);
        FolderKeyValueStore store(m_folder);
        QVERIFY(store.synchronize());
        QCOMPARE(store.data(key), std::nullopt);
        QSignalSpy changed(&store, &ReplicatedKeyValueStore::changedExternally);
        QVERIFY(writeFile(pathOf(u"other.value"_s), "x"));
        QVERIFY(changed.wait(2000));
        QCOMPARE(changed.first().at(1).toStringList(), QStringList{u"other"_s});

        store.setData(key, "published");
        QCOMPARE(store.data(key), replaceable ? std::optional<QByteArray>("published") : std::nullopt);
        QCOMPARE(RegularFile::isRegularEntry(path), replaceable);
        QCOMPARE(QFileInfo(path).isDir(), !replaceable);
        QFile notes(userFile);
        QVERIFY(notes.open(QIODevice::ReadOnly));
        QCOMPARE(notes.readAll(), QByteArray("the user's own notes"));
    }

    void twoProcessesSeeEachOthersWritesWithinOneSecond()
    {
        FolderKeyValueStore store(m_folder);
        QVERIFY(store.synchronize());
        QSignalSpy changed(&store, &ReplicatedKeyValueStore::changedExternally);

        QProcess peer;
        QByteArray peerOutput;
        connect(&peer, &QProcess::readyReadStandardOutput, this, [&] { peerOutput += peer.readAllStandardOutput(); });
        peer.start(QStringLiteral(FOLDER_STORE_PEER), {m_folder});
        QVERIFY2(peer.waitForStarted(5000), qPrintable(peer.errorString()));
        QTRY_VERIFY_WITH_TIMEOUT(peerOutput.contains("ready\n"), 5000);

        QElapsedTimer timer;
        timer.start();
        peer.write("write " + key.toUtf8() + " from-peer\n");
        QVERIFY(changed.wait(1000));
        qInfo("the peer's write was seen after %lld ms", timer.elapsed());
        QCOMPARE(changed.first().at(1).toStringList(), QStringList{key});
        QCOMPARE(store.data(key), QByteArray("from-peer"));

        timer.restart();
        store.setData(key, "from-test");
        const QByteArray seenByPeer = "changed " + key.toUtf8() + " from-test\n";
        QTRY_VERIFY_WITH_TIMEOUT(peerOutput.contains(seenByPeer), 1000);
        qInfo("this process's write was seen by the peer after %lld ms", timer.elapsed());
        const QByteArray ownWriteReported = "changed " + key.toUtf8() + " from-peer";
        QVERIFY(!peerOutput.contains(ownWriteReported));

        peer.closeWriteChannel();
        QVERIFY(peer.waitForFinished(5000));
        QCOMPARE(peer.exitCode(), 0);
    }

    void unusableFolderReportsItselfAndLosesNothing()
    {
        QVERIFY(writeFile(m_root.filePath(u"plain-file"_s), "not a folder"));
        FolderKeyValueStore store(m_root.filePath(u"plain-file/sync"_s));
        QVERIFY(!store.synchronize());
        QVERIFY(!store.hasIdentity());
        store.setData(key, "lost?");
        QCOMPARE(store.data(key), std::nullopt);

        FolderKeyValueStore created(m_folder);
        QVERIFY(!created.hasIdentity());
        QVERIFY(created.synchronize());
        QVERIFY(created.hasIdentity());
    }

    void defaultFolderFollowsTheEnvironment()
    {
        qputenv("TESSEL_SYNC_DIR", "/tmp/tessel-sync-test");
        QCOMPARE(FolderKeyValueStore::defaultFolder(), u"/tmp/tessel-sync-test"_s);
        qunsetenv("TESSEL_SYNC_DIR");
        QVERIFY(FolderKeyValueStore::defaultFolder().endsWith(u"/sync"_s));
    }
};

QTEST_GUILESS_MAIN(tst_FolderKeyValueStore)
#include "tst_FolderKeyValueStore.moc"
