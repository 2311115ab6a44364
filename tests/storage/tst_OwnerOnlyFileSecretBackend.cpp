#include "protocol/UuidText.h"
#include "storage/ApplicationSecretBackend.h"
#include "storage/GatewaySecretStore.h"
#include "storage/OwnerOnlyFileSecretBackend.h"

#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

unsigned posixMode(const QString &path)
{
    struct stat status
    {
    };
    if (::stat(QFile::encodeName(path).constData(), &status) != 0)
        return 0xffff;
    return status.st_mode & 0777;
}

} // namespace

class tst_OwnerOnlyFileSecretBackend : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    const QString m_account = uuidText(QUuid::createUuid());
    const GatewaySecretStoreConfiguration m_shared{u"svc"_s, u"group"_s, true};
    const GatewaySecretStoreConfiguration m_local{u"svc"_s, std::nullopt, false};

    QString filePath() const { return m_dir.filePath(u"secrets/gateway-tokens.json"_s); }
    OwnerOnlyFileSecretBackend file() const { return OwnerOnlyFileSecretBackend(filePath()); }

private Q_SLOTS:
    void init()
    {
        QVERIFY(m_dir.isValid());
        QFile::remove(filePath());
        QFile::remove(file().corruptFilePath());
    }

    void storesReadsUpdatesAndRemovesPerLocation()
    {
        QCOMPARE(file().readToken(m_account, m_local), std::nullopt);
        QVERIFY(file().upsertToken(u"one"_s, m_account, m_local));
        QVERIFY(file().upsertToken(u"two"_s, m_account, m_shared));
        QVERIFY(file().upsertToken(u"one-updated"_s, m_account, m_local));
        QCOMPARE(file().readToken(m_account, m_local), u"one-updated"_s);
        QCOMPARE(file().readToken(m_account, m_shared), u"two"_s);
        QCOMPARE(file().readToken(m_account, {u"svc"_s, u"group"_s, false}), std::nullopt);
        QCOMPARE(file().readToken(uuidText(QUuid::createUuid()), m_local), std::nullopt);

        file().removeToken(m_account, m_local);
        QCOMPARE(file().readToken(m_account, m_local), std::nullopt);
        QCOMPARE(file().readToken(m_account, m_shared), u"two"_s);
    }

    void fileAndFolderAreOwnerOnly()
    {
        QVERIFY(file().upsertToken(u"t"_s, m_account, m_local));
        QCOMPARE(posixMode(filePath()), 0600u);
        QCOMPARE(posixMode(m_dir.filePath(u"secrets"_s)), 0700u);

        // A file someone loosened is tightened again by the next write.
        QVERIFY(QFile::setPermissions(filePath(),
                                      QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther |
                                          QFileDevice::ReadGroup));
        QVERIFY(file().upsertToken(u"t2"_s, m_account, m_local));
        QCOMPARE(posixMode(filePath()), 0600u);
    }

    void corruptFileReadsAsEmptyAndIsKeptAsideOnWrite()
    {
        QVERIFY(QDir().mkpath(m_dir.filePath(u"secrets"_s)));
        QFile junk(filePath());
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write(QByteArray("\x00\xff{items", 8));
        junk.close();
        QCOMPARE(file().readToken(m_account, m_local), std::nullopt);
        file().removeToken(m_account, m_local); // leaves the unreadable file alone
        QVERIFY(!QFile::exists(file().corruptFilePath()));

        QVERIFY(file().upsertToken(u"fresh"_s, m_account, m_local));
        QCOMPARE(file().readToken(m_account, m_local), u"fresh"_s);
        QFile aside(file().corruptFilePath());
        QVERIFY(aside.open(QIODevice::ReadOnly));
        QCOMPARE(aside.readAll(), QByteArray("\x00\xff{items", 8));
    }

    void unwritableLocationRefusesTheWrite()
    {
        QFile blocker(m_dir.filePath(u"blocker"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const OwnerOnlyFileSecretBackend blocked(m_dir.filePath(u"blocker/secrets/tokens.json"_s));
        QVERIFY(!blocked.upsertToken(u"t"_s, m_account, m_local));
        QCOMPARE(blocked.readToken(m_account, m_local), std::nullopt);
    }

    void unavailableSecretServiceFallsBackToFileThatPersists()
    {
        const QUuid machine = QUuid::createUuid();
        GatewaySecretStore(u"svc"_s, std::nullopt, true, std::nullopt,
                           applicationSecretBackend(SecretServiceAvailability::providerNotResponding, filePath()))
            .setToken(u" token \n"_s, machine);
        const GatewaySecretStore reopened(
            u"svc"_s, std::nullopt, true, std::nullopt,
            applicationSecretBackend(SecretServiceAvailability::noSessionBus, filePath()));
        QCOMPARE(reopened.token(machine), u"token"_s);
        reopened.setToken(QString(), machine);
        QCOMPARE(reopened.token(machine), QString());
    }
};

QTEST_GUILESS_MAIN(tst_OwnerOnlyFileSecretBackend)
#include "tst_OwnerOnlyFileSecretBackend.moc"
