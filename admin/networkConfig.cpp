#include "app/LensDesk.h"

#include "admin/AddressChange.h"
#include "admin/changeIPDlg.h"
#include "base/EventWait.h"
#include "lens/zoomWorker.h"
#include "link/Protocol.h"
#include "link/pingWorker.h"

#include <QInputDialog>
#include <QMessageBox>

namespace {
// Pacing of the settings queries: the answers are dispatched into the
// dialog during these waits, so it opens with the current values filled in.
constexpr int AddressQueryWaitMs = 200;
constexpr int MaskQueryWaitMs = 200;
constexpr int GatewayQueryWaitMs = 300;
constexpr int DhcpCommandWaitMs = 20;
// Shown untranslated: the wording of the adapter listing's failure report.
const char* const ListingErrorTitle = "File error";
const char* const ListingErrorText = "GetAdaptersInfo failed with error:  = %1";
} // namespace

void LensDesk::changeIPAddress()
{
    sendToController(QLatin1String(Protocol::Command::GetAddress));
    delayWithEvents(AddressQueryWaitMs);
    sendToController(QLatin1String(Protocol::Command::GetMask));
    delayWithEvents(MaskQueryWaitMs);
    sendToController(QLatin1String(Protocol::Command::GetGateway));
    delayWithEvents(GatewayQueryWaitMs);
    changeIPDialog->show();
}

void LensDesk::updateIPSettings(QString address, QString mask, QString gateway)
{
    // The pings would interleave with the change commands; the monitor rests
    // until the reboot has been ordered.
    pauseLiveness();
    AddressChange::Means means;
    means.send = [this](const QString& command) { sendToController(command); };
    means.wait = delayWithEvents;
    means.commandsSent = [this, &address] {
        resumeLiveness();
        controllerAddress = address;
    };
    means.flushAddressCache = [this] {
        const int listingError = m_flushAddressResolutionCache();
        if (listingError != 0)
            QMessageBox::information(this, QLatin1String(ListingErrorTitle),
                                     QString::fromLatin1(ListingErrorText).arg(listingError));
    };
    AddressChange(address, mask, gateway).run(means);

    isORVOProduct(address);
    if (m_motionWorker) {
        m_motionWorker->retarget(address, commandSocket);
        keepDispatcherSoleReader();
    }
}

void LensDesk::setDHCP()
{
    const QStringList choices = {tr("Enable"), tr("Disable")};
    bool accepted = false;
    const QString choice = QInputDialog::getItem(this, tr("DHCP"), tr("Set DHCP:"), choices, 0, false, &accepted);
    if (!accepted || choice.isEmpty())
        return;
    const bool enable = choice == choices.first();
    sendToController(QLatin1String(enable ? Protocol::Command::DhcpOn : Protocol::Command::DhcpOff));
    delayWithEvents(DhcpCommandWaitMs);
}
