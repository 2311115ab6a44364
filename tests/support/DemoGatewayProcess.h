#pragma once

#include <QDeadlineTimer>
#include <QProcess>
#include <QRegularExpression>
#include <QUrl>

namespace tessel::test {

// Runs the tessel-demo-gateway binary (path in $TESSEL_DEMO_GATEWAY) on a free loopback
// port and stops it when destroyed. Callers pass --root and either --no-env-file or a
// private HOME, so no real user file is touched.
class DemoGatewayProcess
{
public:
    ~DemoGatewayProcess()
    {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }

    // Starts the gateway and waits (bounded) for its "listening on" line. False with the
    // reason in errorText() when the binary is missing, fails or never listens.
    [[nodiscard]] bool start(const QStringList &arguments,
                             const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        m_error = QStringLiteral("TESSEL_DEMO_GATEWAY does not name the demo gateway binary");
        if (binaryPath().isEmpty())
            return false;
        m_process.setProcessEnvironment(environment);
        m_process.start(binaryPath(), QStringList{QStringLiteral("--port"), QStringLiteral("0")} + arguments);
        static const QRegularExpression listening(QStringLiteral("listening on (ws://\\S+:\\d+)"));
        for (const QDeadlineTimer deadline(startMs);
             !deadline.hasExpired() && m_process.state() != QProcess::NotRunning;) {
            m_process.waitForReadyRead(int(deadline.remainingTime()));
            if (const auto match = listening.match(output()); match.hasMatch()) {
                m_url = QUrl(match.captured(1));
                return true;
            }
        }
        m_error = QStringLiteral("the demo gateway did not start: ") +
            QString::fromLocal8Bit(m_process.readAllStandardError());
        return false;
    }
    QUrl url() const { return m_url; }
    quint16 port() const { return quint16(m_url.port()); }
    const QString &errorText() const { return m_error; }
    // Everything the process wrote to standard output so far.
    QString output() { return m_output += QString::fromLocal8Bit(m_process.readAllStandardOutput()); }

private:
    static constexpr int startMs = 10000;
    static QString binaryPath() { return qEnvironmentVariable("TESSEL_DEMO_GATEWAY"); }

    QProcess m_process;
    QUrl m_url;
    QString m_error;
    QString m_output;
};

} // namespace tessel::test
