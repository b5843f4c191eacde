#include "VirtualDisplay.h"
#include "TestWaits.h"

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

namespace {
// Xvfb writes the display number once it accepts clients; it starts in well
// under a second, even on a loaded machine.
constexpr int LongestDisplayNumber = 8;
} // namespace

VirtualDisplay::VirtualDisplay()
{
    int ready[2];
    if (pipe(ready) != 0)
        return;
    const std::string readyFd = std::to_string(ready[1]);
    const pid_t test = getpid();
    m_pid = fork();
    if (m_pid == 0) {
        // A test that crashes or aborts takes its server with it.
        if (prctl(PR_SET_PDEATHSIG, SIGTERM) != 0 || getppid() != test)
            _exit(1);
        close(ready[0]);
        const int quiet = open("/dev/null", O_WRONLY);
        if (quiet >= 0) {
            dup2(quiet, STDOUT_FILENO);
            dup2(quiet, STDERR_FILENO);
        }
        execlp("Xvfb", "Xvfb", "-displayfd", readyFd.c_str(), "-screen", "0", "1024x768x24", "-nolisten", "tcp", "-dpi",
               "96", static_cast<char*>(nullptr));
        _exit(127);
    }
    close(ready[1]);
    if (m_pid < 0) {
        close(ready[0]);
        return;
    }
    QByteArray number;
    pollfd waiting{ready[0], POLLIN, 0};
    char digit = 0;
    while (number.size() <= LongestDisplayNumber && poll(&waiting, 1, TestWaits::processStart()) > 0
           && read(ready[0], &digit, 1) == 1 && digit != '\n')
        number.append(digit);
    close(ready[0]);
    if (!number.isEmpty() && number.size() <= LongestDisplayNumber)
        m_name = ':' + number;
}

VirtualDisplay::~VirtualDisplay()
{
    if (m_pid <= 0)
        return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
}
