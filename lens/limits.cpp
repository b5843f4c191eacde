#include "app/LensDesk.h"

// The limit finder arrives with the lens controls.
void LensDesk::findLimits() {}
void LensDesk::updateZoomStep(int) {}
void LensDesk::updateFocusStep(int) {}
void LensDesk::updateIrisStep(int) {}
