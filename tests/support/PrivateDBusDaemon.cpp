#include "support/PrivateDBusDaemon.h"

#include <QFile>

using namespace Qt::Literals::StringLiterals;

namespace tessel::test {

PrivateDBusDaemon::PrivateDBusDaemon() = default;

PrivateDBusDaemon::~PrivateDBusDaemon()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.terminate();
        if (!m_process.waitForFinished(5000))
            m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool PrivateDBusDaemon::start()
{
    if (!m_dir.isValid()) {
        m_error = u"no temporary folder"_s;
        return false;
    }
    QFile config(m_dir.filePath(u"bus.conf"_s));
    if (!config.open(QIODevice::WriteOnly)) {
        m_error = config.errorString();
        return false;
    }
    config.write(u"<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                 " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                 "<busconfig><type>session</type><listen>unix:path=%1/bus</listen>"
                 "<servicedir>%1</servicedir>"
                 "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                 "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n"_s.arg(m_dir.path())
                     .toUtf8());
    config.close();
    m_process.start(u"dbus-daemon"_s, {u"--config-file="_s + config.fileName(), u"--print-address=1"_s, u"--nofork"_s});
    if (!m_process.waitForStarted(10000) || !m_process.waitForReadyRead(10000)) {
        m_error = u"dbus-daemon did not start: "_s + m_process.errorString();
        return false;
    }
    m_address = QString::fromUtf8(m_process.readLine().trimmed());
    return !m_address.isEmpty();
}

bool PrivateDBusDaemon::addActivatableService(const QString &name, const QString &command)
{
    QFile service(m_dir.filePath(name + u".service"_s));
    if (!service.open(QIODevice::WriteOnly))
        return false;
    service.write(u"[D-BUS Service]\nName=%1\nExec=%2\n"_s.arg(name, command).toUtf8());
    return true;
}

} // namespace tessel::test
