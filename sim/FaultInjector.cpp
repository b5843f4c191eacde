#include "sim/FaultInjector.h"

#include "sim/SimOptions.h"

FaultInjector::FaultInjector(const SimOptions& options)
    : m_seedValue(options.seedGiven ? options.seed : QRandomGenerator::system()->generate())
    , m_random(m_seedValue)
    , m_lossIn(options.lossIn)
    , m_lossOut(options.lossOut)
    , m_duplicate(options.duplicate)
    , m_delay(options.delayMs)
{ }
