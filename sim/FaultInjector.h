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

    quint32 seed() const { return seedValue; }
    bool loseIncoming() { return chance(lossIn); }
    bool loseOutgoing() { return chance(lossOut); }
    bool duplicateOutgoing() { return chance(duplicate); }
    int delayMs() const { return delay; }

private:
    bool chance(double rate) { return rate > 0.0 && random.generateDouble() < rate; }

    quint32 seedValue;
    QRandomGenerator random;
    double lossIn;
    double lossOut;
    double duplicate;
    int delay;
};
