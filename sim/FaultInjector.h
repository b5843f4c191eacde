#pragma once

#include <QRandomGenerator>

struct SimOptions;

// Seeded random faults on the command port: lost commands, lost answers,
// doubled answers and a fixed extra delay. The same seed and the same
// traffic give the same faults.
class FaultInjector
{
public:
    explicit FaultInjector(const SimOptions& options);

    quint32 seed() const { return m_seedValue; }
    bool loseIncoming() { return chance(m_lossIn); }
    bool loseOutgoing() { return chance(m_lossOut); }
    bool duplicateOutgoing() { return chance(m_duplicate); }
    int delayMs() const { return m_delay; }

private:
    bool chance(double rate) { return rate > 0.0 && m_random.generateDouble() < rate; }

    quint32 m_seedValue;
    QRandomGenerator m_random;
    double m_lossIn;
    double m_lossOut;
    double m_duplicate;
    int m_delay;
};
