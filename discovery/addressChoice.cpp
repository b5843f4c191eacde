#include "app/LensDesk.h"

#include "discovery/setIPDlg.h"
#include "link/pingWorker.h"

// "Connect to...": the pings would go unanswered while the operator picks
// another controller, so the monitor rests until the next connection.
void LensDesk::changeIP()
{
    if (m_motionWorker && m_livenessMonitor)
        m_livenessMonitor->pause();
    if (m_connectDialog)
        m_connectDialog->show();
}
