#pragma once

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
// directly on the descriptor, which leaves the QUdpSocket, read only by the
// GUI thread, untouched; one process-wide lock keeps the senders in a strict
// order. Every datagram leaves inside send(), so there is nothing to flush.
class CommandChannel
{
public:
    CommandChannel() = default;
    explicit CommandChannel(const QUdpSocket* socket);

    bool isOpen() const { return m_descriptor >= 0; }

    // Sends `text` to `address`, port 1339. Thread-safe. The result is not
    // reported: the protocol has no acknowledgement and lost commands are
    // covered by the senders' waits and the liveness monitor.
    void send(const QHostAddress& address, const QString& text) const;
    void send(const QString& dottedQuad, const QString& text) const;

private:
    qintptr m_descriptor = -1;
    bool m_ipv6 = false;
};
