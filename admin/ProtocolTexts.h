#pragma once

#include <QString>

// The lens-bus framings a controller offers and how the "Lens Protocol"
// submenu names them. Firmware 1.9 reworked the default framing into a
// universal one and added a third entry that keeps the old 1.8 timing; older
// firmware knows only the first two (VersionRules::isRecentFirmware tells
// them apart).
namespace ProtocolTexts {

constexpr int ProtocolCount = 3;

// The translated text of entry `index` (0 to 2) for recent or older firmware.
QString entryText(int index, bool recentFirmware);

// Whether entry `index` is offered at all.
bool isEntryVisible(int index, bool recentFirmware);

// The translated tool tip of the submenu.
QString menuToolTip();

} // namespace ProtocolTexts
