#include "BenchGateway.h"

#include <QEventLoop>
#include <QFile>

#include <algorithm>
#include <cstdio>
#include <ctime>

using namespace Qt::Literals::StringLiterals;

namespace tessel::bench {

bool BenchGateway::start()
{
    if (qEnvironmentVariableIsEmpty("TESSEL_DEMO_GATEWAY"))
        qputenv("TESSEL_DEMO_GATEWAY", TESSEL_DEMO_GATEWAY_PATH);
    QFile note(m_root.filePath(u"note.md"_s));
    if (!note.open(QIODevice::WriteOnly) || note.write("# Note\n\nA small file for round trips.\n") < 0)
        return false;
    note.close();
    if (m_process.start({u"--root"_s, m_root.path(), u"--token"_s, benchToken, u"--no-env-file"_s}))
        return true;
    std::fprintf(stderr, "%s\n", qPrintable(m_process.errorText()));
    return false;
}

void runUntil(const std::function<void(std::function<void()> done)> &work)
{
    QEventLoop loop;
    work([&loop] { loop.quit(); });
    loop.exec();
}

Percentiles percentiles(std::vector<double> &samples)
{
    std::sort(samples.begin(), samples.end());
    const auto at = [&samples](double fraction) {
        return samples.at(std::min(samples.size() - 1, std::size_t(fraction * double(samples.size()))));
    };
    return {at(0.5), at(0.95)};
}

double threadCpuSeconds()
{
    timespec time{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &time);
    return double(time.tv_sec) + double(time.tv_nsec) / 1e9;
}

} // namespace tessel::bench
