#pragma once

// The one mapping between a focuser client's positions and the lens's focus
// counts, shared by the INDI driver and the Alpaca server.
//
// The controller reports the focus travel as two motor counts ("fRange=a,b",
// the far end first); the ends need not start at 0 and may come in either
// order. Clients see positions from 0 to maxStep = |b - a|: position p is
// count min(a, b) + p, so positions run the way the counts do. Positions and
// counts outside the travel are taken to its nearest end.
class FocusScale
{
public:
    // No range reported yet: maxStep 0, and nothing is known.
    FocusScale() = default;
    FocusScale(int oneEnd, int otherEnd);

    bool isKnown() const { return m_known; }
    int maxStep() const { return m_maxStep; }
    int lowestCount() const { return m_lowestCount; }
    bool contains(int position) const { return m_known && position >= 0 && position <= m_maxStep; }

    int countFor(int position) const;
    int positionOf(int count) const;

private:
    bool m_known = false;
    int m_lowestCount = 0;
    int m_maxStep = 0;
};
