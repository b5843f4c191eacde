#include "sim/FaultInjector.h"

#include "sim/SimOptions.h"

FaultInjector::FaultInjector(const SimOptions& options)
    : seedValue(options.seedGiven ? options.seed : QRandomGenerator::system()->generate())
    , random(seedValue)
    , lossIn(options.lossIn)
    , lossOut(options.lossOut)
    , duplicate(options.duplicate)
    , delay(options.delayMs)
{
}
