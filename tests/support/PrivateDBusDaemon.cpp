#include "support/PrivateDBusDaemon.h"

#include "support/TestFiles.h"

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

PrivateDBusDaemon::~PrivateDBusDaemon()
{
    if (m_process.state() == QProcess::NotRunning)
        return;
    m_process.terminate();
    if (!m_process.waitForFinished(5000))
        m_process.kill();
    m_process.waitForFinished(5000);
}

bool PrivateDBusDaemon::start()
{
    const QString config = m_dir.filePath(u"bus.conf"_s);
    if (!writeFile(config, u"<busconfig><type>session</type><listen>unix:path=%1/bus</listen>"
                           "<servicedir>%1</servicedir><policy context=\"default\"><allow send_destination=\"*\" "
                           "eavesdrop=\"true\"/><allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n"_s
                               .arg(m_dir.path())
                               .toUtf8())) {
        m_error = u"cannot write "_s + config;
        return false;
    }
    m_process.start(u"dbus-daemon"_s, {u"--config-file="_s + config, u"--print-address=1"_s, u"--nofork"_s});
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) {
        m_error = u"dbus-daemon did not start: "_s + m_process.errorString();
        return false;
    }
    m_address = QString::fromUtf8(m_process.readLine().trimmed());
    return !m_address.isEmpty();
}

bool PrivateDBusDaemon::addActivatableService(const QString &name, const QString &command)
{
    return writeFile(m_dir.filePath(name + u".service"_s), u"[D-BUS Service]\nName=%1\nExec=%2\n"_s.arg(name, command).toUtf8());
}

} // namespace tessel::test
