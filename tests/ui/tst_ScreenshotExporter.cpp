#include "export/DesktopPOCScreenshotExporter.h"
#include "protocol/UuidText.h"
#include "support/ModelHarness.h"
#include "ui/MainWindow.h"
#include "ui/PlatformMessageFilter.h"
#include "ui/TesselDesktopPOCContentView.h"

#include <QDir>
#include <QDirIterator>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>
#include <QTest>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;

constexpr int timeoutMs = 10000;

// The screenshot export against a real model, window and temporary files: what it shows,
// what it writes, and that the user's preferences, tokens and sync folder survive it.
class tst_ScreenshotExporter : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }
    void requestedOutputDirectory_data();
    void requestedOutputDirectory();
    void exportLeavesPreferencesTokensAndSyncFolderAsTheyWere();
    void unwritableDirectoryStillRestoresAndTerminates();
    void missingWindowStillRestoresAndTerminates();

private:
    struct Stored
    {
        QMap<QString, QVariant> settings;
        QMap<QString, QString> tokens;
        // Every stored item of each machine, in every credential store location.
        QMap<QString, QStringList> secretItems;
        int secretWrites = 0;
        QMap<QString, QByteArray> syncFiles;
        friend bool operator==(const Stored &, const Stored &) = default;
    };
    static Stored stored(ModelHarness &harness, const QList<QUuid> &machines, const QString &syncFolder);
    static DesktopPOCScreenshotTiming fastTiming();
    static bool showContent(MainWindow &window, TesselDesktopPOCModel &model)
    {
        window.setContent(new TesselDesktopPOCContentView(&model));
        window.show();
        return QTest::qWaitForWindowExposed(&window);
    }
};

DesktopPOCScreenshotTiming tst_ScreenshotExporter::fastTiming()
{
    DesktopPOCScreenshotTiming timing;
    timing.settle = std::chrono::milliseconds(60);
    timing.beforeRestore = std::chrono::milliseconds(10);
    timing.windowPoll = std::chrono::milliseconds(10);
    timing.windowAttempts = 3;
    return timing;
}

tst_ScreenshotExporter::Stored tst_ScreenshotExporter::stored(ModelHarness &harness, const QList<QUuid> &machines,
                                                              const QString &syncFolder)
{
    Stored result;
    harness.settings.sync();
    for (const QString &key : harness.settings.allKeys())
        result.settings.insert(key, harness.settings.value(key));
    for (const QUuid &machine : machines) {
        const QString account = uuidText(machine);
        QStringList items;
        for (const GatewaySecretStoreConfiguration &location : harness.secrets.locations(account))
            items << QString::fromUtf8(harness.secrets.item(account, location).value_or(QByteArray()));
        items.sort();
        result.secretItems.insert(account, items);
    }
    // Reading a token may tidy the store, so the reads come after the items are listed.
    for (const QUuid &machine : machines)
        result.tokens.insert(machine.toString(), harness.storedToken(machine));
    result.secretWrites = harness.secrets.writeCount;
    QDirIterator files(syncFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (files.hasNext()) {
        QFile file(files.next());
        if (file.open(QIODevice::ReadOnly))
            result.syncFiles.insert(file.fileName(), file.readAll());
    }
    return result;
}

void tst_ScreenshotExporter::requestedOutputDirectory_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QString>("variable");
    QTest::addColumn<QString>("expected");
    const QString flag = u"--export-screenshots-dir"_s;
    QTest::newRow("neither") << QStringList{} << QString() << QString();
    QTest::newRow("argument") << QStringList{flag, u"/tmp/a"_s} << QString() << u"/tmp/a"_s;
    QTest::newRow("argument after =") << QStringList{flag + u"=/tmp/a"_s} << QString() << u"/tmp/a"_s;
    QTest::newRow("empty after =, variable") << QStringList{flag + u"="_s} << u"/tmp/b"_s << u"/tmp/b"_s;
    QTest::newRow("argument wins over variable") << QStringList{flag, u"/tmp/a"_s} << u"/tmp/b"_s << u"/tmp/a"_s;
    QTest::newRow("empty argument, variable") << QStringList{flag, QString()} << u"/tmp/b"_s << u"/tmp/b"_s;
    QTest::newRow("flag last, no variable") << QStringList{flag} << QString() << QString();
    QTest::newRow("first occurrence counts")
        << QStringList{flag, u"/tmp/a"_s, flag, u"/tmp/c"_s} << QString() << u"/tmp/a"_s;
}

void tst_ScreenshotExporter::requestedOutputDirectory()
{
    QFETCH(QStringList, arguments);
    QFETCH(QString, variable);
    QFETCH(QString, expected);
    ProcessInfo info;
    info.arguments = QStringList{u"tessel-desktop"_s} + arguments;
    info.environment.insert(u"TESSEL_DESKTOP_POC_EXPORT_SCREENSHOTS_DIR"_s, variable);
    QCOMPARE(DesktopPOCScreenshotExporter::requestedOutputDirectory(info).value_or(QString()), expected);
}

void tst_ScreenshotExporter::exportLeavesPreferencesTokensAndSyncFolderAsTheyWere()
{
    QTemporaryDir syncFolder;
    QTemporaryDir output;
    ModelHarness harness(syncFolder.path());
    // A user's installation: two machines with tokens, preferences that the export changes.
    TesselDesktopPOCModel &user = harness.start();
    user.updateSelectedMachineName(u"Laptop"_s);
    user.updateSelectedGatewayURL(u"ws://127.0.0.1:9"_s);
    user.updateSelectedGatewayToken(u"token-laptop"_s);
    user.addMachine();
    user.updateSelectedGatewayToken(u"token-server"_s);
    user.setBackend(BackendKind::pi);
    user.setIncludeHiddenFiles(true);
    user.setWorkspaceTab(ProjectWorkspaceTab::files);
    QList<QUuid> machines;
    for (const MachineProfile &machine : user.machines())
        machines << machine.id;
    QVERIFY(!harness.settings.contains(u"TesselDesktopPOC.unrelated"_s));
    QTRY_VERIFY_WITH_TIMEOUT(!user.isLoadingDirectory(), timeoutMs);
    user.flushPendingWrites();
    const Stored before = stored(harness, machines, syncFolder.path());
    QCOMPARE(before.tokens.value(machines.first().toString()), u"token-laptop"_s);
    QVERIFY(!before.syncFiles.isEmpty());

    const QString directory = output.filePath(u"shots/nested"_s);
    harness.processInfo.arguments << u"--export-screenshots-dir"_s << directory;
    TesselDesktopPOCModel &model = harness.start();
    MainWindow window;
    QVERIFY(showContent(window, model));
    DesktopPOCScreenshotExporter exporter(model, harness.settings, harness.processInfo, fastTiming());
    QSignalSpy terminated(&exporter, &DesktopPOCScreenshotExporter::terminationRequested);
    // What the window shows while the chat image is taken.
    QString chatHeader;
    connect(&model, &TesselDesktopPOCModel::currentDocumentChanged, this, [&] {
        for (QLabel *label : window.findChildren<QLabel *>()) {
            if (label->accessibleName() == "Selected project"_L1 && chatHeader.isEmpty())
                chatHeader = label->toolTip();
        }
    });
    QVERIFY(exporter.runIfNeeded());
    QVERIFY(terminated.wait(timeoutMs));
    QCOMPARE(terminated.count(), 1);
    QCOMPARE(chatHeader, u"Studio Workstation \u2022 Tessel \u2022 /home/demo/src/tessel"_s);
    QCOMPARE(model.machines().size(), 1);
    QCOMPARE(model.currentDocument()->revision, u"rev-demo-2"_s);
    QCOMPARE(model.currentDocument()->size, model.currentDocument()->content.toUtf8().size());
    QCOMPARE(model.workspaceTab(), ProjectWorkspaceTab::files);

    for (const char *name : {DesktopPOCScreenshotExporter::chatFileName, DesktopPOCScreenshotExporter::filesFileName}) {
        const QImage image(QDir(directory).filePath(QString::fromLatin1(name)));
        QVERIFY2(!image.isNull(), name);
        QCOMPARE(image.size(), window.size() * window.devicePixelRatio());
    }
    // Nothing of the demonstration reached the registry, the credential store or sync, and
    // the preferences hold exactly the keys and values they held before.
    const Stored after = stored(harness, machines, syncFolder.path());
    QCOMPARE(after.settings, before.settings);
    QCOMPARE(after.tokens, before.tokens);
    QCOMPARE(after.secretWrites, before.secretWrites);
    QCOMPARE(after.secretItems, before.secretItems);
    QCOMPARE(after.syncFiles, before.syncFiles);
    QCOMPARE(harness.settings.value(u"TesselDesktopPOC.backend"_s).toString(), u"pi"_s);
}

void tst_ScreenshotExporter::unwritableDirectoryStillRestoresAndTerminates()
{
    QTemporaryDir scratch;
    QFile blocker(scratch.filePath(u"not-a-directory"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const QString directory = blocker.fileName() + u"/shots"_s;
    ModelHarness harness(QString(), {u"--export-screenshots-dir"_s, directory});
    TesselDesktopPOCModel &model = harness.start();
    harness.settings.setValue(u"TesselDesktopPOC.workspaceTab"_s, u"files"_s);
    const Stored before = stored(harness, {}, QString());
    MainWindow window;
    QVERIFY(showContent(window, model));
    DesktopPOCScreenshotExporter exporter(model, harness.settings, harness.processInfo, fastTiming());
    QSignalSpy terminated(&exporter, &DesktopPOCScreenshotExporter::terminationRequested);
    QVERIFY(exporter.runIfNeeded());
    QVERIFY(terminated.wait(timeoutMs));
    QVERIFY(!QFileInfo::exists(directory));
    QCOMPARE(stored(harness, {}, QString()), before);
}

void tst_ScreenshotExporter::missingWindowStillRestoresAndTerminates()
{
    QTemporaryDir output;
    ModelHarness harness(QString(), {u"--export-screenshots-dir"_s, output.path()});
    TesselDesktopPOCModel &model = harness.start();
    const Stored before = stored(harness, {}, QString());
    DesktopPOCScreenshotExporter exporter(model, harness.settings, harness.processInfo, fastTiming());
    QSignalSpy terminated(&exporter, &DesktopPOCScreenshotExporter::terminationRequested);
    QVERIFY(exporter.runIfNeeded());
    QVERIFY(terminated.wait(timeoutMs));
    QVERIFY(QDir(output.path()).isEmpty());
    QCOMPARE(stored(harness, {}, QString()), before);

    // Without a directory nothing runs and nothing terminates.
    ModelHarness normal;
    DesktopPOCScreenshotExporter idle(normal.start(), normal.settings, normal.processInfo, fastTiming());
    QVERIFY(!idle.runIfNeeded());
}

} // namespace tessel

QTEST_MAIN(tessel::tst_ScreenshotExporter)
#include "tst_ScreenshotExporter.moc"
