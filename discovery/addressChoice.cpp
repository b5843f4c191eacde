#include "app/LensDesk.h"

#include "discovery/setIPDlg.h"
#include "link/pingWorker.h"

// "Connect to...": the pings would go unanswered while the operator picks
// another controller, so the monitor rests until the next connection.
void LensDesk::changeIP()
{
    if (motionWorker && livenessMonitor)
        livenessMonitor->pause();
    if (connectDialog)
        connectDialog->show();
}
