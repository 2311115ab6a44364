#pragma once

#include <QObject>

#include <csignal>

class QSocketNotifier;

namespace tessel {

// Turns SIGTERM, SIGINT and SIGHUP into a Qt signal in the event loop of the thread that
// created this object. The POSIX handler only writes the signal number to a pipe (which is
// safe in a handler, on whichever thread the signal lands); a socket notifier reads it. Each
// handler resets itself when it runs, so the same signal sent again ends the process at once,
// as it would without this object. One instance per process; the destructor restores the
// previous handlers.
class TerminationSignalNotifier : public QObject
{
    Q_OBJECT

public:
    explicit TerminationSignalNotifier(QObject *parent = nullptr);
    ~TerminationSignalNotifier() override;

Q_SIGNALS:
    void terminationRequested(int signalNumber);

private:
    void readPipe();

    QSocketNotifier *m_notifier = nullptr;
    struct sigaction m_previous[3] = {};
};

} // namespace tessel
