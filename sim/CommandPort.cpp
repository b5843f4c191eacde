#include "sim/CommandPort.h"

#include "sim/FaultInjector.h"
#include "sim/SimLog.h"

#include <QNetworkDatagram>

CommandPort::CommandPort(SimLog& log, FaultInjector& faults, int gapMs, QObject* parent)
    : QObject(parent)
    , m_log(log)
    , m_faults(faults)
    , m_gap(gapMs)
{
    m_clock.start();
    m_drainTimer.setSingleShot(true);
    connect(&m_drainTimer, &QTimer::timeout, this, &CommandPort::drain);
}

bool CommandPort::bind(const QHostAddress& address, quint16 port, QString* error)
{
    // The old socket goes first: the new address may overlap it (0.0.0.0).
    const QHostAddress previousAddress = m_boundAddress;
    const quint16 previousPort = m_boundPort;
    delete m_socket;
    m_socket = new QUdpSocket(this);
    connect(m_socket, &QUdpSocket::readyRead, this, [this] { readPending(m_socket); });
    if (m_socket->bind(address, port)) {
        m_boundAddress = address;
        m_boundPort = port;
        listenForBroadcasts(port);
        return true;
    }
    if (error)
        *error = m_socket->errorString();
    if (previousPort != 0)
        m_socket->bind(previousAddress, previousPort);
    return false;
}

void CommandPort::listenForBroadcasts(quint16 port)
{
    delete m_broadcastSocket;
    m_broadcastSocket = nullptr;
    if (m_boundAddress.isLoopback() || m_boundAddress == QHostAddress(QHostAddress::AnyIPv4))
        return;
    m_broadcastSocket = new QUdpSocket(this);
    connect(m_broadcastSocket, &QUdpSocket::readyRead, this, [this] { readPending(m_broadcastSocket); });
    if (!m_broadcastSocket->bind(QHostAddress(QHostAddress::Broadcast), port,
                                 QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint)) {
        m_log.event(QStringLiteral("broadcasts to port %1 cannot be heard: %2")
                        .arg(port)
                        .arg(m_broadcastSocket->errorString()));
        delete m_broadcastSocket;
        m_broadcastSocket = nullptr;
    }
}

void CommandPort::setMuted(const QString& reason)
{
    m_muteReason = reason;
    if (isMuted()) {
        m_queue.clear();
        m_drainTimer.stop();
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
            m_log.traffic("drop", peer.toString() + QStringLiteral(" (%1)").arg(m_muteReason), datagram.data());
        } else if (m_faults.loseIncoming()) {
            m_log.traffic("drop", peer.toString() + QStringLiteral(" (lost in)"), datagram.data());
        } else {
            m_log.traffic("rx", peer.toString(), datagram.data());
            emit received(datagram.data(), peer, datagram.destinationAddress());
        }
    }
}

void CommandPort::send(const Peer& peer, const QByteArray& answer)
{
    if (isMuted()) {
        m_log.traffic("drop", peer.toString() + QStringLiteral(" (%1)").arg(m_muteReason), answer);
        return;
    }
    const qint64 due = m_clock.elapsed() + m_faults.delayMs();
    enqueue(due, peer, answer);
    if (m_faults.duplicateOutgoing())
        enqueue(due, peer, answer);
}

void CommandPort::enqueue(qint64 due, const Peer& peer, const QByteArray& bytes)
{
    if (m_queue.size() >= QueueLimit) {
        const Pending oldest = m_queue.dequeue();
        m_log.traffic("drop", oldest.peer.toString() + QStringLiteral(" (queue full)"), oldest.bytes);
    }
    m_queue.enqueue(Pending{due, peer, bytes});
    if (!m_drainTimer.isActive())
        drain();
}

void CommandPort::drain()
{
    while (!m_queue.isEmpty()) {
        const qint64 now = m_clock.elapsed();
        const qint64 readyAt = qMax(m_queue.head().due, m_lastSent + m_gap);
        if (readyAt > now) {
            m_drainTimer.start(int(readyAt - now));
            return;
        }
        const Pending next = m_queue.dequeue();
        if (m_faults.loseOutgoing()) {
            m_log.traffic("drop", next.peer.toString() + QStringLiteral(" (lost out)"), next.bytes);
            continue;
        }
        m_socket->writeDatagram(next.bytes, next.peer.address, next.peer.port);
        m_log.traffic("tx", next.peer.toString(), next.bytes);
        m_lastSent = now;
    }
}
