#pragma once

#include <QByteArray>

#include <sys/types.h>

// A private X server (Xvfb) for tests that need real X11 input: it picks a
// free display number itself (-displayfd), so runs side by side never meet,
// and it is stopped, by its process id, when the object goes, or by the
// kernel when the test process dies. Create it before the application
// object, then point the toolkit at name().
class VirtualDisplay
{
public:
    VirtualDisplay();
    ~VirtualDisplay();
    VirtualDisplay(const VirtualDisplay&) = delete;
    VirtualDisplay& operator=(const VirtualDisplay&) = delete;

    // ":N" once the server accepts clients; empty when it did not start.
    QByteArray name() const { return m_name; }

private:
    pid_t m_pid = -1;
    QByteArray m_name;
};
