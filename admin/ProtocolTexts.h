#pragma once

#include <QString>

// How the "Lens Protocol" submenu names the lens-bus framings. Firmware 1.9
// reworked the default framing into a universal one and added a third entry
// that keeps the old 1.8 timing; which firmware offers which framing is the
// connection exchange's rule (ConnectionExchange::offersProtocol).
namespace ProtocolTexts {

// The translated text of entry `index` (0 to 2) for recent or older firmware.
QString entryText(int index, bool recentFirmware);

// The translated tool tip of the submenu.
QString menuToolTip();

} // namespace ProtocolTexts
