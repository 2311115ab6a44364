#pragma once

#include "support/DemoGatewayProcess.h"

#include <QTemporaryDir>

#include <functional>
#include <vector>

namespace tessel::bench {

inline const QString benchToken = QStringLiteral("bench-token");

// A demo gateway on a free port serving a temporary directory with one small text file.
class BenchGateway
{
public:
    // False (with the reason on stderr) when the gateway does not start.
    bool start();
    QUrl url() const { return m_process.url(); }

private:
    QTemporaryDir m_root;
    test::DemoGatewayProcess m_process;
};

// Runs the event loop until `done` is called; the bench's only way of waiting.
void runUntil(const std::function<void(std::function<void()> done)> &work);

// Median and 95th percentile of `samples` (sorted in place), in milliseconds.
struct Percentiles
{
    double median = 0;
    double p95 = 0;
};
Percentiles percentiles(std::vector<double> &samples);

// CPU time the calling thread has used, in seconds.
double threadCpuSeconds();

} // namespace tessel::bench
