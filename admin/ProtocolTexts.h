#pragma once

#include <QString>

// The lens-bus framings a controller offers and how the "Lens Protocol"
// submenu names them. Firmware 1.9 reworked the default framing into a
// universal one and added a third entry that keeps the old 1.8 timing; older
// firmware knows only the first two.
namespace ProtocolTexts {

constexpr int ProtocolCount = 3;

// Whether the version text (for example "1.9.0 (BL1.2)") names firmware 1.9
// or later. Only the part before the first blank counts; a text without
// major and minor number is not recent.
bool isRecentFirmware(const QString& firmwareVersion);

// The translated text of entry `index` (0 to 2) for recent or older firmware.
QString entryText(int index, bool recentFirmware);

// Whether entry `index` is offered at all.
bool isEntryVisible(int index, bool recentFirmware);

// The translated tool tip of the submenu.
QString menuToolTip();

} // namespace ProtocolTexts
