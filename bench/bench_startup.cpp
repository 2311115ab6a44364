// Start to the first painted window, and peak memory at that moment: the real application
// with an empty registry against a bare Qt Widgets window of the same size, each started as
// its own process, alternately, several times. Run under QT_QPA_PLATFORM=offscreen or xvfb-run.
#include "ui/DesktopApplication.h"
#include "ui/PlatformMessageFilter.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace Qt::Literals::StringLiterals;

namespace {

constexpr int runs = 9;
const QByteArray paintedMarker = "first-paint";

qint64 statusKilobytes(const QByteArray &field)
{
    QFile status(u"/proc/self/status"_s);
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// Reports once, after the first paint of a window at least `minimumWidth` wide has finished.
class FirstPaintReporter : public QObject
{
public:
    explicit FirstPaintReporter(int minimumWidth)
        : m_minimumWidth(minimumWidth)
    { }

    bool eventFilter(QObject *watched, QEvent *event) override
    {
        auto *widget = qobject_cast<QWidget *>(watched);
        if (!m_reported && event->type() == QEvent::Paint && widget && widget->isWindow() &&
            widget->width() >= m_minimumWidth) {
            m_reported = true;
            QTimer::singleShot(0, qApp, [] {
                std::printf("%s %lld\n", paintedMarker.constData(), statusKilobytes("VmHWM:"));
                std::fflush(stdout);
                QCoreApplication::quit();
            });
        }
        return false;
    }

private:
    int m_minimumWidth;
    bool m_reported = false;
};

int runChild(int argc, char *argv[], bool bare)
{
    tessel::installPlatformMessageFilter();
    QApplication app(argc, argv);
    FirstPaintReporter reporter(1120);
    app.installEventFilter(&reporter);
    if (bare) {
        QWidget window;
        window.setMinimumSize(1120, 720);
        auto *label = new QLabel(u"Tessel Desktop POC"_s, &window);
        label->move(20, 20);
        window.show();
        return QApplication::exec();
    }
    tessel::DesktopApplication application(tessel::ProcessInfo::current());
    application.start();
    return QApplication::exec();
}

struct Sample
{
    double milliseconds = -1;
    qint64 peakKilobytes = -1;
};

// Starts this program as a child and times it to its first painted window.
Sample measure(const QString &mode)
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
    Sample sample;
    while (child.waitForReadyRead(20000)) {
        const QByteArray line = child.readLine().trimmed();
        if (line.startsWith(paintedMarker)) {
            sample.milliseconds = double(timer.nsecsElapsed()) / 1e6;
            sample.peakKilobytes = line.mid(paintedMarker.size()).trimmed().toLongLong();
            break;
        }
    }
    child.waitForFinished(20000);
    return sample;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.empty() ? -1 : values[values.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc == 3 && QByteArrayView(argv[1]) == "--child")
        return runChild(argc, argv, QByteArrayView(argv[2]) == "bare");

    QCoreApplication app(argc, argv);
    std::vector<double> appTimes, bareTimes, appMemory, bareMemory;
    measure(u"bare"_s); // warms the disk cache for both
    for (int run = 0; run < runs; ++run) {
        const Sample bare = measure(u"bare"_s);
        const Sample application = measure(u"app"_s);
        bareTimes.push_back(bare.milliseconds);
        appTimes.push_back(application.milliseconds);
        bareMemory.push_back(double(bare.peakKilobytes) / 1024);
        appMemory.push_back(double(application.peakKilobytes) / 1024);
    }
    const double bareTime = median(bareTimes), appTime = median(appTimes);
    const double bareMb = median(bareMemory), appMb = median(appMemory);
    std::printf("platform %s, %d runs each, medians\n",
                qPrintable(qEnvironmentVariable("QT_QPA_PLATFORM", u"(default)"_s)), runs);
    std::printf("bare Qt Widgets window   %7.1f ms to first paint   peak %6.1f MB\n", bareTime, bareMb);
    std::printf("tessel-desktop, empty    %7.1f ms to first paint   peak %6.1f MB\n", appTime, appMb);
    std::printf("ratio                    %7.2f x (goal <= 2)        %6.2f x (goal <= 1.5)\n", appTime / bareTime,
                appMb / bareMb);
    return appTime <= 2 * bareTime && appMb <= 1.5 * bareMb ? 0 : 1;
}
