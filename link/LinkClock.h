#pragma once

#include <QtGlobal>

// The clock of the controller link's deadlines: milliseconds of a monotonic
// clock, unaffected by changes of the wall-clock time. The link's pieces take
// the time as an argument instead of reading it, so that their owners (an
// event loop, INDI's timer loop, a test) decide when "now" is.
namespace LinkClock {

qint64 now();

} // namespace LinkClock
