#include "sim/CommandPort.h"

#include "sim/FaultInjector.h"
#include "sim/SimLog.h"

#include <QNetworkDatagram>

CommandPort::CommandPort(SimLog& log, FaultInjector& faults, int gapMs, QObject* parent)
    : QObject(parent)
    , log(log)
    , faults(faults)
    , gap(gapMs)
{
    clock.start();
    drainTimer.setSingleShot(true);
    connect(&drainTimer, &QTimer::timeout, this, &CommandPort::drain);
}

bool CommandPort::bind(const QHostAddress& address, quint16 port, QString* error)
{
    // The old socket goes first: the new address may overlap it (0.0.0.0).
    const QHostAddress previousAddress = boundAddress;
    const quint16 previousPort = boundPort;
    delete socket;
    socket = new QUdpSocket(this);
    connect(socket, &QUdpSocket::readyRead, this, [this] { readPending(socket); });
    if (socket->bind(address, port)) {
        boundAddress = address;
        boundPort = port;
        listenForBroadcasts(port);
        return true;
    }
    if (error)
        *error = socket->errorString();
    if (previousPort != 0)
        socket->bind(previousAddress, previousPort);
    return false;
}

void CommandPort::listenForBroadcasts(quint16 port)
{
    delete broadcastSocket;
    broadcastSocket = nullptr;
    if (boundAddress.isLoopback() || boundAddress == QHostAddress(QHostAddress::AnyIPv4))
        return;
    broadcastSocket = new QUdpSocket(this);
    connect(broadcastSocket, &QUdpSocket::readyRead, this, [this] { readPending(broadcastSocket); });
    if (!broadcastSocket->bind(QHostAddress(QHostAddress::Broadcast), port,
                               QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        log.event(QStringLiteral("broadcasts to port %1 cannot be heard: %2").arg(port).arg(broadcastSocket->errorString()));
        delete broadcastSocket;
        broadcastSocket = nullptr;
    }
}

void CommandPort::setMuted(const QString& reason)
{
    muteReason = reason;
    if (isMuted()) {
        queue.clear();
        drainTimer.stop();
    }
}

void CommandPort::readPending(QUdpSocket* from)
{
    while (from->hasPendingDatagrams()) {
        const QNetworkDatagram datagram = from->receiveDatagram();
        const Peer peer{datagram.senderAddress(), quint16(datagram.senderPort())};
        if (!peer.isValid())
            continue;
        if (isMuted()) {
            log.traffic("drop", peer.toString() + QStringLiteral(" (%1)").arg(muteReason), datagram.data());
        } else if (faults.loseIncoming()) {
            log.traffic("drop", peer.toString() + QStringLiteral(" (lost in)"), datagram.data());
        } else {
            log.traffic("rx", peer.toString(), datagram.data());
            emit received(datagram.data(), peer, datagram.destinationAddress());
        }
    }
}

void CommandPort::send(const Peer& peer, const QByteArray& answer)
{
    if (isMuted()) {
        log.traffic("drop", peer.toString() + QStringLiteral(" (%1)").arg(muteReason), answer);
        return;
    }
    const qint64 due = clock.elapsed() + faults.delayMs();
    enqueue(due, peer, answer);
    if (faults.duplicateOutgoing())
        enqueue(due, peer, answer);
}

void CommandPort::enqueue(qint64 due, const Peer& peer, const QByteArray& bytes)
{
    if (queue.size() >= QueueLimit) {
        const Pending oldest = queue.dequeue();
        log.traffic("drop", oldest.peer.toString() + QStringLiteral(" (queue full)"), oldest.bytes);
    }
    queue.enqueue(Pending{due, peer, bytes});
    if (!drainTimer.isActive())
        drain();
}

void CommandPort::drain()
{
    while (!queue.isEmpty()) {
        const qint64 now = clock.elapsed();
        const qint64 readyAt = qMax(queue.head().due, lastSent + gap);
        if (readyAt > now) {
            drainTimer.start(int(readyAt - now));
            return;
        }
        const Pending next = queue.dequeue();
        if (faults.loseOutgoing()) {
            log.traffic("drop", next.peer.toString() + QStringLiteral(" (lost out)"), next.bytes);
            continue;
        }
        socket->writeDatagram(next.bytes, next.peer.address, next.peer.port);
        log.traffic("tx", next.peer.toString(), next.bytes);
        lastSent = now;
    }
}
