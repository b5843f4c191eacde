#pragma once

#include "link/Protocol.h"

#include <QHostAddress>
#include <QString>

class QUdpSocket;

// The one way a command leaves the panel: one Latin-1 text, exactly its bytes
// (no terminator), in one UDP datagram to the controller's port 1339, from the
// main window's bound command socket, so that the answers come back to it.
//
// The GUI thread, the motion worker and the liveness monitor all send this
// way. A channel is built on the socket's own thread (it reads the socket's
// descriptor and address family once) and is then immutable: send() may be
// called from any thread. The datagram is handed to the operating system
// directly on the descriptor (RawSocket), which leaves the QUdpSocket, read
// only by the GUI thread, untouched; one process-wide lock keeps the senders
// in a strict order. Every datagram leaves inside send(), so there is nothing
// to flush.
class CommandChannel
{
public:
    CommandChannel() = default;
    explicit CommandChannel(const QUdpSocket* socket);

    bool isOpen() const { return m_descriptor >= 0; }
    // The address family of the socket's descriptor (AF_INET or AF_INET6),
    // in which the destination is written; 0 for a channel without socket.
    int addressFamily() const { return m_family; }

    // Sends `text` to `address`, port 1339 unless another is named (a
    // controller behind a port forward, a simulated one). Thread-safe. Nothing waits for an
    // answer: the protocol has none for most commands, and lost ones are
    // covered by the senders' waits and the liveness monitor. A datagram the
    // operating system refuses is reported on the toolkit's message log, once
    // for a run of failures with the same cause (a controller lost behind a
    // downed interface would otherwise fill the log 25 times a second).
    void send(const QHostAddress& address, const QString& text, quint16 port = Protocol::ControllerPort) const;
    void send(const QString& dottedQuad, const QString& text, quint16 port = Protocol::ControllerPort) const;

private:
    qintptr m_descriptor = -1;
    int m_family = 0;
};
