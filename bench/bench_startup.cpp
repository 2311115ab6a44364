// Start to the first painted window: the real application with an empty registry against a
// bare Qt Widgets window of the same size, each started as its own process, alternately,
// --runs times (default 9). Run under QT_QPA_PLATFORM=offscreen or xvfb-run.
#include "BenchSupport.h"

#include "ui/DesktopApplication.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::Literals::StringLiterals;
using namespace tessel::bench;

namespace {

const QByteArray paintedMarker = "first-paint";

// Says so and quits after the first paint of a window at least 1120 pixels wide has finished.
class FirstPaintReporter : public QObject
{
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!m_reported && event->type() == QEvent::Paint && widget && widget->isWindow() && widget->width() >= 1120) {
            m_reported = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("%s\n", paintedMarker.constData());
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }
    bool m_reported = false;
};

int runChild(int argc, char *argv[], bool bare)
{
    tessel::installPlatformMessageFilter();
    QApplication app(argc, argv);
    FirstPaintReporter reporter;
    app.installEventFilter(&reporter);
    QWidget window;
    std::optional<tessel::DesktopApplication> application;
    if (bare) {
        window.setMinimumSize(1120, 720);
        (new QLabel(u"Tessel Desktop POC"_s, &window))->move(20, 20);
        window.show();
    } else {
        application.emplace(tessel::ProcessInfo::current()).start();
    }
    return QApplication::exec();
}

// Starts this program as a child in `mode` and returns the milliseconds to its first
// painted window.
double measure(const QString &mode)
{
    QTemporaryDir home;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    // An empty registry: a home, settings and sync folder of its own for every run.
    environment.insert(u"HOME"_s, home.path());
    environment.insert(u"XDG_CONFIG_HOME"_s, home.filePath(u"config"_s));
    environment.insert(u"XDG_DATA_HOME"_s, home.filePath(u"data"_s));
    environment.insert(u"TESSEL_SYNC_DIR"_s, home.filePath(u"sync"_s));
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    QElapsedTimer timer;
    timer.start();
    child.start(QCoreApplication::applicationFilePath(), {u"--child"_s, mode});
    double painted = -1;
    while (painted < 0 && child.waitForReadyRead(20000)) {
        if (child.readLine().startsWith(paintedMarker))
            painted = double(timer.nsecsElapsed()) / 1e6;
    }
    child.waitForFinished(20000);
    return painted;
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArrayView(argv[1]) == "--child")
        return runChild(argc, argv, QByteArrayView(argv[2]) == "bare");
    QCoreApplication app(argc, argv);
    const int runs = option(app.arguments(), "--runs", 9);
    std::vector<double> appTimes, bareTimes;
    measure(u"bare"_s); // warms the disk cache for both
    for (int run = 0; run < runs; ++run) {
        bareTimes.push_back(measure(u"bare"_s));
        appTimes.push_back(measure(u"app"_s));
    }
    const double bareTime = percentile(bareTimes, 0.5), appTime = percentile(appTimes, 0.5);
    printHeader(qPrintable(u"Start, platform %1, medians of %2 runs; baseline: a bare Qt Widgets window"_s
                               .arg(qEnvironmentVariable("QT_QPA_PLATFORM", u"(default)"_s))
                               .arg(runs)));
    printRow("tessel-desktop, empty: start to first paint", appTime, bareTime, "ms", "(goal <= 2)");
    return appTime <= 2 * bareTime ? 0 : 1;
}
