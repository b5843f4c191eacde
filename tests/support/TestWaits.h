#pragma once

#include <QString>
#include <QTest>

#include <cmath>

// The tests' waits, named once and stretched by one factor. A wait here is a
// bound, not a pause: a test waits for a signal, a datagram or a state and
// goes on as soon as it comes; only a quiet period (something must NOT
// happen within it) always runs to its end. Under the sanitizers everything
// runs several times slower, so every bound grows with the run's factor:
// LENSDESK_TEST_WAIT_FACTOR from the environment (scripts/common.sh sets it
// for the sanitizer stages), else the factor the tree was built with (3 in
// the sanitizer and fuzz trees, as their CTest time limits, 1 elsewhere).
namespace TestWaits {

inline double factor()
{
    static const double value = [] {
        bool ok = false;
        const double fromEnvironment = qEnvironmentVariable("LENSDESK_TEST_WAIT_FACTOR").toDouble(&ok);
        // A factor below 1 would only shorten bounds that hold on an idle machine.
        return ok && fromEnvironment >= 1.0 ? fromEnvironment : double(LENSDESK_TEST_WAIT_FACTOR);
    }();
    return value;
}

// `milliseconds` stretched by the factor.
inline int scaled(int milliseconds) { return int(std::lround(milliseconds * factor())); }

// A reply over loopback (the scripted controller's, the simulator's, the
// panel's to its controller) or the effect of one on a window: a datagram
// crosses loopback in well under a millisecond, a loaded machine holds it up
// for seconds.
inline int reply() { return scaled(5000); }
// An identification: the exchange takes a few hundred milliseconds; the
// panel itself gives up after six seconds.
inline int identify() { return scaled(5000); }
// A child process started and ready (the simulator bound and logging, a
// server listening, a program through its start).
inline int processStart() { return scaled(10000); }
// A quiet period: how long a test watches for something that must not come
// (a command after a refusal, a box after a cancel). Long enough for any
// reaction of the panel's own event loop or worker cycle.
inline int quiet() { return scaled(300); }

} // namespace TestWaits

// Qt's QTRY_VERIFY and QTRY_COMPARE, bounded by the reply wait.
#define TRY_VERIFY(expression) QTRY_VERIFY_WITH_TIMEOUT(expression, TestWaits::reply())
#define TRY_COMPARE(expression, expected) QTRY_COMPARE_WITH_TIMEOUT(expression, expected, TestWaits::reply())
