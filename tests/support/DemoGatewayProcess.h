#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QStringList>
#include <QUrl>

namespace tessel::test {

// Runs the tessel-demo-gateway binary (path in $TESSEL_DEMO_GATEWAY) on a free loopback
// port and stops it when destroyed. Callers pass --root and either --no-env-file or a
// private HOME, so no real user file is touched.
class DemoGatewayProcess
{
public:
    DemoGatewayProcess() = default;
    ~DemoGatewayProcess();

    // Starts the gateway and waits (bounded) for its "listening on" line. False with the
    // reason in errorText() when the binary is missing, fails or never listens.
    [[nodiscard]] bool start(const QStringList &arguments,
                             const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment());
    QUrl url() const { return m_url; }
    quint16 port() const { return quint16(m_url.port()); }
    const QString &errorText() const { return m_error; }
    // Everything the process wrote to standard output so far.
    QString output();

    // Runs the binary to completion (bounded) and returns its exit code, -1 on failure.
    static int run(const QStringList &arguments, QString *standardError);

private:
    static QString binaryPath();

    QProcess m_process;
    QUrl m_url;
    QString m_error;
    QString m_output;
};

} // namespace tessel::test
