#include "app/LensDesk.h"

// Saved lens positions arrive with the lens controls.
void LensDesk::saveSettings() {}
void LensDesk::loadSettings() {}
void LensDesk::loadSetPointNow(QString) {}
void LensDesk::loadSetPointNow0() { loadSetPointNow(QStringLiteral("0")); }
void LensDesk::loadSetPointNow1() { loadSetPointNow(QStringLiteral("1")); }
void LensDesk::loadSetPointNow2() { loadSetPointNow(QStringLiteral("2")); }
void LensDesk::loadSetPointNow3() { loadSetPointNow(QStringLiteral("3")); }
void LensDesk::loadSetPointNow4() { loadSetPointNow(QStringLiteral("4")); }
void LensDesk::loadSetPointNow5() { loadSetPointNow(QStringLiteral("5")); }
void LensDesk::loadSetPointNow6() { loadSetPointNow(QStringLiteral("6")); }
void LensDesk::loadSetPointNow7() { loadSetPointNow(QStringLiteral("7")); }
void LensDesk::loadSetPointNow8() { loadSetPointNow(QStringLiteral("8")); }
void LensDesk::loadSetPointNow9() { loadSetPointNow(QStringLiteral("9")); }
void LensDesk::notgonnaloadFunc() {}
