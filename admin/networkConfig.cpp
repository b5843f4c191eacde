#include "app/LensDesk.h"

void LensDesk::changeIPAddress() {}
void LensDesk::updateIPSettings(QString, QString, QString) {}
void LensDesk::setDHCP() {}
