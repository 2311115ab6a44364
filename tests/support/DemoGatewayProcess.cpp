#include "support/DemoGatewayProcess.h"

#include <QDeadlineTimer>
#include <QRegularExpression>

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

namespace {

constexpr int startMs = 10000;

} // namespace

DemoGatewayProcess::~DemoGatewayProcess()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

QString DemoGatewayProcess::binaryPath()
{
    return qEnvironmentVariable("TESSEL_DEMO_GATEWAY");
}

bool DemoGatewayProcess::start(const QStringList &arguments, const QProcessEnvironment &environment)
{
    if (binaryPath().isEmpty()) {
        m_error = u"TESSEL_DEMO_GATEWAY does not name the demo gateway binary"_s;
        return false;
    }
    m_process.setProcessEnvironment(environment);
    m_process.start(binaryPath(), QStringList{u"--port"_s, u"0"_s} + arguments);
    static const QRegularExpression listening(u"listening on (ws://\\S+:\\d+)"_s);
    const QDeadlineTimer deadline(startMs);
    while (!deadline.hasExpired() && m_process.state() != QProcess::NotRunning) {
        m_process.waitForReadyRead(int(deadline.remainingTime()));
        const auto match = listening.match(output());
        if (match.hasMatch()) {
            m_url = QUrl(match.captured(1));
            return true;
        }
    }
    m_error = u"the demo gateway did not start: "_s + QString::fromLocal8Bit(m_process.readAllStandardError());
    return false;
}

QString DemoGatewayProcess::output()
{
    m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput());
    return m_output;
}

int DemoGatewayProcess::run(const QStringList &arguments, QString *standardError)
{
    QProcess process;
    process.start(binaryPath(), arguments);
    if (!process.waitForFinished(startMs) || process.exitStatus() != QProcess::NormalExit)
        return -1;
    *standardError = QString::fromLocal8Bit(process.readAllStandardError());
    return process.exitCode();
}

} // namespace tessel::test
