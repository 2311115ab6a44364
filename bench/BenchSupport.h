#pragma once

// What every benchmark shares: options, waiting, timing, memory and one row format,
// "figure | ours | baseline | ratio", so that the figures read alike.

#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QStringList>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

namespace tessel::bench {

// The value after "--name" on the command line, or `fallback`: lets a quick run use less work.
inline int option(const QStringList &arguments, const char *name, int fallback)
{
    const qsizetype at = arguments.indexOf(QLatin1String(name));
    return at >= 0 && at + 1 < arguments.size() ? arguments.at(at + 1).toInt() : fallback;
}

// Runs the event loop until `done` is called; a benchmark's only way of waiting. Returns the
// milliseconds that took.
inline double runUntil(const std::function<void(std::function<void()> done)> &work)
{
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    work([&loop] { loop.quit(); });
    loop.exec();
    return double(clock.nsecsElapsed()) / 1e6;
}

// Runs the event loop for `milliseconds`: lets display frames pass, timers fire, a widget idle.
inline void runEventsFor(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

inline double cpuSeconds(clockid_t clock = CLOCK_THREAD_CPUTIME_ID)
{
    timespec time{};
    clock_gettime(clock, &time);
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

// A field of /proc/self/status ("VmRSS:", "VmHWM:") in megabytes (MiB).
inline double statusMegabytes(QByteArrayView field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    const QList<QByteArray> lines =
        status.open(QIODevice::ReadOnly) ? status.readAll().split('\n') : QList<QByteArray>();
    for (const QByteArray &line : lines) {
        if (line.startsWith(field))
            return line.mid(field.size()).trimmed().split(' ').value(0).toDouble() / 1024;
    }
    return -1;
}

// The sample at `fraction` of the sorted samples (0.5 the median, 0.95 the 95th percentile).
inline double percentile(std::vector<double> samples, double fraction)
{
    std::sort(samples.begin(), samples.end());
    return samples.empty() ? -1
                           : samples.at(std::min(samples.size() - 1, std::size_t(fraction * double(samples.size()))));
}

inline void printHeader(const char *title)
{
    std::printf("%s\n%-52s | %14s | %14s | %s\n", title, "figure", "ours", "baseline", "ours / baseline");
}

// One figure beside the baseline measured in the same run; a negative baseline prints none.
inline void printRow(const char *figure, double ours, double baseline, const char *unit, const char *goal = "")
{
    if (baseline < 0)
        std::printf("%-52s | %10.3f %-3s | %14s | %s\n", figure, ours, unit, "", goal);
    else
        std::printf("%-52s | %10.3f %-3s | %10.3f %-3s | %.2f x %s\n", figure, ours, unit, baseline, unit,
                    ours / baseline, goal);
    std::fflush(stdout);
}

} // namespace tessel::bench
