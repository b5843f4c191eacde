#include "app/LensDesk.h"

#include "lens/zoomWorker.h"
#include "link/pingWorker.h"

void LensDesk::isORVOProduct(QString address)
{
    controllerAddress = address;
}

void LensDesk::initSettings() {}
void LensDesk::stopConnecting() {}
void LensDesk::pingError(QString) {}
void LensDesk::pingError2(QString) {}
void LensDesk::handleIdentification(const QString&) {}

void LensDesk::stopWorkers()
{
    if (livenessMonitor) {
        livenessMonitor->pause();
        livenessMonitor->requestStop();
        livenessMonitor->wait();
        delete livenessMonitor;
        livenessMonitor = nullptr;
    }
    if (motionWorker) {
        motionWorker->stopAndWait();
        delete motionWorker;
        motionWorker = nullptr;
    }
}
