#include "app/LensDesk.h"

void LensDesk::setName() {}
void LensDesk::getName() {}
void LensDesk::setFocusTimeout() {}
void LensDesk::getFocusTimeout() {}
void LensDesk::focusReInit() {}
void LensDesk::rebootDevice() {}
void LensDesk::switchProtocol(bool) {}
void LensDesk::protoChosen(QAction*) {}
void LensDesk::buildProtocolMenu() {}
void LensDesk::updateProtocolTexts() {}
