#pragma once

// The tests' waits, named once and stretched by one factor. A wait here is a
// bound, not a pause: a test waits for a signal, a datagram or a state and
// goes on as soon as it comes; only a quiet period (something must NOT
// happen within it) always runs to its end. Under the sanitizers everything
// runs several times slower, so every bound grows with the run's factor:
// LENSDESK_TEST_WAIT_FACTOR from the environment (scripts/common.sh sets it
// for the sanitizer stages), else the factor the tree was built with (3 in
// the sanitizer and fuzz trees, as their CTest time limits, 1 elsewhere).
namespace TestWaits {

double factor();
// `milliseconds` stretched by the factor.
int scaled(int milliseconds);

// A reply over loopback (the scripted controller's, the simulator's, the
// panel's to its controller) or the effect of one on a window: a datagram
// crosses loopback in well under a millisecond, a loaded machine holds it up
// for seconds.
int reply();
// An identification: the exchange takes a few hundred milliseconds; the
// panel itself gives up after six seconds.
int identify();
// A child process started and ready (the simulator bound and logging, a
// server listening, a program through its start).
int processStart();
// A quiet period: how long a test watches for something that must not come
// (a command after a refusal, a box after a cancel). Long enough for any
// reaction of the panel's own event loop or worker cycle.
int quiet();

} // namespace TestWaits
