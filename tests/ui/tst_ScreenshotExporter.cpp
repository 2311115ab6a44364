#include "export/DesktopPOCScreenshotExporter.h"
#include "protocol/UuidText.h"
#include "support/DataRow.h"
#include "support/ModelHarness.h"
#include "support/TestWindow.h"
#include "ui/PlatformMessageFilter.h"

#include <QDirIterator>
#include <QImage>
#include <QLabel>
#include <QSignalSpy>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

using test::ModelHarness;
using test::row;

constexpr int timeoutMs = 10000;

// The screenshot export against a real model, window and temporary files: what it shows,
// what it writes, and that the user's preferences, tokens and sync folder survive it.
class tst_ScreenshotExporter : public QObject
{
    Q_OBJECT

    // Everything an installation keeps: its settings, each machine's credential items in every
    // location and its token, the credential store's write count, the sync folder's files.
    static QVariantMap stored(ModelHarness &harness, const QList<QUuid> &machines = {}, const QString &syncFolder = {})
    {
        harness.settings.sync();
        QVariantMap result{{u"secret writes"_s, harness.secrets.writeCount}};
        for (const QString &key : harness.settings.allKeys())
            result.insert(u"setting "_s + key, harness.settings.value(key));
        for (const QUuid &machine : machines) {
            const QString account = uuidText(machine);
            QStringList items;
            for (const GatewaySecretStoreConfiguration &location : harness.secrets.locations(account))
                items << QString::fromUtf8(harness.secrets.item(account, location).value_or(QByteArray()));
            items.sort();
            result.insert(u"secret items "_s + account, items);
        }
        // Reading a token may tidy the store, so the reads come after the items are listed.
        for (const QUuid &machine : machines)
            result.insert(u"token "_s + uuidText(machine), harness.storedToken(machine));
        for (QDirIterator files(syncFolder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
             !syncFolder.isEmpty() && files.hasNext();) {
            QFile file(files.next());
            if (file.open(QIODevice::ReadOnly))
                result.insert(u"sync "_s + file.fileName(), file.readAll());
        }
        return result;
    }

    static DesktopPOCScreenshotTiming fastTiming()
    {
        return {.settle = std::chrono::milliseconds(60),
                .beforeRestore = std::chrono::milliseconds(10),
                .windowPoll = std::chrono::milliseconds(10),
                .windowAttempts = 3};
    }

private Q_SLOTS:
    void initTestCase() { installPlatformMessageFilter(); }

    // The option itself is read as every option is; here, how it combines with the variable.
    void requestedOutputDirectory_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("variable");
        QTest::addColumn<QString>("expected");
        const QString flag = u"--export-screenshots-dir"_s;
        row("empty argument, variable", QStringList{flag + u"="_s}, u"/tmp/b"_s, u"/tmp/b"_s);
        row("argument wins over variable", QStringList{flag, u"/tmp/a"_s}, u"/tmp/b"_s, u"/tmp/a"_s);
    }

    void requestedOutputDirectory()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, variable);
        QFETCH(QString, expected);
        ProcessInfo info;
        info.arguments = QStringList{u"tessel-desktop"_s} + arguments;
        info.environment.insert(u"TESSEL_DESKTOP_POC_EXPORT_SCREENSHOTS_DIR"_s, variable);
        QCOMPARE(DesktopPOCScreenshotExporter::requestedOutputDirectory(info).value_or(QString()), expected);
    }

    void exportLeavesPreferencesTokensAndSyncFolderAsTheyWere()
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
        QTRY_VERIFY_WITH_TIMEOUT(!user.isLoadingDirectory(), timeoutMs);
        user.flushPendingWrites();
        const QList<QUuid> machines{user.machines().first().id, user.machines().last().id};
        const QVariantMap before = stored(harness, machines, syncFolder.path());
        QCOMPARE(before.value(u"token "_s + uuidText(machines.first())).toString(), u"token-laptop"_s);
        QVERIFY(std::ranges::any_of(before.keys(), [](const QString &key) { return key.startsWith("sync "_L1); }));

        const QString directory = output.filePath(u"shots/nested"_s);
        harness.processInfo.arguments << u"--export-screenshots-dir"_s << directory;
        TesselDesktopPOCModel &model = harness.start();
        test::TestWindow window(model);
        QVERIFY(QTest::qWaitForWindowExposed(&window));
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
        QCOMPARE(std::pair(int(terminated.count()), int(model.machines().size())), std::pair(1, 1));
        QCOMPARE(chatHeader, u"Studio Workstation \u2022 Tessel \u2022 /home/demo/src/tessel"_s);
        QCOMPARE(model.currentDocument()->revision, u"rev-demo-2"_s);
        QCOMPARE(model.currentDocument()->size, model.currentDocument()->content.toUtf8().size());
        QCOMPARE(model.workspaceTab(), ProjectWorkspaceTab::files);
        for (const char *name :
             {DesktopPOCScreenshotExporter::chatFileName, DesktopPOCScreenshotExporter::filesFileName})
            QCOMPARE(QImage(QDir(directory).filePath(QLatin1StringView(name))).size(),
                     window.size() * window.devicePixelRatio());
        // Nothing of the demonstration reached the registry, the credential store or sync, and
        // the preferences hold exactly the keys and values they held before.
        QCOMPARE(stored(harness, machines, syncFolder.path()), before);
        QCOMPARE(harness.settings.value(u"TesselDesktopPOC.backend"_s).toString(), u"pi"_s);
    }

    void failedExportStillRestoresAndTerminates_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("window");
        row("unwritable directory", false, true);
        row("no window", true, false);
    }

    void failedExportStillRestoresAndTerminates()
    {
        QFETCH(bool, writable);
        QFETCH(bool, window);
        QTemporaryDir scratch;
        // A file where the directory would be made.
        QFile blocker(scratch.filePath(u"not-a-directory"_s));
        QVERIFY(writable || blocker.open(QIODevice::WriteOnly));
        const QString directory = scratch.filePath(writable ? u"shots"_s : u"not-a-directory/shots"_s);
        ModelHarness harness(QString(), {u"--export-screenshots-dir"_s, directory});
        TesselDesktopPOCModel &model = harness.start();
        harness.settings.setValue(u"TesselDesktopPOC.workspaceTab"_s, u"files"_s);
        const QVariantMap before = stored(harness);
        std::optional<test::TestWindow> shown;
        if (window)
            QVERIFY(QTest::qWaitForWindowExposed(&shown.emplace(model)));
        DesktopPOCScreenshotExporter exporter(model, harness.settings, harness.processInfo, fastTiming());
        QSignalSpy terminated(&exporter, &DesktopPOCScreenshotExporter::terminationRequested);
        QVERIFY(exporter.runIfNeeded());
        QVERIFY(terminated.wait(timeoutMs));
        QVERIFY(QDir(directory).isEmpty());
        QCOMPARE(stored(harness), before);

        // Without a directory (neither option nor variable) nothing runs and nothing terminates.
        ModelHarness normal;
        QVERIFY(!DesktopPOCScreenshotExporter(normal.start(), normal.settings, normal.processInfo).runIfNeeded());
    }
};

} // namespace tessel

QTEST_MAIN(tessel::tst_ScreenshotExporter)
#include "tst_ScreenshotExporter.moc"
