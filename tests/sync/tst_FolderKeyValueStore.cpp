#include "storage/RegularFile.h"
#include "support/DataRow.h"
#include "support/TestFiles.h"
#include "sync/FolderKeyValueStore.h"

#include <QProcess>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;
using tessel::test::writeFile;

namespace {

const QString key = u"TesselShell.syncedState"_s;

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

class tst_FolderKeyValueStore : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;
    QString m_folder;
    int m_folderCount = 0;

    QString pathOf(const QString &fileName) const { return QDir(m_folder).filePath(fileName); }

private Q_SLOTS:
    void init() { m_folder = m_root.filePath(u"sync-%1"_s.arg(++m_folderCount)); }

    void namesFilesAfterKeysAndRejectsForeignNames_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("fileName");
        row("plain", key, "TesselShell.syncedState.value");
        row("leading dot", ".hidden", "%2Ehidden.value");
        row("slash, dash, space", "a/b-c d", "a%2Fb%2Dc%20d.value");
        row("non-ASCII", "ü", "%C3%BC.value");
    }
    void namesFilesAfterKeysAndRejectsForeignNames()
    {
        QFETCH(QString, key);
        QFETCH(QString, fileName);
        QCOMPARE(FolderKeyValueStore::fileNameForKey(key), fileName);
        QCOMPARE(FolderKeyValueStore::keyForFileName(fileName), key);
        // Sync tools' conflict copies and temporary files, and spellings no key is written as.
        for (const QString &foreign :
             {u"TesselShell.syncedState.sync-conflict-20240101-101010-ABCDEFG.value"_s, u"a.value.tmp"_s,
              u"TesselShell.syncedState (conflicted copy 2024-01-01 101010).value"_s, u"%2ehidden.value"_s,
              u"%ZZ.value"_s, u"%C3.value"_s, u".value"_s})
            QVERIFY2(!FolderKeyValueStore::keyForFileName(foreign), qPrintable(foreign));
    }

    void writesAtomicallyAndReadsBack()
    {
        FolderKeyValueStore store(m_folder);
        QCOMPARE(store.data(key), std::nullopt);
        store.setData(key, "first");
        store.setData(key, QByteArray("\x00second", 7));
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
        QTRY_COMPARE_WITH_TIMEOUT(reportedKeys(theirsChanged), QStringList{u"a"_s}, 2000);

        // Rewriting the same bytes, and foreign files, are no change; the next real one is.
        theirs.setData(u"a"_s, "1");
        QVERIFY(writeFile(pathOf(u"a.sync-conflict-20240101-101010-ABCDEFG.value"_s), "x"));
        theirs.setData(u"b"_s, "2");
        QTRY_COMPARE_WITH_TIMEOUT(reportedKeys(mineChanged), QStringList{u"b"_s}, 2000);

        // A file rewritten in place, and a file removed, are changes too.
        theirsChanged.clear();
        QVERIFY(writeFile(pathOf(u"b.value"_s), "rewritten in place"));
        QVERIFY(theirsChanged.wait(2000));
        QTRY_COMPARE_WITH_TIMEOUT(theirs.data(u"b"_s), QByteArray("rewritten in place"), 2000);
        QVERIFY(QFile::remove(pathOf(u"b.value"_s)));
        QVERIFY(theirsChanged.wait(2000));
        QCOMPARE(theirsChanged.last().at(1).toStringList(), QStringList{u"b"_s});
        QCOMPARE(theirs.data(u"b"_s), std::nullopt);
    }

    void foreignEntriesAreIgnoredAndReplacedNeverFollowed_data()
    {
        QTest::addColumn<QString>("entry");
        QTest::addColumn<bool>("replaceable");
        row("link to a user file", "link", true);
        row("link to /dev/zero", "device", true);
        row("FIFO", "fifo", true);
        // Replacing a folder would mean deleting whatever is inside: it stays, unwritable.
        row("directory", "directory", false);
    }
    void foreignEntriesAreIgnoredAndReplacedNeverFollowed()
    {
        QFETCH(QString, entry);
        QFETCH(bool, replaceable);
        const QString path = pathOf(FolderKeyValueStore::fileNameForKey(key));
        const QString userFile = m_root.filePath(u"user-notes.txt"_s);
        QVERIFY(writeFile(userFile, "the user's own notes") && QDir().mkpath(m_folder));
        if (entry == "link"_L1 || entry == "device"_L1)
            QVERIFY(QFile::link(entry == "link"_L1 ? userFile : u"/dev/zero"_s, path));
        else if (entry == "fifo"_L1)
            QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else
            QVERIFY(QDir().mkpath(path));

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
        QCOMPARE(test::readFile(userFile), "the user's own notes");
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

        peer.write("write " + key.toUtf8() + " from-peer\n");
        QVERIFY(changed.wait(1000));
        QCOMPARE(changed.first().at(1).toStringList(), QStringList{key});
        QCOMPARE(store.data(key), QByteArray("from-peer"));
        store.setData(key, "from-test");
        QTRY_VERIFY_WITH_TIMEOUT(peerOutput.contains(QByteArray("changed " + key.toUtf8() + " from-test\n")), 1000);
        QVERIFY(!peerOutput.contains(QByteArray("changed " + key.toUtf8() + " from-peer"))); // its own write

        peer.closeWriteChannel();
        QVERIFY(peer.waitForFinished(5000));
        QCOMPARE(peer.exitCode(), 0);
    }

    void unusableFolderReportsItselfAndLosesNothing()
    {
        QVERIFY(writeFile(m_root.filePath(u"plain-file"_s), "not a folder"));
        FolderKeyValueStore store(m_root.filePath(u"plain-file/sync"_s));
        QVERIFY(!store.synchronize() && !store.hasIdentity());
        FolderKeyValueStore created(m_folder);
        QVERIFY(!created.hasIdentity() && created.synchronize() && created.hasIdentity());
        qputenv("TESSEL_SYNC_DIR", "/tmp/tessel-sync-test");
        QCOMPARE(FolderKeyValueStore::defaultFolder(), u"/tmp/tessel-sync-test"_s);
        qunsetenv("TESSEL_SYNC_DIR");
        QVERIFY(FolderKeyValueStore::defaultFolder().endsWith(u"/sync"_s));
    }
};

QTEST_GUILESS_MAIN(tst_FolderKeyValueStore)
#include "tst_FolderKeyValueStore.moc"
