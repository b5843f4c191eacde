#pragma once

// Waits `milliseconds` of elapsed time on the calling (GUI) thread while the
// toolkit keeps handling events: replies are dispatched, timers fire and the
// window repaints during the wait. The thread sleeps while nothing happens.
void delayWithEvents(int milliseconds);
