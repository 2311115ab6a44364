#include "storage/UserDefaultsTesselSettingsLocalStore.h"
#include "support/DataRow.h"
#include "sync/FolderKeyValueStore.h"
#include "sync/TesselSettingsSyncService.h"

#include <QProcess>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTimer>

#include <csignal>

using namespace Qt::Literals::StringLiterals;

namespace tessel {

// The real application entry in its own process, with a home, settings and sync folder of
// its own, ended by a signal while a typed edit still waits for its deferred write.
class tst_DesktopApplicationShutdown : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void pendingEditIsWrittenWhenASignalEndsTheApplication_data()
    {
        QTest::addColumn<int>("signalNumber");
        QTest::addColumn<bool>("ignoredAtLaunch");
        test::row("SIGTERM", SIGTERM, false);
        test::row("SIGINT", SIGINT, false);
        test::row("SIGHUP", SIGHUP, false);
        // Started with nohup: closing the terminal must not end it; SIGTERM still does.
        test::row("SIGHUP ignored at launch", SIGHUP, true);
    }

    void pendingEditIsWrittenWhenASignalEndsTheApplication()
    {
        QFETCH(int, signalNumber);
        QFETCH(bool, ignoredAtLaunch);
        QTemporaryDir home;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            environment.insert(QString::fromLatin1(variable), home.filePath(QString::fromLatin1(variable)));
        environment.insert(u"HOME"_s, home.path());
        environment.insert(u"TESSEL_SYNC_DIR"_s, home.filePath(u"sync"_s));
        environment.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
        // No Secret Service: tokens would go to the private state folder.
        environment.insert(u"DBUS_SESSION_BUS_ADDRESS"_s, u"unix:path="_s + home.filePath(u"no-bus"_s));
        QProcess application;
        application.setProcessEnvironment(environment);
        // An ignored signal stays ignored in the started program.
        struct sigaction ignore = {}, previous = {};
        ignore.sa_handler = ignoredAtLaunch ? SIG_IGN : SIG_DFL;
        ::sigaction(signalNumber, &ignore, &previous);
        application.start(QStringLiteral(DESKTOP_APPLICATION_PEER), QStringList());
        const bool started = application.waitForStarted(10000);
        ::sigaction(signalNumber, &previous, nullptr);
        QVERIFY2(started, qPrintable(application.errorString()));
        QByteArray output;
        connect(&application, &QProcess::readyReadStandardOutput, this,
                [&] { output += application.readAllStandardOutput(); });
        QTRY_VERIFY2_WITH_TIMEOUT(output.contains("typed\n"), application.readAllStandardError().constData(), 30000);

        // The edit is written a moment after typing pauses: the signal comes well before that.
        QSignalSpy finished(&application, &QProcess::finished);
        QTimer::singleShot(100, &application, [&] { ::kill(pid_t(application.processId()), signalNumber); });
        if (ignoredAtLaunch) {
            QVERIFY(!finished.wait(1000));
            application.terminate();
        }
        QVERIFY(finished.wait(10000));
        QSettings settings(home.filePath(u"XDG_CONFIG_HOME/Tessel/TesselDesktopPOC.conf"_s), QSettings::IniFormat);
        const UserDefaultsTesselSettingsLocalStore store(settings,
                                                         TesselSettingsLocalStoreConfiguration::application());
        QCOMPARE(store.load().snapshot.machines.first().name, u"Typed before the end"_s);
        const auto published =
            FolderKeyValueStore(home.filePath(u"sync"_s)).data(TesselSettingsSyncService::storeKey());
        QVERIFY(published && published->contains("Typed before the end"));
        // Ended by quitting, not by the signal.
        QCOMPARE(std::pair(application.exitStatus(), application.exitCode()), std::pair(QProcess::NormalExit, 0));
    }
};

} // namespace tessel

QTEST_GUILESS_MAIN(tessel::tst_DesktopApplicationShutdown)
#include "tst_DesktopApplicationShutdown.moc"
