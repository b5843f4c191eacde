#include "app/LensDesk.h"

#include "admin/UpdateMode.h"
#include "app/EventWait.h"
#include "link/Protocol.h"
#include "link/pingWorker.h"

namespace {
constexpr int NormalFlagSettleMs = 10;
} // namespace

// Switches the controller into update mode. The liveness monitor is paused
// afterwards: the restarting controller answers no ping until the image is in.
void LensDesk::sendFirmwareFlag()
{
    for (const UpdateMode::Step& step : UpdateMode::Enter) {
        sendToController(QLatin1String(step.command));
        delayWithEvents(step.settleMs);
    }
    pauseLiveness();
}

// Tells the controller that no update is pending and counts it alive again.
void LensDesk::sendNoFirmwareFlag()
{
    sendToController(QLatin1String(Protocol::Command::FlagNormal));
    delayWithEvents(NormalFlagSettleMs);
    resumeLiveness();
}
