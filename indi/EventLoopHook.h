#pragma once

#include <QtGlobal>

#include <functional>

// The driver's link to INDI's own event loop, which runs the whole driver on
// one thread: a descriptor to watch for datagrams and one timer for the next
// deadline the controller link or the focuser has (the next ping, probe,
// time limit). Nothing here waits; both fire from the loop.
//
// Deadlines are times of the link's monotonic clock (LinkClock::now()), so
// the caller passes the current time along.
class EventLoopHook
{
public:
    using Handler = std::function<void()>;

    EventLoopHook() = default;
    ~EventLoopHook();
    EventLoopHook(const EventLoopHook&) = delete;
    EventLoopHook& operator=(const EventLoopHook&) = delete;

    // Calls `onReadable` whenever `descriptor` has something to read, and
    // `onDeadline` when the time given to schedule() has come.
    void watch(int descriptor, Handler onReadable, Handler onDeadline);
    // Forgets the descriptor and the deadline.
    void release();
    bool isWatching() const { return m_callbackId >= 0; }

    // The one pending deadline: replaces any earlier one; -1 clears it.
    void schedule(qint64 deadline, qint64 now);

private:
    static void descriptorReadable(int descriptor, void* hook);
    static void deadlineReached(void* hook);
    void cancelTimer();

    Handler m_onReadable;
    Handler m_onDeadline;
    int m_callbackId = -1;
    int m_timerId = -1;
};
