#include "protocol/UuidText.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/OwnerOnlyFileSecretBackend.h"
#include "support/DataRow.h"
#include "support/InMemorySecretBackend.h"
#include "support/TestFiles.h"
#include "sync/FolderKeyValueStore.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;
using tessel::test::row;

class tst_OwnerOnlyFileSecretBackend : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    const QString m_account = uuidText(QUuid::createUuid());
    const GatewaySecretStoreConfiguration m_shared{u"svc"_s, u"group"_s, true};
    const GatewaySecretStoreConfiguration m_local{u"svc"_s, std::nullopt, false};

    QString filePath() const { return m_dir.filePath(u"secrets/gateway-tokens.json"_s); }
    OwnerOnlyFileSecretBackend file() const { return OwnerOnlyFileSecretBackend(filePath()); }

private Q_SLOTS:
    void init()
    {
        QFile::remove(filePath());
        QFile::remove(file().corruptFilePath());
    }

    void storesReadsUpdatesAndRemovesPerLocation()
    {
        QVERIFY(file().upsertToken(u"one"_s, m_account, m_local));
        QVERIFY(file().upsertToken(u"two"_s, m_account, m_shared));
        QVERIFY(file().upsertToken(u"one-updated"_s, m_account, m_local));
        QCOMPARE(file().readToken(m_account, m_local), u"one-updated"_s);
        QCOMPARE(file().readToken(m_account, m_shared), u"two"_s);
        QCOMPARE(file().readToken(m_account, {u"svc"_s, u"group"_s, false}), std::nullopt);
        // Owner-only, and a file someone loosened is tightened again by the next write.
        QCOMPARE(test::modeOf(filePath()), 0600u);
        QCOMPARE(test::modeOf(m_dir.filePath(u"secrets"_s)), 0700u);
        QVERIFY(::chmod(QFile::encodeName(filePath()).constData(), 0644) == 0);

        file().removeToken(m_account, m_local);
        QCOMPARE(test::modeOf(filePath()), 0600u);
        QCOMPARE(file().readToken(m_account, m_local), std::nullopt);
        QCOMPARE(file().readToken(m_account, m_shared), u"two"_s);

        QVERIFY(test::writeFile(m_dir.filePath(u"blocker"_s), {}));
        const OwnerOnlyFileSecretBackend blocked(m_dir.filePath(u"blocker/secrets/tokens.json"_s));
        QVERIFY(!blocked.upsertToken(u"t"_s, m_account, m_local));
        QCOMPARE(blocked.readToken(m_account, m_local), std::nullopt);
    }

    void unreadableFileReadsAsEmptyAndIsKeptAsideOnWrite_data()
    {
        QTest::addColumn<QString>("linkTarget");
        row("junk bytes", QString());
        // Would be read without end if its reported size were trusted.
        row("link to /dev/zero", "/dev/zero");
    }
    void unreadableFileReadsAsEmptyAndIsKeptAsideOnWrite()
    {
        QFETCH(QString, linkTarget);
        const QByteArray junk("\x00\xff{items", 8);
        QVERIFY(QDir().mkpath(m_dir.filePath(u"secrets"_s)));
        QVERIFY(linkTarget.isEmpty() ? test::writeFile(filePath(), junk) : QFile::link(linkTarget, filePath()));
        QCOMPARE(file().readToken(m_account, m_local), std::nullopt);
        file().removeToken(m_account, m_local); // leaves the unreadable file alone
        QVERIFY(!QFileInfo::exists(file().corruptFilePath()));

        QVERIFY(file().upsertToken(u"fresh"_s, m_account, m_local));
        QCOMPARE(file().readToken(m_account, m_local), u"fresh"_s);
        const QFileInfo aside(file().corruptFilePath());
        QCOMPARE(aside.symLinkTarget(), linkTarget);
        if (linkTarget.isEmpty())
            QCOMPARE(test::readFile(aside.filePath()), junk);
    }

    void movesOnlyItemsTheTargetAccepts()
    {
        QVERIFY(file().upsertToken(u"shared"_s, m_account, m_shared));
        QVERIFY(file().upsertToken(u"local"_s, m_account, m_local));
        test::InMemorySecretBackend target;
        target.refusingWrites.insert(m_shared);
        file().moveItemsInto(target.backend());
        QCOMPARE(target.item(m_account, m_local), QByteArray("local"));
        QCOMPARE(file().readToken(m_account, m_local), std::nullopt);
        QCOMPARE(file().readToken(m_account, m_shared), u"shared"_s);

        target.refusingWrites.clear();
        file().moveItemsInto(target.backend());
        QCOMPARE(target.item(m_account, m_shared), QByteArray("shared"));
        // No plaintext file, nor its folder, stays behind.
        QVERIFY(!QFileInfo::exists(filePath()));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(u"secrets"_s)));
    }

    void tokenFileStaysOutOfTheSyncFolderParent()
    {
        // A sync tool pointed at the sync folder's parent copies all of it.
        const QString syncParent = QFileInfo(FolderKeyValueStore::defaultFolder()).absolutePath() + u'/';
        QVERIFY2(!OwnerOnlyFileSecretBackend::defaultFilePath().startsWith(syncParent),
                 qPrintable(OwnerOnlyFileSecretBackend::defaultFilePath()));
        QVERIFY(OwnerOnlyFileSecretBackend::earlierDefaultFilePath().startsWith(syncParent));
    }

    void unavailableSecretServiceFallsBackToFileThatPersists_data()
    {
        QTest::addColumn<QString>("earlierFile");
        row("earlier file elsewhere", "earlier/secrets/gateway-tokens.json");
        // When the state and data folders are one, moving the file into itself must keep it.
        row("earlier file is this one", "secrets/../secrets/gateway-tokens.json");
    }
    void unavailableSecretServiceFallsBackToFileThatPersists()
    {
        QFETCH(QString, earlierFile);
        const FallbackTokenFiles files{filePath(), m_dir.filePath(earlierFile)};
        const QUuid earlierMachine = QUuid::createUuid();
        QVERIFY(OwnerOnlyFileSecretBackend(files.earlier).upsertToken(u"earlier"_s, uuidText(earlierMachine), m_local));
        const QUuid machine = QUuid::createUuid();
        const QRegularExpression notice(u"^Gateway tokens are kept in .*/secrets/gateway-tokens.json, readable only "
                                        "by you, because the Secret Service does not answer.$"_s);
        QTest::ignoreMessage(QtWarningMsg, notice);
        GatewaySecretStore(u"svc"_s, std::nullopt, false, std::nullopt,
                           applicationSecretBackend(SecretServiceAvailability::providerNotResponding, files))
            .setToken(u" token \n"_s, machine);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(u"because there is no session bus.$"_s));
        const GatewaySecretStore reopened(u"svc"_s, std::nullopt, false, std::nullopt,
                                          applicationSecretBackend(SecretServiceAvailability::noSessionBus, files));
        QCOMPARE(reopened.token(machine), u"token"_s);
        QCOMPARE(reopened.token(earlierMachine), u"earlier"_s);
        QCOMPARE(QFileInfo::exists(files.earlier), QDir::cleanPath(files.earlier) == filePath());
        reopened.setToken(QString(), machine);
        QCOMPARE(reopened.token(machine), QString());
    }
};

QTEST_GUILESS_MAIN(tst_OwnerOnlyFileSecretBackend)
#include "tst_OwnerOnlyFileSecretBackend.moc"
