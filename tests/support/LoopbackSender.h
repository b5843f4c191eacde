#pragma once

#include <QByteArray>
#include <QtGlobal>

// A plain UDP socket bound to one local address (a controller's, on
// loopback) that sends to ports on 127.0.0.1, where the panel's and the
// client's command sockets listen. No toolkit object: a test's own thread
// may flood with it while the thread under test runs its event loop.
class LoopbackSender
{
public:
    explicit LoopbackSender(const QByteArray& fromAddress);
    ~LoopbackSender();
    LoopbackSender(const LoopbackSender&) = delete;
    LoopbackSender& operator=(const LoopbackSender&) = delete;

    bool isOpen() const { return m_descriptor >= 0; }
    // True when the whole datagram left.
    bool send(const QByteArray& datagram, quint16 port) const;

private:
    int m_descriptor = -1;
};
