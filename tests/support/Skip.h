#pragma once

#include <QString>
#include <QTest>

// Skips the rest of the test function when `unavailableReason` (an
// expression giving why something the test needs is missing here) is not
// empty, with that reason. scripts/test lists every skip, and fails in CI
// on one that CI could have run.
#define SKIP_IF_UNAVAILABLE(unavailableReason)                                                                         \
    do {                                                                                                               \
        const QString lensdeskSkipReason = (unavailableReason);                                                        \
        if (!lensdeskSkipReason.isEmpty())                                                                             \
            QSKIP(qPrintable(lensdeskSkipReason));                                                                     \
    } while (false)
