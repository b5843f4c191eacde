#include "base/SignalWatcher.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>

#include <fcntl.h>
#include <unistd.h>

namespace {

// Written by the handler only; 0 and 1 are the pipe's ends.
int signalPipe[2] = {-1, -1};

extern "C" void onSignal(int number)
{
    const int savedErrno = errno;
    const unsigned char byte = static_cast<unsigned char>(number);
    // Nothing to do if the pipe is full: signals are waiting already.
    [[maybe_unused]] const ssize_t written = ::write(signalPipe[1], &byte, 1);
    errno = savedErrno;
}

void handle(int number, int flags)
{
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    ::sigaction(number, &action, nullptr);
}

} // namespace

SignalWatcher::SignalWatcher(const QVector<int>& stopSignals, const QVector<int>& otherSignals, QObject* parent)
    : QObject(parent)
    , m_stopSignals(stopSignals)
    , m_otherSignals(otherSignals)
{
    if (::pipe2(signalPipe, O_CLOEXEC | O_NONBLOCK) != 0)
        return;
    m_notifier = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &SignalWatcher::readPipe);
    for (int number : m_stopSignals)
        handle(number, SA_RESETHAND);
    for (int number : m_otherSignals)
        handle(number, SA_RESTART);
}

SignalWatcher::~SignalWatcher()
{
    for (const QVector<int>* numbers : {&m_stopSignals, &m_otherSignals}) {
        for (int number : *numbers)
            ::signal(number, SIG_DFL);
    }
    delete m_notifier;
    for (int& end : signalPipe) {
        if (end >= 0)
            ::close(end);
        end = -1;
    }
}

void SignalWatcher::readPipe()
{
    unsigned char byte = 0;
    while (::read(signalPipe[0], &byte, 1) == 1) {
        const int number = byte;
        if (!m_stopSignals.contains(number)) {
            emit received(number);
        } else if (m_stopSignal == 0) {
            m_stopSignal = number;
            emit stopRequested(number);
        }
    }
}
