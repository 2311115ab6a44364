#pragma once

#include <QProcess>
#include <QTemporaryDir>

namespace tessel::test {

// A session bus of the test's own: a dbus-daemon on a socket in a temporary folder, with
// a folder of activatable service files. Stopped when destroyed.
class PrivateDBusDaemon
{
public:
    PrivateDBusDaemon() = default;
    ~PrivateDBusDaemon();
    PrivateDBusDaemon(const PrivateDBusDaemon &) = delete;
    PrivateDBusDaemon &operator=(const PrivateDBusDaemon &) = delete;

    // Starts the daemon; false (with the reason in `error()`) when it did not come up in 10 s.
    bool start();
    // Makes `name` activatable by running `command` when something calls it; call before start().
    bool addActivatableService(const QString &name, const QString &command);

    QString address() const { return m_address; }
    QString error() const { return m_error; }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    QString m_address;
    QString m_error;
};

} // namespace tessel::test
