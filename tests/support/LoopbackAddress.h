#pragma once

#include <QHostAddress>

// Loopback addresses of this test process alone. All of 127.0.0.0/8 reaches
// the host itself on Linux; every process takes the /24 127.A.B.0 made from
// its process id (A from 128 to 255, B from 0 to 255), so the test programs
// of two checkouts running on one machine at the same time never bind the
// same address and port. The host's own 127.0.0.1 and 127.0.1.1 are never
// part of it.
namespace LoopbackAddress {

// Host `lastOctet` (1 to 254) of this process's network, for a test that
// needs a particular address or neighbouring ones (an address change). Keep
// such hosts below FirstHandedOut.
QHostAddress host(int lastOctet);

// A host of this process's network not handed out before (FirstHandedOut to
// LastHandedOut, then round again): for a peer that needs an address of its
// own and nothing more.
QHostAddress next();

constexpr int FirstHandedOut = 100;
constexpr int LastHandedOut = 249;

} // namespace LoopbackAddress
