#pragma once

#include "TestWaits.h"

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QUdpSocket>

// The panel's side of a conversation with the simulated controller: one UDP
// socket on 127.0.0.1 that sends commands to the simulator's port and
// collects everything that comes back.
class SimClient
{
public:
    SimClient();

    void send(const QHostAddress& to, const QByteArray& command, quint16 port = 1339);
    // Answers received so far (and newly arrived ones), oldest first.
    QList<QByteArray>& answers();
    // Waits until an answer beginning with `prefix` has arrived; returns
    // it, or an empty array after the time-out.
    QByteArray waitFor(const QByteArray& prefix, int timeoutMs = TestWaits::reply());
    // Collects for `ms` and returns what arrived (for "no answer" checks).
    QList<QByteArray> collectFor(int ms);
    void clear() { m_received.clear(); }

private:
    void drain();

    QUdpSocket m_socket;
    QList<QByteArray> m_received;
};
