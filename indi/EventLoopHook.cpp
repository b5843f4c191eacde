#include "indi/EventLoopHook.h"

#include <indidevapi.h>

namespace {
// Longer than any deadline of the link; it keeps the delay in an int.
constexpr int LongestDelayMs = 24 * 3600 * 1000;
} // namespace

EventLoopHook::~EventLoopHook() { release(); }

void EventLoopHook::watch(int descriptor, Handler onReadable, Handler onDeadline)
{
    release();
    m_onReadable = std::move(onReadable);
    m_onDeadline = std::move(onDeadline);
    m_callbackId = IEAddCallback(descriptor, &EventLoopHook::descriptorReadable, this);
}

void EventLoopHook::release()
{
    cancelTimer();
    if (m_callbackId >= 0)
        IERmCallback(m_callbackId);
    m_callbackId = -1;
}

void EventLoopHook::schedule(qint64 deadline, qint64 now)
{
    cancelTimer();
    if (deadline < 0 || m_callbackId < 0)
        return;
    // INDI's timers take whole milliseconds from now; a deadline already due
    // runs on the loop's next turn.
    const qint64 delay = qBound(qint64(0), deadline - now, qint64(LongestDelayMs));
    m_timerId = IEAddTimer(int(delay), &EventLoopHook::deadlineReached, this);
}

void EventLoopHook::cancelTimer()
{
    if (m_timerId >= 0)
        IERmTimer(m_timerId);
    m_timerId = -1;
}

void EventLoopHook::descriptorReadable(int, void* hook)
{
    auto* self = static_cast<EventLoopHook*>(hook);
    self->m_onReadable();
}

void EventLoopHook::deadlineReached(void* hook)
{
    auto* self = static_cast<EventLoopHook*>(hook);
    // A timer that fired is gone from the loop's list.
    self->m_timerId = -1;
    self->m_onDeadline();
}
