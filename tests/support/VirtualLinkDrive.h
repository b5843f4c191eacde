#pragma once

#include <QtGlobal>

#include <functional>

class ControllerLink;
class ScriptedController;

// Drives a controller link the way a program without an event loop of the
// link's own does (INDI's timer loop): advance at each deadline, read what
// came. The clock is the test's: virtual milliseconds that jump from
// deadline to deadline, while the scripted controller answers in real time
// on the test's thread between the steps. So a test of the liveness rule or
// of a move's time limit takes no longer than its datagrams.
class VirtualLinkDrive
{
public:
    using Advance = std::function<qint64(qint64 now)>;

    // `advance` is what the owner advances: the link itself by default, or a
    // FocuserSession on it.
    VirtualLinkDrive(ControllerLink& link, ScriptedController& controller, Advance advance = {});

    qint64 now() const { return m_now; }

    // Steps until `done` holds after a step, the virtual time would pass
    // `forMs` from now, or nothing is planned any more; returns whether
    // `done` holds.
    bool until(const std::function<bool()>& done, qint64 forMs);
    // Steps until nothing is planned within `forMs`.
    void settle(qint64 forMs)
    {
        until([] { return false; }, forMs);
    }

private:
    ControllerLink& m_link;
    ScriptedController& m_controller;
    Advance m_advance;
    qint64 m_now = 1000000;
};
