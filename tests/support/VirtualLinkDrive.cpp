#include "VirtualLinkDrive.h"

#include "ScriptedController.h"

#include "link/ControllerLink.h"

namespace {
// Far more steps than any test's deadlines: a loop that would not end.
constexpr int MaximumSteps = 10000;
} // namespace

VirtualLinkDrive::VirtualLinkDrive(ControllerLink& link, ScriptedController& controller, Advance advance)
    : m_link(link)
    , m_controller(controller)
    , m_advance(advance ? std::move(advance) : Advance([&link](qint64 now) { return link.advance(now); }))
{ }

bool VirtualLinkDrive::until(const std::function<bool()>& done, qint64 forMs)
{
    const qint64 end = m_now + forMs;
    for (int step = 0; step < MaximumSteps; ++step) {
        m_advance(m_now);
        // Everything sent so far has reached the controller, and its answers
        // wait in the link's socket.
        m_controller.receivedUntilNow();
        while (m_link.readAvailable(m_now)) {
        }
        if (done())
            return true;
        const qint64 next = m_advance(m_now);
        if (next < 0 || next > end)
            return false;
        // Everything due by now has been done: a deadline that is not in the
        // future is a fault of the code driven, which would never advance.
        if (next <= m_now) {
            qWarning("The deadline %lld is not after the time %lld it was returned at.", next, m_now);
            return false;
        }
        m_now = next;
    }
    return false;
}
