#pragma once

// The panel's rule for telling that a controller has stopped answering, as a
// value: pings sent since the last proof of life are counted; past one the
// controller is late, past three it is lost. A lost controller is pinged at a
// slower pace until it answers; the first ping after a proof of life restores
// the normal pace.
//
// Proofs of life are the facts that ReplyFact::provesLife() names (the answer
// to "ping" among them). A zoom-range report counts as half an answer: it
// takes one ping off the count, which may go below zero.
//
// A plain value with no locking: the liveness monitor (pingWorker) guards its
// count itself, the controller link owns one on its single thread.
class LivenessCount
{
public:
    static constexpr int NormalPeriodMs = 600;
    static constexpr int SlowPeriodMs = 2000;
    // More unanswered pings than this in a row: the controller is lost.
    static constexpr int LostAfterMissedPings = 3;

    enum class Verdict {
        Answering, // at most one ping unanswered
        Late,      // more than one
        Lost,      // more than LostAfterMissedPings
    };

    // A ping has left: counts it, and returns what the count now says.
    Verdict pingSent();
    void proofOfLife() { m_missed = 0; }
    void halfAnswer() { --m_missed; }

    int missed() const { return m_missed; }
    Verdict verdict() const;
    bool isLost() const { return verdict() == Verdict::Lost; }

    // The time from one ping to the next.
    int periodMs() const { return m_periodMs; }
    // The pace for a controller that was found lost.
    void slowDown() { m_periodMs = SlowPeriodMs; }
    void setPeriodMs(int milliseconds) { m_periodMs = milliseconds; }

private:
    int m_missed = 0;
    int m_periodMs = NormalPeriodMs;
};
