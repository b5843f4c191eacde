#include "app/LensDesk.h"

#include "admin/UpdateMode.h"
#include "base/EventWait.h"
#include "link/Protocol.h"
#include "link/pingWorker.h"

namespace {
constexpr int NormalFlagSettleMs = 10;
} // namespace

// Switches the controller into update mode. The liveness monitor is paused
// afterwards: the restarting controller answers no ping until the image is in.
//
// All three commands go to the controller connected when the handshake
// starts, the one the firmware dialog uploads to, even if the operator
// starts a connection to another one during the waits; so does the closing
// "setFLAG=99". A controller left waiting in update mode is stuck.
void LensDesk::sendFirmwareFlag()
{
    m_firmwareTarget = controllerAddress;
    for (const UpdateMode::Step& step : UpdateMode::Enter) {
        m_channel.send(m_firmwareTarget, QLatin1String(step.command));
        delayWithEvents(step.settleMs);
    }
    pauseLiveness();
}

// Tells the controller that no update is pending and counts it alive again.
void LensDesk::sendNoFirmwareFlag()
{
    m_channel.send(m_firmwareTarget.isEmpty() ? controllerAddress : m_firmwareTarget,
                   QLatin1String(Protocol::Command::FlagNormal));
    delayWithEvents(NormalFlagSettleMs);
    resumeLiveness();
}
