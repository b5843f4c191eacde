#pragma once

#include <QString>

// The checks the service dialog applies to a controller's factory identity
// before writing it back.
namespace IdentityChecks {

// The controller writes its MAC address as six decimal octets joined by "-"
// (0-17-34-51-68-85). White space anywhere is ignored; colons and
// hexadecimal digits are not this format.
bool isDecimalMac(const QString& text);

// Hardware versions fit the controller's one-byte field: a text that reads
// as a decimal number up to 255 (a text that is no number reads as 0).
bool isHardwareVersionAccepted(const QString& text);

// Serial numbers are issued from 15000 to 65535 (a text that is no number
// reads as 0 and is refused).
bool isSerialNumberAccepted(const QString& text);

} // namespace IdentityChecks
