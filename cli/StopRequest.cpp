#include "cli/StopRequest.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler only; 0 and 1 are the pipe's ends.
int stopPipe[2] = {-1, -1};

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

extern "C" void onStopSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing to do if the pipe is full: a stop is already pending.
    [[maybe_unused]] const ssize_t written = ::write(stopPipe[1], &byte, 1);
    errno = savedErrno;
}

} // namespace

StopRequest::StopRequest(QObject* parent)
    : QObject(parent)
{
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(stopPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &StopRequest::readPipe);
    struct sigaction action = {};
    action.sa_handler = onStopSignal;
    sigemptyset(&action.sa_mask);
    // The handler gives way to the default after its first call: a second
    // Ctrl+C ends a program that does not stop in time. No SA_RESTART, so a
    // read waiting on the terminal returns at once.
    action.sa_flags = SA_RESETHAND;
    for (int number : Signals)
        ::sigaction(number, &action, nullptr);
}

StopRequest::~StopRequest()
{
    for (int number : Signals)
        ::signal(number, SIG_DFL);
    delete m_notifier;
    for (int& end : stopPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void StopRequest::readPipe()
{
    unsigned char byte = 0;
    while (::read(stopPipe[0], &byte, 1) == 1) {
        if (m_signal == 0) {
            m_signal = byte;
            emit requested(m_signal);
        }
    }
}
