#include "TestWaits.h"

#include <QString>
#include <QtGlobal>

#include <cmath>

#ifndef LENSDESK_TEST_WAIT_FACTOR
#define LENSDESK_TEST_WAIT_FACTOR 1
#endif

namespace TestWaits {

namespace {
constexpr int ReplyMs = 5000;
constexpr int IdentifyMs = 5000;
constexpr int ProcessStartMs = 10000;
constexpr int QuietMs = 300;
} // namespace

double factor()
{
    static const double value = [] {
        bool ok = false;
        const double fromEnvironment = qEnvironmentVariable("LENSDESK_TEST_WAIT_FACTOR").toDouble(&ok);
        // A factor below 1 would only shorten bounds that hold on an idle machine.
        return ok && fromEnvironment >= 1.0 ? fromEnvironment : double(LENSDESK_TEST_WAIT_FACTOR);
    }();
    return value;
}

int scaled(int milliseconds) { return int(std::lround(milliseconds * factor())); }

int reply() { return scaled(ReplyMs); }
int identify() { return scaled(IdentifyMs); }
int processStart() { return scaled(ProcessStartMs); }
int quiet() { return scaled(QuietMs); }

} // namespace TestWaits
