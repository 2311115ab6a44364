#include "ui/TerminationSignalNotifier.h"

#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace tessel {

namespace {

constexpr int handledSignals[] = {SIGTERM, SIGINT, SIGHUP};
// Read and write ends; file-scope because a signal handler can reach nothing else.
int g_pipe[2] = {-1, -1};

void writeSignalNumber(int signalNumber)
{
    const int savedErrno = errno;
    const auto byte = static_cast<unsigned char>(signalNumber);
    // A full pipe already holds a pending request: dropping this byte loses nothing.
    if (::write(g_pipe[1], &byte, 1) < 0) { }
    errno = savedErrno;
}

} // namespace

TerminationSignalNotifier::TerminationSignalNotifier(QObject *parent)
    : QObject(parent)
{
    Q_ASSERT(g_pipe[0] < 0);
    if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        qWarning("Cannot watch for termination signals: %s", strerror(errno));
        return;
    }
    m_notifier = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &TerminationSignalNotifier::readPipe);
    struct sigaction action
    {
    };
    action.sa_handler = writeSignalNumber;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART | SA_RESETHAND;
    for (std::size_t index = 0; index < std::size(handledSignals); ++index) {
        // A signal ignored at launch (nohup, a shell's background job) stays ignored.
        ::sigaction(handledSignals[index], nullptr, &m_previous[index]);
        if (m_previous[index].sa_handler != SIG_IGN)
            ::sigaction(handledSignals[index], &action, nullptr);
    }
}

TerminationSignalNotifier::~TerminationSignalNotifier()
{
    if (!m_notifier)
        return;
    // Handlers first: a signal arriving later must not write to a closed (or reused) descriptor.
    for (std::size_t index = 0; index < std::size(handledSignals); ++index)
        ::sigaction(handledSignals[index], &m_previous[index], nullptr);
    delete m_notifier;
    ::close(g_pipe[0]);
    ::close(g_pipe[1]);
    g_pipe[0] = g_pipe[1] = -1;
}

void TerminationSignalNotifier::readPipe()
{
    unsigned char bytes[16];
    const ssize_t count = ::read(g_pipe[0], bytes, sizeof bytes);
    if (count > 0)
        Q_EMIT terminationRequested(bytes[0]);
}

} // namespace tessel
