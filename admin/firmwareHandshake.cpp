#include "app/LensDesk.h"

void LensDesk::sendFirmwareFlag() {}
void LensDesk::sendNoFirmwareFlag() {}
