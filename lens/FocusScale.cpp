#include "lens/FocusScale.h"

#include <QtGlobal>

#include <algorithm>
#include <limits>

FocusScale::FocusScale(int oneEnd, int otherEnd)
    : m_known(true)
    , m_lowestCount(std::min(oneEnd, otherEnd))
{
    // Counts come from the network: a span beyond what a position can hold
    // is cut, never wrapped.
    const qint64 span = qint64(std::max(oneEnd, otherEnd)) - m_lowestCount;
    m_maxStep = int(std::min<qint64>(span, std::numeric_limits<int>::max()));
}

int FocusScale::countFor(int position) const { return m_lowestCount + qBound(0, position, m_maxStep); }

int FocusScale::positionOf(int count) const
{
    return int(qBound(qint64(0), qint64(count) - m_lowestCount, qint64(m_maxStep)));
}
