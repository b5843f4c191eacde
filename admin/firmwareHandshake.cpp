#include "app/LensDesk.h"

#include "app/EventWait.h"
#include "link/Protocol.h"
#include "link/pingWorker.h"

namespace {
// The controller needs these pauses to take each command before the next;
// after "Restart" it is already rebooting into its boot loader.
constexpr int FlagSettleMs = 20;
constexpr int RestartSettleMs = 400;
constexpr int NormalFlagSettleMs = 10;
} // namespace

// Switches the controller into update mode. The liveness monitor is paused
// afterwards: the restarting controller answers no ping until the image is in.
void LensDesk::sendFirmwareFlag()
{
    sendToController(QLatin1String(Protocol::Command::FlagUpdate));
    delayWithEvents(FlagSettleMs);
    sendToController(QLatin1String(Protocol::Command::FirmwareNetInit));
    delayWithEvents(FlagSettleMs);
    sendToController(QLatin1String(Protocol::Command::RestartForUpdate));
    delayWithEvents(RestartSettleMs);
    pauseLiveness();
}

// Tells the controller that no update is pending and counts it alive again.
void LensDesk::sendNoFirmwareFlag()
{
    sendToController(QLatin1String(Protocol::Command::FlagNormal));
    delayWithEvents(NormalFlagSettleMs);
    resumeLiveness();
}
