#include "link/LivenessCount.h"

LivenessCount::Verdict LivenessCount::pingSent()
{
    ++m_missed;
    // The first ping since a proof of life: whatever pace a loss set, the
    // controller has answered since.
    if (m_missed == 1)
        m_periodMs = NormalPeriodMs;
    return verdict();
}

LivenessCount::Verdict LivenessCount::verdict() const
{
    if (m_missed > LostAfterMissedPings)
        return Verdict::Lost;
    return m_missed > 1 ? Verdict::Late : Verdict::Answering;
}
