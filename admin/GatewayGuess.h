#pragma once

#include <QString>

// The default gateway the change-IP dialog proposes for a new address and
// mask: the network part of the address with host number 1, the usual place
// of a router on the small networks the controllers live on.
namespace GatewayGuess {

// "%1.%2.%3.%4" with each octet address AND mask, the last one plus 1; empty
// when the address or the mask is not a dotted quad.
QString guess(const QString& address, const QString& mask);

} // namespace GatewayGuess
