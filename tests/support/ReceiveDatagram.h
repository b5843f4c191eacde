#pragma once

#include "TestWaits.h"

#include <QByteArray>
#include <QHostAddress>

class QUdpSocket;

// The next datagram that reaches `socket`, waiting up to `timeoutMs` for
// one; empty when none came. `from` and `port` receive its sender.
QByteArray receiveDatagram(QUdpSocket& socket, QHostAddress* from = nullptr, quint16* port = nullptr,
                           int timeoutMs = TestWaits::reply());
