#include "app/LensDesk.h"

void LensDesk::readUDPDatagrams() {}
void LensDesk::handleReply(QString) {}
