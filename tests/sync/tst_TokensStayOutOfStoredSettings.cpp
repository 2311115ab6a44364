#include "protocol/JsonCodec.h"
#include "protocol/UuidText.h"
#include "support/ModelHarness.h"

#include <QDirIterator>
#include <QTest>

using namespace Qt::Literals::StringLiterals;
using namespace tessel;

namespace {

QByteArray allBytesUnder(const QString &path)
{
    QByteArray bytes;
    QDirIterator files(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            bytes += file.readAll();
    }
    return bytes;
}

} // namespace

// The application started over settings of an older layout moves their tokens into the
// secret store and leaves no token text in the settings file or the sync folder. Tokens
// edited in the model are checked the same way in tst_ModelStartup.
class tst_TokensStayOutOfStoredSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void migratedTokensStayInTheSecretStore()
    {
        test::ModelHarness harness;
        const auto keys = harness.settingsStore.configuration();
        const QString legacyToken = u"legacy-token-"_s + uuidText(QUuid::createUuid());
        const QString oldestToken = u"oldest-token-"_s + uuidText(QUuid::createUuid());
        const MachineProfile legacy{QUuid::createUuid(), u"Old box"_s, u"ws://old:4821"_s, legacyToken, {}};
        harness.settings.setValue(keys.legacy.machines, encodeJson(QList{legacy}));
        harness.settings.setValue(keys.legacy.gatewayToken, oldestToken);

        auto &model = harness.start();
        QCOMPARE(model.gatewayToken(), legacyToken);
        model.updateSelectedGatewayURL(u"ws://build:4821"_s);
        model.flushPendingWrites();
        harness.settings.sync();

        QFile settingsFile(harness.settingsPath());
        QVERIFY(settingsFile.open(QIODevice::ReadOnly));
        const QByteArray settingsBytes = settingsFile.readAll();
        const QByteArray syncBytes = allBytesUnder(harness.keyValueStore.folder());
        // The registry itself reached both places, so the absence below means something.
        QVERIFY(settingsBytes.contains("ws://build:4821") && syncBytes.contains("ws://build:4821"));
        for (const QString &token : {legacyToken, oldestToken}) {
            QVERIFY2(!settingsBytes.contains(token.toUtf8()), qPrintable(token));
            QVERIFY2(!syncBytes.contains(token.toUtf8()), qPrintable(token));
        }
        QCOMPARE(harness.storedToken(legacy.id), legacyToken);
    }
};

QTEST_GUILESS_MAIN(tst_TokensStayOutOfStoredSettings)
#include "tst_TokensStayOutOfStoredSettings.moc"
