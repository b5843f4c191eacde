#include "app/LensDesk.h"

void LensDesk::changeIP() {}
