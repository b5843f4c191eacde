#include "link/LinkClock.h"

#include <chrono>

namespace LinkClock {

qint64 now()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

} // namespace LinkClock
