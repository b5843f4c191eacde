#pragma once

#include <QString>
#include <QVector>
#include <QtGlobal>

// Whether an IPv4 address can stand for one controller. Every command goes
// to one device and its answer comes back from that device's address, so an
// address that names no single host, or every host of a network, is refused
// before anything is sent: 0.0.0.0 ("this host"), the limited broadcast
// 255.255.255.255, multicast (224.0.0.0/4), the reserved 240.0.0.0/4, and
// the directed broadcast of any network this host is on.
namespace TargetAddress {

// Why the address (host order) cannot stand for a controller, as a phrase
// without a full stop ("it is a multicast address"); empty when it can.
QString problem(quint32 address);

// The directed broadcast addresses of this host's IPv4 networks.
QVector<quint32> localBroadcasts();

} // namespace TargetAddress
