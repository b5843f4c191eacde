#pragma once

class QUdpSocket;

// The local end of the command exchange: the controller answers to the port
// it was asked from, and panel and command-line client alike ask from a
// random port from 60000 to 65000 on all local addresses.
namespace CommandPort {

constexpr int First = 60000;
constexpr int Span = 5001;

// The panel's receive buffer: a burst of reports (a controller reporting a
// long move, or several at once after a silence) waits there while the GUI
// thread is busy, instead of being dropped.
constexpr int PanelReceiveBufferBytes = 1 << 20;

// Binds `socket` to a random port of the range. Tries a bounded number of
// times; false when no port could be bound.
bool bindRandom(QUdpSocket& socket);

// Asks for a receive buffer of `bytes` for the bound `socket` and returns
// what the system granted. The system caps a request silently; a grant
// smaller than the request is reported on the toolkit's message log, with
// the setting that caps it.
int requestReceiveBuffer(QUdpSocket& socket, int bytes);

} // namespace CommandPort
